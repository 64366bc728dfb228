// The motion callback on a real window: when it paints, captures, and
// posts a redisplay.
#include "paint/motion.h"

#include <GL/freeglut.h>
#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

#include "app/canvas_buffers.h"
#include "app/panel.h"
#include "app/state.h"
#include "app/window_callbacks.h"
#include "image/source_image.h"
#include "paint/scatter.h"
#include "paint/stroke.h"
#include "tests/support/app_harness.h"

// After GoogleTest: Xlib's macros (None, Bool) would break its headers.
#include <GL/glx.h>
#include <X11/Xutil.h>

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

namespace {

// A seeded source of its own, restarted for each of the two paintings.
unsigned burst_seed = 1;
int seeded_rand() {
  burst_seed = burst_seed * 1103515245u + 12345u;
  return static_cast<int>((burst_seed >> 1) & 0x3fffffff);
}

// The back buffer after the same drag of 40 motion events across the
// canvas, each a burst of `strokes` strokes: through paint_burst, or through
// paint_stroke one stroke at a time as the scatter hands the points over
// (with GLUT's own sphere for Circles).
std::vector<unsigned char> paint_drag(AppHarness& app, bool burst, int strokes) {
  burst_seed = 1;
  set_random_source(seeded_rand);
  canvas_draw_buffer(CANVAS_BACK);
  canvas_clear();
  app.display();
  for (int i = 0; i < 40; ++i) {
    const int x = 10 + i * (vp_w - 20) / 39,
              y = vp_h / 2 + static_cast<int>((i % 7 - 3) * vp_h / 8);
    if (burst)
      paint_burst(x, y, strokes, 50);
    else
      scatter_burst(x, y, strokes, 50, paint_stroke);
  }
  set_random_source(nullptr);
  return app.read(CANVAS_BACK, 0, 0, vp_w, vp_h);
}

// The canvas as the screen shows it, in the layout of AppHarness::read
// (RGB, bottom row first).
std::vector<unsigned char> on_screen() {
  Display* display = glXGetCurrentDisplay();
  XImage* image = XGetImage(display, glXGetCurrentDrawable(), 0, 0, static_cast<unsigned>(vp_w),
                            static_cast<unsigned>(vp_h), AllPlanes, ZPixmap);
  std::vector<unsigned char> rgb;
  if (!image) return rgb;
  for (int row = vp_h - 1; row >= 0; --row)
    for (int x = 0; x < vp_w; ++x) {
      const unsigned long p = XGetPixel(image, x, row);
      rgb.push_back(static_cast<unsigned char>((p & image->red_mask) >> 16));
      rgb.push_back(static_cast<unsigned char>((p & image->green_mask) >> 8));
      rgb.push_back(static_cast<unsigned char>(p & image->blue_mask));
    }
  XDestroyImage(image);
  return rgb;
}

}  // namespace

// Displays during a drag show only what its strokes changed: what another
// program drew over the rest of the window stays (until a whole swap,
// which comes at least once a second: a slow build may see some), and the
// strokes, the biggest of every flat brush turned every way, show whole.
// Once the painting pauses, the whole window is shown again.
TEST(Motion, ADragIsShownInPartsAndWholeOnceItPauses) {
  AppHarness app;
  control_cb(LOAD_IMAGE_ID);
  follow_edges = 1;
  stroke_size_spinner->set_float_val(100.0f);
  app.display();
  app.display();
  Display* display = glXGetCurrentDisplay();
  const Window window = glXGetCurrentDrawable();
  XGCValues black{};
  GC gc = XCreateGC(display, window, GCForeground, &black);
  const std::size_t corner = (static_cast<std::size_t>(vp_h - 1) * vp_w) * 3;
  int shown_in_part = 0;
  bool last_in_part = false;
  for (int shown = 0; shown < 12; ++shown) {
    XFillRectangle(display, window, gc, 0, 0, 8, 8);  // the canvas's top left corner
    XSync(display, False);
    const int brush = BRUSH_CIRCLES + shown % 4;
    brush_type = brush;
    // One stroke a display, each alone in what the display shows.
    paint_burst(vp_w / 4 + shown * vp_w / 24, vp_h / 2 + (shown % 3 - 1) * 60, 1, 1);
    app.display();
    const std::vector<unsigned char> painting = app.read(CANVAS_BACK, 0, 0, vp_w, vp_h);
    EXPECT_TRUE(app.read(CANVAS_FRONT, 0, 0, vp_w, vp_h) == painting) << "brush " << brush;
    std::vector<unsigned char> screen = on_screen();
    ASSERT_EQ(screen.size(), painting.size());
    last_in_part = screen[corner] == 0;
    shown_in_part += last_in_part;
    for (int y = vp_h - 8; y < vp_h; ++y)  // all but the corner drawn over
      for (int x = 0; x < 8; ++x)
        for (int c = 0; c < 3; ++c)
          screen[(static_cast<std::size_t>(y) * vp_w + x) * 3 + c] =
              painting[(static_cast<std::size_t>(y) * vp_w + x) * 3 + c];
    EXPECT_TRUE(screen == painting) << "brush " << brush;
  }
  XFreeGC(display, gc);
  EXPECT_GT(shown_in_part, 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(60));
  EXPECT_EQ(canvas_needs_showing(), last_in_part);
  app.display();
  EXPECT_FALSE(canvas_needs_showing());
  EXPECT_TRUE(on_screen() == app.read(CANVAS_FRONT, 0, 0, vp_w, vp_h));
}

// Bursts with their angles worked out together and the prepared sphere
// must paint exactly what one stroke at a time painted: every flat brush,
// both falloffs, with and without Small Strokes On Top, odd and even window
// half-widths (where the point's own pixel is sampled), sizes with
// fractions, and bursts bigger than the 100 strokes painted at once.
TEST(Motion, ABurstPaintsTheSamePixelsAsItsStrokesOneByOne) {
  AppHarness app;
  int compared = 0;
  for (int canvas_w : {401, 390}) {  // h = 120 (even), 117 (odd)
    app.resize(glui->get_panel_width() + canvas_w, 300);
    control_cb(LOAD_IMAGE_ID);
    ASSERT_EQ(source_width, canvas_w);
    for (int brush = BRUSH_CIRCLES; brush <= BRUSH_BLOCKS; ++brush)
      for (int config = 0; config < 4; ++config) {
        brush_type = brush;
        follow_edges = config != 3;
        falloff_type = config % 2;
        small_strokes_on_top = config / 2 == 1;
        stroke_size_spinner->set_float_val(config == 1 ? 3.75f : config == 2 ? 23.5f : 10.0f);
        const int strokes = config == 2 ? 150 : 20;
        const std::vector<unsigned char> one_by_one = paint_drag(app, false, strokes);
        const std::vector<unsigned char> together = paint_drag(app, true, strokes);
        ASSERT_EQ(one_by_one.size(), together.size());
        std::size_t differ = 0, painted = 0;
        for (std::size_t i = 0; i < together.size(); ++i) {
          differ += one_by_one[i] != together[i];
          painted += together[i] != 255;
        }
        EXPECT_EQ(differ, 0u) << "canvas " << canvas_w << " brush " << brush << " config "
                              << config;
        EXPECT_GT(painted, together.size() / 40);
        ++compared;
      }
  }
  EXPECT_EQ(compared, 32);
}

// The prepared sphere against GLUT's own call, over many sizes and turns,
// with and without the depth test: bursts whose strokes overlap, and
// strokes apart from each other, whose every edge pixel shows.
TEST(Motion, ThePreparedSphereCoversTheSamePixelsAsGlutsSphere) {
  AppHarness app;
  control_cb(LOAD_IMAGE_ID);
  brush_type = BRUSH_CIRCLES;
  follow_edges = 1;
  std::vector<float> sizes = {1.0f, 1.1f, 1.25f, 1.5f, 1.75f, 2.0f, 2.5f, 3.0f, 4.75f, 7.3f, 13.9f};
  for (float s = 1.0f; s <= 100.0f; s = s * 1.37f + 0.11f) sizes.push_back(s);
  int compared = 0;
  for (float s : sizes)
    for (int on_top = 0; on_top < 2; ++on_top) {
      small_strokes_on_top = on_top;
      stroke_size_spinner->set_float_val(s);
      const int apart = static_cast<int>(2 * s) + 3;
      std::vector<unsigned char> canvas[2];
      for (int burst = 0; burst < 2; ++burst) {
        burst_seed = 7;
        set_random_source(seeded_rand);
        canvas_draw_buffer(CANVAS_BACK);
        canvas_clear();
        for (int i = 0; i < 12; ++i) {
          const int x = 40 + i * 37, y = 80 + (i * 53) % 400;
          if (burst)
            paint_burst(x, y, 8, 30);
          else
            scatter_burst(x, y, 8, 30, paint_stroke);
        }
        // Radius 1: each stroke on its point or a pixel beside it.
        for (int y = apart; y + apart < vp_h && s < 20; y += apart)
          for (int x = apart; x + apart < vp_w / 2; x += apart) {
            if (burst)
              paint_burst(vp_w / 2 + x, y, 1, 1);
            else
              scatter_burst(vp_w / 2 + x, y, 1, 1, paint_stroke);
          }
        set_random_source(nullptr);
        canvas[burst] = app.read(CANVAS_BACK, 0, 0, vp_w, vp_h);
      }
      ASSERT_TRUE(canvas[0] == canvas[1]) << "size " << s << " on top " << on_top;
      ++compared;
    }
  EXPECT_GT(compared, 40);
}

// A burst of Circles leaves the state a stroke leaves: the modelview as it
// was, and no client array on (GLUT's sphere turns its arrays off again).
TEST(Motion, ABurstOfCirclesLeavesNoArrayOnAndTheModelviewAsItWas) {
  AppHarness app;
  control_cb(LOAD_IMAGE_ID);
  brush_type = BRUSH_CIRCLES;
  follow_edges = 1;
  paint_burst(200, 200, 20, 50);
  GLfloat m[16];
  glGetFloatv(GL_MODELVIEW_MATRIX, m);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(m[i], i % 5 == 0 ? 1.0f : 0.0f) << i;
  EXPECT_FALSE(glIsEnabled(GL_VERTEX_ARRAY));
  EXPECT_FALSE(glIsEnabled(GL_NORMAL_ARRAY));
  GLint bound = -1;
  glGetIntegerv(GL_ARRAY_BUFFER_BINDING, &bound);
  EXPECT_EQ(bound, 0);
  app.display();
  EXPECT_FALSE(app.all_white(CANVAS_FRONT));
}
