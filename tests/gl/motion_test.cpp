// The motion callback on a real window: when it paints, captures, and
// posts a redisplay.
#include "paint/motion.h"

#include <GL/freeglut.h>
#include <gtest/gtest.h>

#include "app/canvas_buffers.h"
#include "app/panel.h"
#include "app/state.h"
#include "app/window_callbacks.h"
#include "image/source_image.h"
#include "paint/scatter.h"
#include "tests/support/app_harness.h"

namespace {

int draws = 0;
int counting_rand() {
  ++draws;
  return draws * 7919;
}

bool redisplayed = false;
void note_display() {
  redisplayed = true;
  display_cb();
}

}  // namespace

TEST(Motion, WithoutTheLeftButtonNothingIsPaintedButARedisplayIsPosted) {
  AppHarness app;
  control_cb(LOAD_IMAGE_ID);
  set_random_source(counting_rand);
  glutDisplayFunc(note_display);
  app.pump(3);
  redisplayed = false;
  mouse_cb(GLUT_RIGHT_BUTTON, GLUT_DOWN, 100, 100);  // not painting
  app.display();
  redisplayed = false;
  recapture_pending = true;
  motion_cb(120, 120);
  EXPECT_EQ(draws, 0);
  EXPECT_TRUE(recapture_pending);  // untouched
  app.pump(3);
  EXPECT_TRUE(redisplayed);
  set_random_source(nullptr);
}

TEST(Motion, TheFirstDragWithNoPictureClearsTheFlagWithoutCapturingAndPaintsNothing) {
  AppHarness app;
  set_random_source(counting_rand);
  ASSERT_TRUE(recapture_pending);
  mouse_cb(GLUT_LEFT_BUTTON, GLUT_DOWN, 100, 100);
  motion_cb(100, 100);
  EXPECT_FALSE(recapture_pending);
  EXPECT_EQ(source_rgb, nullptr);
  EXPECT_GE(draws, 2 * 20);  // the samples are still drawn and counted
  app.display();
  EXPECT_TRUE(app.all_white(CANVAS_FRONT));
  set_random_source(nullptr);
}

TEST(Motion, ADragAfterAReshapeCapturesAtTheNewSizeBeforeItsFirstStroke) {
  AppHarness app;
  control_cb(LOAD_IMAGE_ID);
  ASSERT_NE(image_texture, 0u);
  app.resize(glui->get_panel_width() + 321, 432);
  ASSERT_TRUE(recapture_pending);
  mouse_cb(GLUT_LEFT_BUTTON, GLUT_DOWN, 150, 150);
  stroke_number_spinner->set_int_val(5);
  motion_cb(150, 150);
  EXPECT_FALSE(recapture_pending);
  EXPECT_EQ(source_width, 321);
  EXPECT_EQ(source_height, 432);
  app.display();
  EXPECT_FALSE(app.all_white(CANVAS_FRONT));  // the strokes landed after the capture
}
