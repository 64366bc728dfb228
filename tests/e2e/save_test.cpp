// Save Image as a user does it: paint, save, and read the file back.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "tests/support/daubwork_e2e.h"
#include "tests/support/tga_reader.h"

namespace {

// Pixels of a w x h canvas whose colour in the file differs from the screen.
int mismatches(const TgaFile& tga, const RgbImage& shown, int w, int h) {
  int mismatched = 0;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) mismatched += tga.pixels.at(x, y) != shown.at(x, y);
  return mismatched;
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
  RgbImage shown = d.canvas_shot();
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
  // The file's first row is the canvas's bottom (descriptor 0, read back
  // upright); it matches the screen pixel for pixel, and every alpha byte
  // is 255.
  int painted = 0;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      ASSERT_EQ(tga.alpha[static_cast<size_t>(y) * w + x], 255);
      if (!is_white(tga.pixels.at(x, y))) {
        ++painted;
        EXPECT_LT(x, 200) << "a stroke far from the drag";
        EXPECT_LT(y, 159) << "a stroke far from the drag";
      }
    }
  EXPECT_EQ(mismatches(tga, shown, w, h), 0);
  EXPECT_GT(painted, 500);

  // ImageMagick reads it as the same picture.
  const std::string cmd = "identify -format '%m %w %h' " + path + " > " + d.dir().file("id.txt");
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  EXPECT_EQ(read_file(d.dir().file("id.txt")),
            "TGA " + std::to_string(w) + " " + std::to_string(h));
}

TEST(Save, AFailedSaveReportsTheErrorAndKeepsThePainting) {
  Daubwork d;
  ASSERT_TRUE(d.click_and_wait("Load Image", "Image image1.jpg loaded."));
  d.drag({{60, 60}, {120, 80}});
  ASSERT_TRUE(d.wait_until_shown());
  const RgbImage before = d.canvas_shot();
  ASSERT_GT(non_white_pixels(before, 0, 0, 200, 200), 500);

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

TEST(Save, SavingOverTheLoadedPhotoKeepsThePhotoBesideIt) {
  Daubwork d;
  const std::string photo = read_file(source_path("samples/image1.jpg"));
  ASSERT_FALSE(photo.empty());
  ASSERT_TRUE(d.click_and_wait("Load Image", "Image image1.jpg loaded."));
  // The field still names the photo.
  ASSERT_TRUE(d.click_and_wait("Save Image", "Kept the earlier image1.jpg as image1.jpg~."));
  EXPECT_TRUE(read_file(d.dir().file("image1.jpg~")) == photo) << "the kept copy differs";
  const int w = 800 - d.panel_width(), h = 600;
  ASSERT_TRUE(e2e::wait_for_file(d.dir().file("image1.jpg"), 18 + static_cast<size_t>(w) * h * 4));
  TgaFile tga;
  std::string error;
  EXPECT_TRUE(read_tga(read_file(d.dir().file("image1.jpg")), &tga, &error)) << error;
  EXPECT_EQ(d.app().errors(), "");
}

TEST(Save, AFailedLoadIsShownInThePanelAndNeverReachesTheSavedCanvas) {
  Daubwork d(std::vector<std::string>{});  // started where there is no picture
  const int w = 800 - d.panel_width(), h = 600;
  ASSERT_TRUE(d.wait_until_shown());
  const RgbImage before = d.x().screenshot(d.window());
  ASSERT_TRUE(d.click_and_wait("Load Image", "Could not load image image1.jpg!"));
  // The panel, beside the canvas, says so: in an error's red.
  int reds = 0;
  ASSERT_TRUE(e2e::wait_until(
      [&] {
        const RgbImage now = d.x().screenshot(d.window());
        reds = 0;
        for (int y = 0; y < h; ++y)
          for (int x = w; x < 800; ++x) {
            const Rgb c = now.at(x, y);
            reds += c != before.at(x, y) && c.r > 150 && c.g < 60 && c.b < 60;
          }
        return reds > 20;
      },
      "the failed load shown in red in the panel"));
  d.click("Save Image");
  ASSERT_TRUE(e2e::wait_for_file(d.dir().file("image1.jpg"), 18 + static_cast<size_t>(w) * h * 4));
  TgaFile tga;
  std::string error;
  ASSERT_TRUE(read_tga(read_file(d.dir().file("image1.jpg")), &tga, &error)) << error;
  EXPECT_EQ(non_white_pixels(tga.pixels), 0) << "the saved canvas holds the message's pixels";
}
