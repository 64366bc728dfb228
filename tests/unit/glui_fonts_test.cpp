// The system fonts the panel takes glyphs from: what fontconfig says of a
// font and what the font file holds must never stop the program.
#include "glui/glui_fonts.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "glui/glui_drop.h"
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

// What a drop from a file manager or a browser gives (glui_drop.h).
TEST(GluiDrop, FileAddressesOfThisMachineDecodeToBytesAndOthersAreRefused) {
  using namespace glui_drop;
  std::string path;
  EXPECT_EQ(uri_list_entries("# c\r\nfile:///a\r\n\r\nhttp://b\n"),
            (std::vector<std::string>{"file:///a", "http://b"}));
  for (const char* uri :
       {"file:///my%20ph%C3%B6tos/a.jpg", "file://localhost/my%20ph%C3%B6tos/a.jpg",
        "FILE://Host/my%20ph%C3%B6tos/a.jpg", "file:/my%20ph%c3%b6tos/a.jpg"}) {
    ASSERT_TRUE(file_uri_path(uri, "host", &path)) << uri;
    EXPECT_EQ(path, "/my phötos/a.jpg");
  }
  for (const char* uri : {"file://other/a.jpg", "http://host/a.jpg", "file:///a%2", "file:///a%zz",
                          "file:///a%00b", "file:a.jpg", "file://host"})
    EXPECT_FALSE(file_uri_path(uri, "host", &path)) << uri;
  // On a text field: text as it is, up to its line end; a file's path; no
  // other address.
  Offer text;
  text.text = "new name.png\nmore";
  ASSERT_TRUE(text_for_field(text, "host", &path));
  EXPECT_EQ(path, "new name.png");
  text.text = "http://host/a.png";
  EXPECT_FALSE(text_for_field(text, "host", &path));
  Offer list;
  list.uri_list = true;
  list.entries = {"http://host/a.png", "file:///b%20c.png", "file:///d.png"};
  EXPECT_EQ(files_offered(list, "host"), (std::vector<std::string>{"/b c.png", "/d.png"}));
}
