#include "base/messages.h"

#include <cstdarg>

namespace {

std::vector<MessageLine> lines;
bool fresh = true;  // the next line replaces the message
void (*listener)() = nullptr;

// The end of text in at most kMessageLineBytes bytes, cut at the start of
// a UTF-8 character.
std::string bounded(const std::string& text) {
  if (text.size() <= kMessageLineBytes) return text;
  std::size_t from = text.size() - (kMessageLineBytes - 3);
  while (from < text.size() && (static_cast<unsigned char>(text[from]) & 0xC0) == 0x80) ++from;
  return "..." + text.substr(from);
}

}  // namespace

void begin_message() { fresh = true; }

void show_message_line(MessageLevel level, const std::string& text) {
  if (fresh) lines.clear();
  fresh = false;
  if (lines.size() == kMessageLines) lines.erase(lines.begin());
  lines.push_back({level, bounded(text)});
  if (listener) listener();
}

void print_message_line(std::FILE* stream, const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  std::va_list again;
  va_copy(again, args);
  std::vfprintf(stream, format, args);
  va_end(args);
  char small[512];
  const int length = std::vsnprintf(small, sizeof small, format, again);
  va_end(again);
  if (length < 0) return;
  std::string text;
  if (static_cast<std::size_t>(length) < sizeof small) {
    text.assign(small, static_cast<std::size_t>(length));
  } else {
    text.resize(static_cast<std::size_t>(length) + 1);
    va_start(again, format);
    std::vsnprintf(&text[0], text.size(), format, again);
    va_end(again);
    text.resize(static_cast<std::size_t>(length));
  }
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  show_message_line(stream == stderr ? MessageLevel::error : MessageLevel::info, text);
}

void explain_last_message_line(const std::string& reason) {
  if (reason.empty() || lines.empty()) return;
  std::string text = lines.back().text;
  if (!text.empty() && (text.back() == '!' || text.back() == '.')) text.pop_back();
  lines.back().text = bounded(text + ": " + reason + ".");
  lines.back().level = MessageLevel::error;
  if (listener) listener();
}

const std::vector<MessageLine>& message_lines() { return lines; }

void set_message_listener(void (*l)()) { listener = l; }
