// The message the program shows in its window: the lines it printed on the
// console for the user's last action (a load, a save), so that a user with
// no terminal reads them where they look. Each line keeps whether it
// reports a failure. A message stays until the next action begins one.
// Plain data; whoever draws it is told by a listener when it changes.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

enum class MessageLevel { info, error };

struct MessageLine {
  MessageLevel level = MessageLevel::info;
  std::string text;  // one line, no line feed; bytes as printed (UTF-8 names pass)
};

// A line longer than this keeps its end, where a file's name is, after
// "...": the message is drawn each frame and need not hold a whole file.
constexpr std::size_t kMessageLineBytes = 2048;
// A message holds at most this many lines: the last ones, where the
// outcome is.
constexpr std::size_t kMessageLines = 16;

// The next line starts a new message, replacing the one shown.
void begin_message();
// Adds a line to the message shown, not to the console: a failure's
// reason, which the console line leaves out, or what a finished save wrote.
void show_message_line(MessageLevel level, const std::string& text);
// Prints format's line to stream exactly as std::fprintf would, and shows
// it: a line on stderr reports a failure. format ends with its line feed.
void print_message_line(std::FILE* stream, const char* format, ...)
    __attribute__((format(printf, 2, 3)));

// Adds why it failed to the last line shown, as ": reason." in place of
// its closing "!" or ".", and shows it as a failure (also a line printed
// on stdout); an empty reason changes nothing. The console line was
// printed without it.
void explain_last_message_line(const std::string& reason);

const std::vector<MessageLine>& message_lines();
// Called after every change of the message (null: nobody listens).
void set_message_listener(void (*listener)());
