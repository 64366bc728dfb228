// The system fonts the panel takes glyphs from: what fontconfig says of a
// font and what the font file holds must never stop the program.
#include "glui/glui_fonts.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "glui/glui_scale.h"

namespace {

std::string read_bytes(const char* path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

TEST(GluiFonts, AFontIsTriedApartAndOnlyItsFaceIsGivenToImGui) {
  // Fontconfig's index for the third named instance of a variable font's
  // second face: the face is 1.
  EXPECT_EQ(font_face((3 << 16) | 1), 1);
  EXPECT_EQ(font_face(65536), 0);

  const std::string dejavu = read_bytes("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf");
  ASSERT_FALSE(dejavu.empty()) << "the DejaVu fonts are installed with the program's dependencies";
  const int size = static_cast<int>(dejavu.size());
  const ImWchar zhe = 0x0416;  // Ж
  EXPECT_TRUE(font_builds(dejavu.data(), size, font_face(65536), zhe));
  // ImGui stops on a face past the file's end; only the child stops.
  EXPECT_FALSE(font_builds(dejavu.data(), size, 1, zhe));
  EXPECT_FALSE(font_builds(dejavu.data(), size, 65536, zhe));
  // A font cut short, and bytes that are no font.
  EXPECT_FALSE(font_builds(dejavu.data(), 4096, 0, zhe));
  const std::string noise(20000, '\x5a');
  EXPECT_FALSE(font_builds(noise.data(), static_cast<int>(noise.size()), 0, zhe));
}

}  // namespace

// The panel's fonts and sizes follow the desktop's Xft.dpi.
TEST(GluiScale, XftDpiOver96GivesTheScaleWithinBoundsElseOne) {
  EXPECT_EQ(glui_scale_from_resources("Xft.antialias:\t1\nXft.dpi:\t192\nXft.hinting: 1\n"), 2.0f);
  EXPECT_EQ(glui_scale_from_resources("Xft.dpi: 144"), 1.5f);  // no last line feed
  EXPECT_EQ(glui_scale_from_resources("Xft.dpi:\t96\n"), 1.0f);
  EXPECT_EQ(glui_scale_from_resources("Xft.dpi:\t1e9\n"), 4.0f);
  for (const char* none : {"", "Xft.dpi:\tnan\n", "Xft.dpi: none\n", "Xft.dpix: 192\n",
                           "Xft.dpi:\t-192\n", "Xft.dpi 192\n"})
    EXPECT_EQ(glui_scale_from_resources(none), 1.0f) << none;
  EXPECT_EQ(glui_scale_from_resources(nullptr), 1.0f);
}
