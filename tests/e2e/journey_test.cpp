// The whole journey, as a user takes it: load the picture, paint with every
// brush and option, move the light, clear, resize and paint again, load a
// second picture and paint it, save, quit. Run twice: painting is
// deterministic, so both runs save the same bytes.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/daubwork_e2e.h"
#include "tests/support/picture_check.h"
#include "tests/support/rough_files.h"
#include "tests/support/tga_reader.h"

namespace {

// A lopsided picture of four flat quarters: red top-left, green top-right,
// blue bottom-left, yellow bottom-right (rows top first).
void write_quarters(const std::string& path) {
  std::vector<unsigned char> rgb;
  for (int row = 0; row < 30; ++row)
    for (int col = 0; col < 40; ++col) {
      bool top = row < 15, left = col < 20;
      unsigned char c[3] = {0, 0, 0};
      if (top && left) c[0] = 220, c[1] = 40, c[2] = 40;
      if (top && !left) c[0] = 40, c[1] = 200, c[2] = 60;
      if (!top && left) c[0] = 40, c[1] = 60, c[2] = 210;
      if (!top && !left) c[0] = 230, c[1] = 210, c[2] = 40;
      rgb.insert(rgb.end(), c, c + 3);
    }
  write_ppm(path, RgbImage{40, 30, rgb});
}

// The canvas region around a drag, widened by how far strokes reach: the
// scatter radius plus the stroke size.
CanvasRegion around(e2e::Point a, e2e::Point b, int reach) {
  return {std::min(a.x, b.x) - reach, std::min(a.y, b.y) - reach, std::max(a.x, b.x) + reach,
          std::max(a.y, b.y) + reach};
}

struct Journey {
  std::string saved;  // the bytes of the saved painting
};

Journey take_the_journey() {
  Journey j;
  Daubwork d;
  e2e::App& app = d.app();
  const int panel = d.panel_width();

  // The default picture, and a drag with each flat brush.
  EXPECT_TRUE(d.click_and_wait("Load Image", "Image image1.jpg loaded."));
  d.drag({{60, 60}, {140, 80}});
  for (const char* brush : {"Lines", "Crosses", "Blocks"}) {
    d.click(brush);
    d.drag({{200, 100}, {300, 140}});
  }
  // The model, then the OBJ File brush.
  size_t from = app.line_count();
  d.click("Load OBJ Model");
  EXPECT_TRUE(app.wait_for_line("Found vertices: ", nullptr, from));
  EXPECT_TRUE(app.wait_for_line("Found faces: ", nullptr, from));
  EXPECT_TRUE(app.wait_for_line("File length: ", nullptr, from));
  d.click("OBJ File");
  d.drag({{100, 300}, {200, 330}});
  // Follow Edges, with both falloffs, and back off.
  d.click("Lines");
  d.click("Follow Edges:");
  d.drag({{300, 300}, {400, 360}});
  d.click("Exponential");
  d.drag({{300, 420}, {400, 460}});
  d.click("Reciprocal");
  d.click("Follow Edges:");
  // Small Strokes On Top, with circles of two sizes.
  d.click("Circles");
  d.click("Small Strokes On Top");
  d.drag({{100, 480}, {200, 520}});
  d.click("Small Strokes On Top");
  // The light: a right click.
  d.click_canvas(450, 80, e2e::Button::Right);
  EXPECT_TRUE(d.wait_until_shown());
  EXPECT_GT(non_white_pixels(d.canvas_shot()), 20000);

  // Clear Image: white again.
  d.click("Clear Image");
  EXPECT_TRUE(wait_for_white_canvas(d));

  // A smaller window: the next drag captures the picture at the new size
  // before its first stroke, so the strokes take the colours of the
  // picture stretched over the new canvas.
  d.x().resize(d.window(), 700, 500);
  EXPECT_TRUE(d.x().wait_for_size(d.window(), 700, 500));
  const int cw = 700 - panel, ch = 500;
  d.drag({{100, 100}, {250, 200}});
  EXPECT_TRUE(d.wait_until_shown());
  {
    TempDir scratch;
    RgbImage picture = picture_at_size(source_path("samples/image1.jpg"), cw, ch, scratch.path());
    RgbImage shot = d.canvas_shot();
    EXPECT_EQ(shot.width, cw);
    EXPECT_EQ(shot.height, ch);
    CanvasRegion r = around({100, 100}, {250, 200}, 62);
    std::string why;
    int n = 0;
    EXPECT_TRUE(painted_from_picture(shot, picture, r, 12, 24, false, &n, &why)) << why;
    EXPECT_GT(n, 2000);
    EXPECT_EQ(painted_outside(shot, {r}), 0);
  }

  // Another picture, typed in, loaded and painted with three brushes.
  write_quarters(d.dir().file("quarters.ppm"));
  EXPECT_TRUE(d.set_text("Image Filename: ", "quarters.ppm"));
  EXPECT_TRUE(d.click_and_wait("Load Image", "Image quarters.ppm loaded."));
  const e2e::Point c0{70, 70}, c1{150, 110};    // Circles, top-left: red
  const e2e::Point b0{260, 380}, b1{340, 420};  // Blocks, bottom-right: yellow
  const e2e::Point o0{300, 80}, o1{360, 120};   // OBJ File, top-right
  d.drag({c0, c1});
  d.click("Blocks");
  d.drag({b0, b1});
  d.click("OBJ File");
  d.drag({o0, o1});
  EXPECT_TRUE(d.wait_until_shown());

  // Save it under a new name, and quit.
  EXPECT_TRUE(d.set_text("Image Filename: ", "journey.tga"));
  d.click("Save Image");
  const std::string path = d.dir().file("journey.tga");
  EXPECT_TRUE(e2e::wait_for_file(path, 18 + static_cast<size_t>(cw) * ch * 4));
  d.x().move_pointer(d.window(), 200, 300);
  d.click_canvas(200, 300, e2e::Button::Middle);  // the panel lets go of the keys
  EXPECT_TRUE(d.x().key("q"));
  EXPECT_TRUE(app.wait_for_exit(0));
  EXPECT_EQ(app.errors(), "");

  // The saved painting: the canvas at its new size, upright, strokes only
  // where the drags went, in the picture's colours, white elsewhere.
  j.saved = read_file(path);
  TgaFile tga;
  std::string error;
  EXPECT_TRUE(read_tga(j.saved, &tga, &error)) << error;
  EXPECT_EQ(tga.width, cw);
  EXPECT_EQ(tga.height, ch);
  EXPECT_EQ(tga.depth, 32);
  EXPECT_EQ(tga.descriptor, 0);
  TempDir scratch;
  RgbImage quarters = picture_at_size(d.dir().file("quarters.ppm"), cw, ch, scratch.path());
  const CanvasRegion circles = around(c0, c1, 62), blocks = around(b0, b1, 72),
                     model = around(o0, o1, 62);
  EXPECT_EQ(painted_outside(tga.pixels, {circles, blocks, model}), 0);
  for (auto [region, outlines] : {std::pair{circles, false}, std::pair{blocks, true}}) {
    int n = 0;
    std::string why;
    EXPECT_TRUE(painted_from_picture(tga.pixels, quarters, region, 12, 24, outlines, &n, &why))
        << why;
    EXPECT_GT(n, 2000);
  }
  // Upright: the circles at the top-left are red, the blocks at the
  // bottom-right yellow.
  const Rgb top_left = tga.pixels.at(110, 89);
  EXPECT_GT(top_left.r, 150);
  EXPECT_LT(top_left.b, 100);
  EXPECT_GT(non_white_pixels(tga.pixels, model.x0, model.y0, model.x1, model.y1), 2000);

  // The console told the story, and nothing else.
  std::vector<std::string> lines = app.lines();
  EXPECT_EQ(lines.size(), 5u);
  if (lines.size() != 5u) return j;
  EXPECT_EQ(lines[0], "Image image1.jpg loaded.");
  EXPECT_EQ(lines[1].rfind("Found vertices: ", 0), 0u);
  EXPECT_EQ(lines[2].rfind("Found faces: ", 0), 0u);
  EXPECT_EQ(lines[3].rfind("File length: ", 0), 0u);
  EXPECT_EQ(lines[4], "Image quarters.ppm loaded.");
  return j;
}

}  // namespace

TEST(Journey, APaintersWholeSessionTwiceSavesTheSameBytes) {
  Journey first = take_the_journey();
  if (HasFailure()) return;
  Journey second = take_the_journey();
  ASSERT_FALSE(first.saved.empty());
  EXPECT_TRUE(first.saved == second.saved) << "the same session saved different paintings";
}
