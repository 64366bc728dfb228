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
  // Per system font file: the characters taken from it, as ImGui's
  // zero-ended glyph ranges, which must live as long as the atlas.
  struct Source {
    std::string file;
    int index = 0;  // the face, in a font collection
    std::vector<ImWchar> ranges;
  };
  std::vector<Source> sources_;
};
