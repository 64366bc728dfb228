// Save Image as a user does it: paint, save, and read the file back.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "tests/support/daubwork_e2e.h"
#include "tests/support/tga_reader.h"

namespace {

bool white(const unsigned char* p) { return p[0] == 255 && p[1] == 255 && p[2] == 255; }
// Pixels of a w x h canvas whose colour in the file (bottom row first)
// differs from the screen (top row first).
int mismatches(const TgaFile& tga, const e2e::Screenshot& shown, int w, int h) {
  int mismatched = 0;
  for (int row = 0; row < h; ++row)
    for (int x = 0; x < w; ++x) {
      const unsigned char* p = &tga.rgba[4 * (static_cast<size_t>(row) * w + x)];
      const e2e::Rgb s = shown.at(x, h - 1 - row);
      mismatched += s.r != p[0] || s.g != p[1] || s.b != p[2];
    }
  return mismatched;
}

bool white_at(const e2e::Screenshot& s, int x, int y) {
  const e2e::Rgb p = s.at(x, y);
  return p.r == 255 && p.g == 255 && p.b == 255;
}

}  // namespace

TEST(Save, WritesTheCanvasAsShownUprightWithItsStrokesWhereTheyWerePainted) {
  Daubwork d;
  ASSERT_TRUE(d.click_and_wait("Load Image", "Image image1.jpg loaded."));
  // Strokes only in the top-left quarter of the canvas (window y down).
  d.drag({{60, 60}, {120, 80}});
  // What the file must hold is the canvas once every motion has been
  // painted and shown.
  ASSERT_TRUE(d.wait_until_shown());
  e2e::Screenshot shown = d.canvas_shot();
  ASSERT_TRUE(d.set_text("Image Filename: ", "painting.tga"));
  d.click("Save Image");
  const int w = 800 - d.panel_width(), h = 600;
  const std::string path = d.dir().file("painting.tga");
  ASSERT_TRUE(e2e::wait_for_file(path, 18 + static_cast<size_t>(w) * h * 4));

  TgaFile tga;
  std::string error;
  ASSERT_TRUE(read_tga(read_file(path), &tga, &error)) << error;
  EXPECT_EQ(tga.image_type, 2);
  EXPECT_EQ(tga.width, w);
  EXPECT_EQ(tga.height, h);
  EXPECT_EQ(tga.depth, 32);
  EXPECT_EQ(tga.descriptor, 0);
  // The file's first row is the canvas's bottom; it matches the screen
  // pixel for pixel, and every alpha byte is 255.
  int painted = 0;
  for (int row = 0; row < h; ++row)
    for (int x = 0; x < w; ++x) {
      const unsigned char* p = &tga.rgba[4 * (static_cast<size_t>(row) * w + x)];
      ASSERT_EQ(p[3], 255);
      if (!white(p)) {
        ++painted;
        EXPECT_LT(x, 200) << "a stroke far from the drag";
        EXPECT_GT(row, h - 160) << "a stroke far from the drag";
      }
    }
  EXPECT_EQ(mismatches(tga, shown, w, h), 0);
  EXPECT_GT(painted, 500);

  // ImageMagick reads it as the same picture.
  const std::string cmd = "identify -format '%m %w %h' " + path + " > " + d.dir().file("id.txt");
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  EXPECT_EQ(read_file(d.dir().file("id.txt")), "TGA " + std::to_string(w) + " " + std::to_string(h));
}

TEST(Save, AFailedSaveReportsTheErrorAndKeepsThePainting) {
  Daubwork d;
  ASSERT_TRUE(d.click_and_wait("Load Image", "Image image1.jpg loaded."));
  d.drag({{60, 60}, {120, 80}});
  ASSERT_TRUE(d.wait_until_shown());
  const e2e::Screenshot before = d.canvas_shot();
  int painted = 0;
  for (int y = 0; y < 200; ++y)
    for (int x = 0; x < 200; ++x) painted += !white_at(before, x, y);
  ASSERT_GT(painted, 500);

  ASSERT_TRUE(d.set_text("Image Filename: ", "no/such/folder/x.tga"));
  ASSERT_TRUE(d.click_and_wait("Save Image", "[ERROR] could not save file \"no/such/folder/x.tga\"",
                               e2e::Stream::Err));
  EXPECT_TRUE(d.app().running());
  // The canvas shown afterwards is the painting, pixel for pixel.
  EXPECT_TRUE(d.wait_until_shown());
  EXPECT_TRUE(d.canvas_shot().rgb == before.rgb) << "the failed save changed the painting";
  // And the program still holds it: the next save writes it.
  ASSERT_TRUE(d.set_text("Image Filename: ", "kept.tga"));
  d.click("Save Image");
  const int w = 800 - d.panel_width(), h = 600;
  ASSERT_TRUE(e2e::wait_for_file(d.dir().file("kept.tga"), 18 + static_cast<size_t>(w) * h * 4));
  TgaFile tga;
  std::string error;
  ASSERT_TRUE(read_tga(read_file(d.dir().file("kept.tga")), &tga, &error)) << error;
  EXPECT_EQ(mismatches(tga, before, w, h), 0);
}
