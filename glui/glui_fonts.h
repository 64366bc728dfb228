// A panel's font: ImGui's own small font, which holds Latin-1 only, and
// the glyphs of any other script that the panel's texts use, taken from the
// system's fonts (found with fontconfig) as the texts first need them, so
// that a file name in Cyrillic, Greek or Chinese shows as typed. The panel
// thus needs no large font loaded up front, and no particular font package:
// a character no installed font holds shows as ImGui's "?".
#pragma once

#include <imgui.h>

#include <set>
#include <string>
#include <vector>

// The face of a font file that fontconfig's index names: its low 16 bits.
// Fontconfig puts a variable font's named instance in the high bits, which
// ImGui would take for a face past the file's end.
inline int font_face(int fontconfig_index) { return fontconfig_index & 0xFFFF; }

// Whether ImGui builds the glyph c from the font (`size` bytes, face
// `face`): tried in a child process, since ImGui stops the program on a
// font it cannot read (its assertions abort) and its rasteriser trusts the
// file's tables. False when the child fails, crashes or takes longer than
// a few seconds.
bool font_builds(const void* data, int size, int face, ImWchar c);

class GluiFonts {
 public:
  // Puts ImGui's own font into the current context's atlas.
  void set_up();
  // Notes the characters of UTF-8 text that the current font lacks, while
  // a frame is built; true when the atlas is to be built again for them.
  bool want(const char* text);
  // Between frames, with the panel's GL context current: builds the atlas
  // again with the characters wanted since, and uploads it. Returns whether
  // it did (the panel is to be drawn again).
  bool update();

 private:
  void build();

  std::set<ImWchar> wanted_;  // beyond the own font, found in a system font
  std::set<ImWchar> tried_;   // looked up already, found or not
  bool stale_ = false;
  // Per face of a system font file: its bytes, read once and tried once,
  // and the characters taken from it, as ImGui's zero-ended glyph ranges;
  // both live as long as the atlas that uses them.
  struct Source {
    std::string file;
    int face = 0;         // in a font collection
    bool usable = false;  // ImGui built a glyph from it
    std::vector<unsigned char> bytes;
    std::vector<ImWchar> ranges;
  };
  Source* source_for(ImWchar c);
  std::vector<Source> sources_;
};
