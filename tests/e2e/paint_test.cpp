// Painting as a user does it: strokes in the picture's colours, the same
// drag painting the same pixels in every run, and strokes that follow the
// picture's edges.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/daubwork_e2e.h"
#include "tests/support/picture_check.h"
#include "tests/support/tga_reader.h"

namespace {

// Loads the default picture, paints one drag and saves the canvas.
std::string paint_and_save(Daubwork& d, TgaFile* tga) {
  EXPECT_TRUE(d.click_and_wait("Load Image", "Image image1.jpg loaded."));
  d.drag({{80, 120}, {200, 160}, {300, 400}}, 12);
  EXPECT_TRUE(d.wait_until_shown());
  EXPECT_TRUE(d.set_text("Image Filename: ", "painting.tga"));
  d.click("Save Image");
  const std::string path = d.dir().file("painting.tga");
  EXPECT_TRUE(e2e::wait_for_file(path, 18 + static_cast<size_t>(800 - d.panel_width()) * 600 * 4));
  std::string bytes = read_file(path);
  std::string error;
  EXPECT_TRUE(read_tga(bytes, tga, &error)) << error;
  return bytes;
}

}  // namespace

TEST(Paint, ADragPaintsThePicturesColoursWhereItWentAndRepeatsExactly) {
  std::string first, second;
  TgaFile tga;
  int canvas_w = 0;
  {
    Daubwork d;
    canvas_w = 800 - d.panel_width();
    first = paint_and_save(d, &tga);
  }
  {
    Daubwork d;
    TgaFile again;
    second = paint_and_save(d, &again);
  }
  ASSERT_FALSE(first.empty());
  EXPECT_TRUE(first == second) << "the same drag after start-up painted different pixels";

  // Strokes lie within radius + size of the drag's path (the path's
  // bounding box), in colours taken from the picture.
  const CanvasRegion around_drag{80 - 62, 120 - 62, 300 + 62, 400 + 62};
  EXPECT_EQ(painted_outside(tga.pixels, {around_drag}), 0);
  TempDir scratch;
  RgbImage picture =
      picture_at_size(source_path("samples/image1.jpg"), canvas_w, 600, scratch.path());
  ASSERT_EQ(picture.width, canvas_w);
  int painted = 0;
  std::string why;
  EXPECT_TRUE(painted_from_picture(tga.pixels, picture, around_drag, 12, 24, false, &painted, &why))
      << why;
  EXPECT_GT(painted, 5000);
}

// A fast drag brings many motion events at once (a flick, or what piles up
// while the painting falls behind the mouse). Once its big bursts of big
// strokes have been painted, the program is no bigger than before.
TEST(Paint, AFastDragLeavesTheProgramNoBiggerOnceItIsPainted) {
  Daubwork d;
  ASSERT_TRUE(d.click_and_wait("Load Image", "Image image1.jpg loaded."));
  ASSERT_TRUE(d.set_text("Stroke Number: ", "100"));
  ASSERT_TRUE(d.set_text("Stroke Size: ", "40"));
  d.click_canvas(400, 500, e2e::Button::Middle);  // commits the last field
  ASSERT_TRUE(d.wait_until_shown());
  const long before = d.app().resident_kb();
  ASSERT_GT(before, 0);
  d.drag({{60, 60}, {400, 540}}, 150);
  ASSERT_TRUE(d.wait_until_shown());
  ASSERT_GT(non_white_pixels(d.canvas_shot(), 0, 500, 10000, 600), 1000) << "the drag's end";
  const long after = d.app().resident_kb();
  EXPECT_LT(after, before + 100 * 1024)
      << before << " kB before the drag, " << after << " kB after";
}

TEST(Paint, WithFollowEdgesLinesRunAlongTheStripes) {
  // Horizontal stripes growing brighter upwards: every edge's gradient
  // points up, so the strokes turn a quarter and lie along the stripes.
  // The steps are steep enough to stay edges once the capture has
  // stretched the picture over the canvas.
  TempDir pics;
  std::vector<unsigned char> rgb;
  for (int row = 0; row < 220; ++row)
    for (int col = 0; col < 64; ++col)
      for (int c = 0; c < 3; ++c) rgb.push_back(static_cast<unsigned char>(250 - (row / 44) * 50));
  write_ppm(pics.file("stripes.ppm"), RgbImage{64, 220, rgb});
  Daubwork d;
  std::filesystem::copy_file(pics.file("stripes.ppm"), d.dir().file("stripes.ppm"));
  ASSERT_TRUE(d.set_text("Image Filename: ", "stripes.ppm"));
  ASSERT_TRUE(d.click_and_wait("Load Image", "Image stripes.ppm loaded."));
  d.click("Lines");
  ASSERT_TRUE(d.set_text("Stroke Number: ", "1"));
  ASSERT_TRUE(d.set_text("Stroke Radius: ", "1"));
  ASSERT_TRUE(d.set_text("Stroke Size: ", "30"));
  d.click_canvas(400, 500, e2e::Button::Middle);  // commits the last field

  // The extent of what is painted in the canvas's left and right halves.
  struct Box {
    int x0 = 1 << 30, y0 = 1 << 30, x1 = -1, y1 = -1;
  };
  auto extent = [&](int from_x, int to_x) {
    RgbImage s = d.canvas_shot();
    Box b;
    for (int y = 0; y < s.height; ++y)
      for (int x = from_x; x < to_x; ++x) {
        if (is_white(s.at(x, y))) continue;
        b.x0 = std::min(b.x0, x), b.x1 = std::max(b.x1, x);
        b.y0 = std::min(b.y0, y), b.y1 = std::max(b.y1, y);
      }
    return b;
  };

  // Without Follow Edges: an upright line.
  d.drag({{150, 300}, {151, 300}}, 1);
  ASSERT_TRUE(e2e::wait_until([&] { return extent(0, 265).x1 >= 0; }, "a stroke"));
  Box upright = extent(0, 265);
  EXPECT_GT(upright.y1 - upright.y0, 50);
  EXPECT_LT(upright.x1 - upright.x0, 8);

  d.click("Follow Edges:");
  d.drag({{400, 300}, {401, 300}}, 1);
  ASSERT_TRUE(e2e::wait_until([&] { return extent(300, 530).x1 >= 0; }, "a turned stroke"));
  Box turned = extent(300, 530);
  EXPECT_GT(turned.x1 - turned.x0, 50);
  EXPECT_LT(turned.y1 - turned.y0, 8);
}
