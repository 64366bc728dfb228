// See glui_fonts.h.
#include "glui/glui_fonts.h"

#include <backends/imgui_impl_opengl2.h>
#include <fontconfig/fontconfig.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>

#include "glui/glui_scale.h"

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

struct FontFile {
  std::string file;
  int face = 0;
};

// The system's scalable font files that hold c, in a form ImGui reads
// (TrueType or CFF outlines), best first, preferring the sans-serif
// family; at most a few, enough to pass over one that cannot be read.
std::vector<FontFile> find_fonts(ImWchar c) {
  constexpr size_t kCandidates = 4;
  std::vector<FontFile> found;
  static const bool ready = FcInit();
  if (!ready) return found;
  FcPattern* pattern = FcPatternCreate();
  FcCharSet* wanted = FcCharSetCreate();
  FcCharSetAddChar(wanted, c);
  FcPatternAddCharSet(pattern, FC_CHARSET, wanted);
  FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
  FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>("sans-serif"));
  FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  FcResult result = FcResultNoMatch;
  if (FcFontSet* sorted = FcFontSort(nullptr, pattern, FcFalse, nullptr, &result)) {
    for (int i = 0; i < sorted->nfont && found.size() < kCandidates; ++i) {
      FcPattern* font = sorted->fonts[i];
      FcChar8* path = nullptr;
      FcChar8* format = nullptr;
      FcCharSet* holds = nullptr;
      int index = 0;
      // The sort puts near misses after the fonts that hold it.
      if (FcPatternGetString(font, FC_FILE, 0, &path) == FcResultMatch &&
          FcPatternGetCharSet(font, FC_CHARSET, 0, &holds) == FcResultMatch &&
          FcCharSetHasChar(holds, c) &&
          FcPatternGetString(font, FC_FONTFORMAT, 0, &format) == FcResultMatch &&
          (std::strcmp(reinterpret_cast<char*>(format), "TrueType") == 0 ||
           std::strcmp(reinterpret_cast<char*>(format), "CFF") == 0)) {
        FcPatternGetInteger(font, FC_INDEX, 0, &index);
        found.push_back(FontFile{reinterpret_cast<char*>(path), font_face(index)});
      }
    }
    FcFontSetDestroy(sorted);
  }
  FcCharSetDestroy(wanted);
  FcPatternDestroy(pattern);
  return found;
}

// A font file's bytes; empty when unreadable or larger than any font.
std::vector<unsigned char> read_font_file(const std::string& file) {
  constexpr std::streamoff kMaxFontBytes = std::streamoff{64} << 20;
  std::ifstream in(file, std::ios::binary | std::ios::ate);
  const std::streamoff size = in ? static_cast<std::streamoff>(in.tellg()) : 0;
  if (size <= 0 || size > kMaxFontBytes) return {};
  std::vector<unsigned char> bytes(static_cast<size_t>(size));
  in.seekg(0);
  if (!in.read(reinterpret_cast<char*>(bytes.data()), size)) return {};
  return bytes;
}

// Puts a font's glyphs into the atlas, merged into the font before; the
// atlas neither owns nor frees the bytes.
void add_to_atlas(ImFontAtlas* atlas, const void* data, int size, int face, const ImWchar* ranges,
                  bool merge, float pixels) {
  ImFontConfig config;
  config.MergeMode = merge;
  config.FontNo = face;
  config.PixelSnapH = true;
  config.FontDataOwnedByAtlas = false;
  atlas->AddFontFromMemoryTTF(const_cast<void*>(data), size, pixels, &config, ranges);
}

// ImGui's own font, rasterised at the desktop's scale: at 2, glyphs drawn
// at 26 pixels, not 13 stretched.
void add_own_font(ImFontAtlas* atlas) {
  const float scale = glui_desktop_scale();
  if (scale == 1.0f) {
    atlas->AddFontDefault();
    return;
  }
  ImFontConfig config;
  config.SizePixels = kFontPixels * scale;
  atlas->AddFontDefault(&config);
}

}  // namespace

bool font_builds(const void* data, int size, int face, ImWchar c) {
  // A face number ImGui's reader takes as one is 0 to 0xFFFF.
  if (!data || size <= 0 || face < 0 || face > 0xFFFF) return false;
  const pid_t child = fork();
  if (child < 0) return false;
  if (child == 0) {
    // Only the atlas's arithmetic runs here: no X, no GL, no stdio.
    alarm(5);
    const ImWchar ranges[] = {c, c, 0};
    ImFontAtlas atlas;
    add_to_atlas(&atlas, data, size, face, ranges, false, kFontPixels);
    const bool built =
        atlas.Build() && !atlas.Fonts.empty() && atlas.Fonts[0]->FindGlyphNoFallback(c) != nullptr;
    _exit(built ? 0 : 1);
  }
  int status = 0;
  while (waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) return false;
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void GluiFonts::set_up() { add_own_font(ImGui::GetIO().Fonts); }

// The face to take c from: the first of the system's candidates that ImGui
// reads, each file read and tried once; null when none.
GluiFonts::Source* GluiFonts::source_for(ImWchar c) {
  for (const FontFile& candidate : find_fonts(c)) {
    Source* source = nullptr;
    for (Source& s : sources_)
      if (s.file == candidate.file && s.face == candidate.face) source = &s;
    if (!source) {
      sources_.push_back(Source{candidate.file, candidate.face, false, {}, {0}});
      source = &sources_.back();
      source->bytes = read_font_file(source->file);
      source->usable = font_builds(source->bytes.data(), static_cast<int>(source->bytes.size()),
                                   source->face, c);
      if (!source->usable) source->bytes = {};
    }
    if (source->usable) return source;
  }
  return nullptr;
}

bool GluiFonts::want(const char* text) {
  const ImFont* font = ImGui::GetFont();
  const auto* p = reinterpret_cast<const unsigned char*>(text);
  while (unsigned c = next_code_point(p)) {
    // ImGui's characters are 16 bits wide here; its own font holds Latin-1.
    if (c < 0x100 || c > 0xFFFF || tried_.count(static_cast<ImWchar>(c))) continue;
    const ImWchar w = static_cast<ImWchar>(c);
    tried_.insert(w);
    if (font->FindGlyphNoFallback(w)) continue;
    Source* source = source_for(w);
    if (!source) continue;
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
  add_own_font(atlas);
  // From the bytes read before: a new glyph costs no file reading.
  for (const Source& s : sources_) {
    if (!s.usable || s.ranges.size() < 3) continue;
    add_to_atlas(atlas, s.bytes.data(), static_cast<int>(s.bytes.size()), s.face, s.ranges.data(),
                 true, kFontPixels * glui_desktop_scale());
  }
  if (atlas->Build()) return;
  // A font that gave one glyph but not all of them: the own font alone.
  sources_.clear();
  atlas->Clear();
  add_own_font(atlas);
  atlas->Build();
}
