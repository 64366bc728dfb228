// See glui_fonts.h.
#include "glui/glui_fonts.h"

#include <backends/imgui_impl_opengl2.h>
#include <fontconfig/fontconfig.h>

#include <cstring>
#include <fstream>
#include <iterator>

namespace {

// ImGui's own font is drawn at this size; the glyphs added to it match it.
constexpr float kFontPixels = 13.0f;

// The next code point of UTF-8 text at p, which moves past it; 0 at the end
// and for bytes that are no UTF-8 (those show as they are anyway).
unsigned next_code_point(const unsigned char*& p) {
  unsigned c = *p;
  if (c == 0) return 0;
  int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
  unsigned value = extra == 3 ? c & 0x07 : extra == 2 ? c & 0x0F : extra == 1 ? c & 0x1F : c;
  ++p;
  for (int i = 0; i < extra; ++i) {
    if ((*p & 0xC0) != 0x80) return 0xFFFD;
    value = (value << 6) | (*p++ & 0x3F);
  }
  return value;
}

// A scalable font file of the system's that holds c, in a form ImGui reads
// (TrueType or CFF outlines), preferring the sans-serif family.
bool find_font(ImWchar c, std::string* file, int* index) {
  static const bool ready = FcInit();
  if (!ready) return false;
  FcPattern* pattern = FcPatternCreate();
  FcCharSet* wanted = FcCharSetCreate();
  FcCharSetAddChar(wanted, c);
  FcPatternAddCharSet(pattern, FC_CHARSET, wanted);
  FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
  FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>("sans-serif"));
  FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  FcResult result = FcResultNoMatch;
  FcPattern* match = FcFontMatch(nullptr, pattern, &result);
  bool found = false;
  if (match) {
    FcChar8* path = nullptr;
    FcChar8* format = nullptr;
    FcCharSet* holds = nullptr;
    int face = 0;
    // The best match need not hold the character.
    if (FcPatternGetString(match, FC_FILE, 0, &path) == FcResultMatch &&
        FcPatternGetCharSet(match, FC_CHARSET, 0, &holds) == FcResultMatch &&
        FcCharSetHasChar(holds, c) &&
        FcPatternGetString(match, FC_FONTFORMAT, 0, &format) == FcResultMatch &&
        (std::strcmp(reinterpret_cast<char*>(format), "TrueType") == 0 ||
         std::strcmp(reinterpret_cast<char*>(format), "CFF") == 0)) {
      FcPatternGetInteger(match, FC_INDEX, 0, &face);
      *file = reinterpret_cast<char*>(path);
      *index = face;
      found = true;
    }
    FcPatternDestroy(match);
  }
  FcCharSetDestroy(wanted);
  FcPatternDestroy(pattern);
  return found;
}

// A font file's bytes in memory ImGui may own and free; null when unreadable.
void* read_font_file(const std::string& file, int* size) {
  std::ifstream in(file, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (!in.good() && !in.eof()) return nullptr;
  if (bytes.empty() || bytes.size() > (64u << 20)) return nullptr;
  void* data = ImGui::MemAlloc(bytes.size());
  std::memcpy(data, bytes.data(), bytes.size());
  *size = static_cast<int>(bytes.size());
  return data;
}

}  // namespace

void GluiFonts::set_up() { ImGui::GetIO().Fonts->AddFontDefault(); }

bool GluiFonts::want(const char* text) {
  const ImFont* font = ImGui::GetFont();
  const auto* p = reinterpret_cast<const unsigned char*>(text);
  while (unsigned c = next_code_point(p)) {
    // ImGui's characters are 16 bits wide here; its own font holds Latin-1.
    if (c < 0x100 || c > 0xFFFF || tried_.count(static_cast<ImWchar>(c))) continue;
    const ImWchar w = static_cast<ImWchar>(c);
    tried_.insert(w);
    if (font->FindGlyphNoFallback(w)) continue;
    std::string file;
    int index = 0;
    if (!find_font(w, &file, &index)) continue;
    Source* source = nullptr;
    for (Source& s : sources_)
      if (s.file == file && s.index == index) source = &s;
    if (!source) {
      sources_.push_back(Source{file, index, {0}});
      source = &sources_.back();
    }
    source->ranges.insert(source->ranges.end() - 1, {w, w});
    stale_ = true;
  }
  return stale_;
}

bool GluiFonts::update() {
  if (!stale_) return false;
  stale_ = false;
  build();
  ImGui_ImplOpenGL2_DestroyFontsTexture();
  ImGui_ImplOpenGL2_CreateFontsTexture();
  return true;
}

void GluiFonts::build() {
  ImFontAtlas* atlas = ImGui::GetIO().Fonts;
  atlas->Clear();
  atlas->AddFontDefault();
  for (Source& s : sources_) {
    int size = 0;
    void* data = read_font_file(s.file, &size);
    if (!data) continue;
    ImFontConfig config;
    config.MergeMode = true;
    config.FontNo = s.index;
    config.PixelSnapH = true;
    atlas->AddFontFromMemoryTTF(data, size, kFontPixels, &config, s.ranges.data());
  }
  if (atlas->Build()) return;
  // A font file ImGui cannot read after all: the own font alone.
  sources_.clear();
  atlas->Clear();
  atlas->AddFontDefault();
  atlas->Build();
}
