// Single strokes of the flat brushes on a real window, read back from the
// canvas's back buffer.
#include <GL/freeglut.h>
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "app/canvas_buffers.h"
#include "app/state.h"
#include "app/window_callbacks.h"
#include "image/source_image.h"
#include "paint/stroke.h"
#include "tests/support/app_harness.h"

namespace {

using Rgb = std::vector<unsigned char>;
const Rgb kWhite = {255, 255, 255};
const Rgb kBlack = {0, 0, 0};

class Strokes : public ::testing::Test {
 protected:
  void SetUp() override {
    // A white source image at the canvas size, then a blank canvas with
    // the canvas projection in force, as when the user paints.
    mouse_cb(GLUT_LEFT_BUTTON, GLUT_UP, 0, 0);
    recapture_pending = false;
    canvas_draw_buffer(CANVAS_BACK);
    canvas_clear();
    app.display();
  }

  // Sets the source colour of canvas row `row` (y up), column x.
  void set_source(int x, int row, Rgb c) {
    unsigned char* p = source_rgb + 3 * (static_cast<size_t>(row) * source_width + x);
    p[0] = c[0];
    p[1] = c[1];
    p[2] = c[2];
  }
  void fill_source(Rgb c) {
    for (int row = 0; row < source_height; ++row)
      for (int x = 0; x < source_width; ++x) set_source(x, row, c);
  }

  // A back-buffer pixel at canvas point (x, y), y up.
  Rgb at(int x, int y) { return app.pixel(CANVAS_BACK, x, y); }

  AppHarness app;
};

}  // namespace

TEST_F(Strokes, ACircleIsADiscOfRadiusSInTheColourOfTheRowBelow) {
  fill_source({0, 0, 200});
  // Window point (200, 100): drawn at canvas (200, vp_h - 100), coloured
  // from canvas row vp_h - 101.
  const int cx = 200, cy = vp_h - 100;
  set_source(cx, cy - 1, {250, 100, 0});
  set_source(cx, cy, {0, 250, 0});
  brush_type = 0;
  stroke_size_spinner->set_float_val(10);
  paint_stroke(200, 100);
  EXPECT_EQ(canvas_selected_draw_buffer(), CANVAS_BACK);
  const Rgb colour = {250, 100, 0};
  EXPECT_EQ(at(cx, cy), colour);
  EXPECT_EQ(at(cx + 8, cy), colour);
  EXPECT_EQ(at(cx, cy - 8), colour);
  EXPECT_EQ(at(cx + 6, cy + 6), colour);
  EXPECT_EQ(at(cx + 12, cy), kWhite);
  EXPECT_EQ(at(cx, cy + 12), kWhite);
  EXPECT_EQ(at(cx + 8, cy + 8), kWhite);  // outside the disc, inside its square

  // The stroke leaves the modelview as it found it, and GLUT's sphere no
  // client arrays or buffers behind.
  GLfloat m[16];
  glGetFloatv(GL_MODELVIEW_MATRIX, m);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(m[i], i % 5 == 0 ? 1.0f : 0.0f) << i;
  EXPECT_FALSE(glIsEnabled(GL_VERTEX_ARRAY));
  EXPECT_FALSE(glIsEnabled(GL_NORMAL_ARRAY));
  GLint buffer = -1;
  glGetIntegerv(GL_ARRAY_BUFFER_BINDING, &buffer);
  EXPECT_EQ(buffer, 0);
}

TEST_F(Strokes, LinesAreVerticalOfLength2SAndWidthSOverTen) {
  fill_source({10, 20, 30});
  brush_type = 1;
  const Rgb c = {10, 20, 30};
  stroke_size_spinner->set_float_val(100);
  paint_stroke(250, 300);
  const int cx = 250, cy = vp_h - 300;
  // 200 pixels long, 10 wide.
  EXPECT_EQ(at(cx, cy + 95), c);
  EXPECT_EQ(at(cx, cy - 95), c);
  EXPECT_EQ(at(cx, cy + 105), kWhite);
  EXPECT_EQ(at(cx, cy - 105), kWhite);
  EXPECT_EQ(at(cx - 4, cy), c);
  EXPECT_EQ(at(cx + 3, cy), c);
  EXPECT_EQ(at(cx - 7, cy), kWhite);
  EXPECT_EQ(at(cx + 7, cy), kWhite);
  GLfloat width = 0;
  glGetFloatv(GL_LINE_WIDTH, &width);
  EXPECT_EQ(width, 10.0f);

  // Size 10: one pixel wide.
  canvas_clear();
  stroke_size_spinner->set_float_val(10);
  paint_stroke(100, 100);
  int painted = 0;
  for (int x = 90; x <= 110; ++x) painted += at(x, vp_h - 100) == c;
  EXPECT_EQ(painted, 1);
}

TEST_F(Strokes, CrossesReachTheCornersOfASquareOfHalfSideS) {
  fill_source({200, 0, 200});
  const Rgb c = {200, 0, 200};
  brush_type = 2;
  stroke_size_spinner->set_float_val(30);
  paint_stroke(150, 150);
  const int cx = 150, cy = vp_h - 150;
  EXPECT_EQ(at(cx, cy), c);
  for (int d : {10, 20, 27}) {
    EXPECT_EQ(at(cx + d, cy + d), c) << d;
    EXPECT_EQ(at(cx - d, cy - d), c) << d;
    EXPECT_EQ(at(cx - d, cy + d), c) << d;
    EXPECT_EQ(at(cx + d, cy - d), c) << d;
  }
  EXPECT_EQ(at(cx + 34, cy + 34), kWhite);
  EXPECT_EQ(at(cx, cy + 15), kWhite);
  EXPECT_EQ(at(cx + 15, cy), kWhite);
}

TEST_F(Strokes, BlocksAreHalfSWideTwoSTallOutlinedInBlackAndLeaveBlack) {
  fill_source({0, 180, 90});
  const Rgb c = {0, 180, 90};
  brush_type = 3;
  stroke_size_spinner->set_float_val(40);
  paint_stroke(200, 200);
  const int cx = 200, cy = vp_h - 200;
  // 20 wide (x in cx-10 ... cx+10), 80 tall (cy-40 ... cy+40), 4-pixel outline.
  EXPECT_EQ(at(cx, cy), c);
  EXPECT_EQ(at(cx + 5, cy + 30), c);
  EXPECT_EQ(at(cx - 10, cy), kBlack);
  EXPECT_EQ(at(cx + 9, cy), kBlack);
  EXPECT_EQ(at(cx, cy + 39), kBlack);
  EXPECT_EQ(at(cx, cy - 40), kBlack);
  EXPECT_EQ(at(cx + 14, cy), kWhite);
  EXPECT_EQ(at(cx - 14, cy), kWhite);
  EXPECT_EQ(at(cx, cy + 44), kWhite);
  GLfloat colour[4];
  glGetFloatv(GL_CURRENT_COLOR, colour);
  EXPECT_EQ(colour[0], 0.0f);
  EXPECT_EQ(colour[1], 0.0f);
  EXPECT_EQ(colour[2], 0.0f);
}

TEST_F(Strokes, PointsOffTheCanvasAreDroppedAndTheEdgesAreDrawn) {
  fill_source({255, 0, 0});
  const Rgb red = {255, 0, 0};
  brush_type = 0;
  stroke_size_spinner->set_float_val(3);
  canvas_draw_buffer(CANVAS_FRONT);
  paint_stroke(vp_w, 10);
  EXPECT_EQ(canvas_selected_draw_buffer(), CANVAS_BACK);  // even when dropped
  paint_stroke(10, vp_h);
  paint_stroke(-1, 10);
  paint_stroke(10, -1);
  EXPECT_TRUE(app.all_white(CANVAS_BACK));
  paint_stroke(vp_w - 1, 10);
  EXPECT_EQ(at(vp_w - 1, vp_h - 10), red);
  // Window y = vp_h - 1 is canvas height 1, coloured from row 0.
  paint_stroke(10, vp_h - 1);
  EXPECT_EQ(at(10, 1), red);
  // Window (0, 0): coloured from the top row, drawn at canvas height vp_h.
  set_source(0, vp_h - 1, {0, 0, 255});
  paint_stroke(0, 0);
  EXPECT_EQ(at(0, vp_h - 2), (Rgb{0, 0, 255}));
}

TEST_F(Strokes, SmallStrokesOnTopKeepsSmallerStrokesInFront) {
  brush_type = 0;
  const int cx = 200, cy = vp_h - 200;
  auto stroke = [&](float size, Rgb colour) {
    set_source(cx, cy - 1, colour);
    stroke_size_spinner->set_float_val(size);
    paint_stroke(cx, 200);
  };
  const Rgb red = {255, 0, 0}, blue = {0, 0, 255};

  small_strokes_on_top = 1;
  stroke(20, red);
  stroke(5, blue);
  EXPECT_EQ(at(cx, cy), blue);  // smaller, drawn later: in front
  EXPECT_EQ(at(cx + 12, cy), red);
  EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));

  canvas_clear();
  stroke(5, blue);
  stroke(20, red);
  EXPECT_EQ(at(cx, cy), blue);  // bigger, drawn later: behind
  EXPECT_EQ(at(cx + 12, cy), red);

  // The same size drawn later stays behind where they overlap.
  canvas_clear();
  brush_type = 1;
  stroke(30, blue);
  stroke(30, red);
  EXPECT_EQ(at(cx, cy), blue);

  // Off: the later stroke always covers.
  small_strokes_on_top = 0;
  canvas_clear();
  brush_type = 0;
  stroke(5, blue);
  stroke(20, red);
  EXPECT_EQ(at(cx, cy), red);
  EXPECT_FALSE(glIsEnabled(GL_DEPTH_TEST));
}

TEST_F(Strokes, AfterAReshapeWithNoPictureReadsStayInsideTheLastCapture) {
  const int panel = glui->get_panel_width();
  const int captured_w = source_width, captured_h = source_height;
  app.resize(panel + captured_w + 100, captured_h + 100);
  ASSERT_FALSE(recapture_pending);  // no picture: no new capture
  ASSERT_EQ(source_width, captured_w);
  brush_type = 0;
  stroke_size_spinner->set_float_val(2);
  canvas_clear();
  // Beyond the captured columns and rows: dropped like points off the canvas.
  paint_stroke(captured_w + 50, 50);
  paint_stroke(10, 20);  // canvas row vp_h - 21 lies above the captured rows
  EXPECT_TRUE(app.all_white(CANVAS_BACK));
  paint_stroke(10, vp_h - 10);    // inside both
  EXPECT_EQ(at(10, 10), kWhite);  // white source: painted white, but painted
  fill_source({9, 9, 9});
  paint_stroke(10, vp_h - 10);
  EXPECT_EQ(at(10, 10), (Rgb{9, 9, 9}));
}
