// The OBJ File brush inside the program: loading the default sphere from
// the panel, strokes lit from where the right button put the light.
#include <GL/freeglut.h>
#include <gtest/gtest.h>

#include <vector>

#include "app/canvas_buffers.h"
#include "app/panel.h"
#include "app/state.h"
#include "app/window_callbacks.h"
#include "image/source_image.h"
#include "model/obj_model.h"
#include "paint/stroke.h"
#include "tests/support/app_harness.h"

namespace {

class ObjBrushInApp : public ::testing::Test {
 protected:
  ObjBrushInApp()
      : app({"samples/image1.jpg", "samples/sphere.obj", "samples/sphere.mtl",
             "samples/sphere.png"}) {}

  void SetUp() override {
    mouse_cb(GLUT_LEFT_BUTTON, GLUT_UP, 0, 0);  // a white source image
    recapture_pending = false;
    for (size_t i = 0; i < static_cast<size_t>(source_width) * source_height; ++i) {
      source_rgb[3 * i] = 200;
      source_rgb[3 * i + 1] = 120;
      source_rgb[3 * i + 2] = 60;
    }
    canvas_draw_buffer(CANVAS_BACK);
    canvas_clear();
    app.display();
    brush_type = 4;
    stroke_size_spinner->set_float_val(40);
  }

  // Brightness (sum of channels) of a back-buffer pixel, canvas y up.
  int brightness(int x, int y) {
    std::vector<unsigned char> p = app.pixel(CANVAS_BACK, x, y);
    return p[0] + p[1] + p[2];
  }

  AppHarness app;
};

}  // namespace

TEST_F(ObjBrushInApp, BeforeAnyModelIsLoadedNothingIsPaintedAndLightingIsUntouched) {
  ASSERT_EQ(current_model, nullptr);
  GLfloat before[4];
  glGetLightfv(GL_LIGHT0, GL_POSITION, before);
  paint_stroke(200, 200);
  EXPECT_TRUE(app.all_white(CANVAS_BACK));
  EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
  GLfloat after[4];
  glGetLightfv(GL_LIGHT0, GL_POSITION, after);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(before[i], after[i]);
}

TEST_F(ObjBrushInApp, TheSphereIsBrighterOnTheSideFacingTheLightAndTheRightButtonMovesIt) {
  testing::internal::CaptureStdout();
  control_cb(LOAD_OBJ_ID);
  std::string out = testing::internal::GetCapturedStdout();
  ASSERT_NE(current_model, nullptr) << out;
  EXPECT_NE(out.find("Found faces: "), std::string::npos);

  // Light well to the left of the stroke.
  const int wy = 300, cy = vp_h - wy;
  mouse_cb(GLUT_RIGHT_BUTTON, GLUT_DOWN, 20, wy);
  // With "Small Strokes On Top" the sphere's near half hides its far
  // half, and its shading runs from lit (towards the light) to ambient.
  small_strokes_on_top = 1;
  paint_stroke(150, wy);
  EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
  EXPECT_FALSE(glIsEnabled(GL_LIGHT0));
  EXPECT_NE(brightness(150, cy), 765);
  EXPECT_EQ(brightness(150 + 42, cy), 765);  // a disc of radius 40
  EXPECT_EQ(brightness(150, cy + 42), 765);
  EXPECT_GT(brightness(150 - 30, cy), brightness(150 - 10, cy) + 60);
  EXPECT_GT(brightness(150 - 10, cy), brightness(150 + 20, cy));
  std::vector<unsigned char> lit = app.pixel(CANVAS_BACK, 150 - 30, cy);
  EXPECT_GT(lit[0], lit[1]);  // lit in the stroke's (orange) colour, untextured
  EXPECT_GT(lit[1], lit[2]);

  // The light moved to the right of the next stroke.
  mouse_cb(GLUT_RIGHT_BUTTON, GLUT_DOWN, vp_w - 10, wy);
  paint_stroke(350, wy);
  EXPECT_GT(brightness(350 + 30, cy), brightness(350 - 30, cy) + 60);

  // Without the option nothing hides the far half, which the mesh draws
  // last: the light catches the rim on its side only.
  small_strokes_on_top = 0;
  canvas_clear();
  mouse_cb(GLUT_RIGHT_BUTTON, GLUT_DOWN, 20, wy);
  paint_stroke(150, wy);
  EXPECT_GT(brightness(150 - 35, cy), brightness(150 + 35, cy) + 60);
}

TEST_F(ObjBrushInApp, WithFollowEdgesTheLightTurnsWithTheStroke) {
  control_cb(LOAD_OBJ_ID);
  ASSERT_NE(current_model, nullptr);
  // A vertical edge just right of the stroke, on an odd column (with an odd
  // window half-width only odd offsets are sampled): gradients point +x, so
  // the stroke's frame is not turned and the light stays left.
  const int wy = 300, cy = vp_h - wy;
  for (int y = 0; y < source_height; ++y)
    for (int x = 0; x < source_width; ++x) {
      unsigned char v = x < 211 ? 40 : 220;
      unsigned char* p = source_rgb + 3 * (static_cast<size_t>(y) * source_width + x);
      p[0] = p[1] = p[2] = v;
    }
  compute_edge_map();
  mouse_cb(GLUT_RIGHT_BUTTON, GLUT_DOWN, 20, wy);
  follow_edges = 1;
  small_strokes_on_top = 1;
  paint_stroke(200, wy);
  EXPECT_GT(brightness(200 - 25, cy), brightness(200 + 25, cy) + 30);

  // Gradients pointing -x (bright on the left) turn the frame by about 180
  // degrees: the light, given in that frame, now stands on the right.
  for (int y = 0; y < source_height; ++y)
    for (int x = 0; x < source_width; ++x) {
      unsigned char v = x < 211 ? 220 : 40;
      unsigned char* p = source_rgb + 3 * (static_cast<size_t>(y) * source_width + x);
      p[0] = p[1] = p[2] = v;
    }
  compute_edge_map();
  canvas_clear();
  paint_stroke(200, wy);
  EXPECT_GT(brightness(200 + 25, cy), brightness(200 - 25, cy) + 30);
  follow_edges = 0;
  small_strokes_on_top = 0;
}

TEST_F(ObjBrushInApp, AMissingModelKeepsTheOneInUse) {
  control_cb(LOAD_OBJ_ID);
  ObjModel* first = current_model;
  ASSERT_NE(first, nullptr);
  obj_filename_text->set_text("missing.obj");
  testing::internal::CaptureStderr();
  control_cb(LOAD_OBJ_ID);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "File ./missing.obj could not be opened!\n");
  EXPECT_EQ(current_model, first);
  paint_stroke(150, 300);
  EXPECT_FALSE(app.all_white(CANVAS_BACK));
}
