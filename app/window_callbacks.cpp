#include "app/window_callbacks.h"

#include <GL/freeglut.h>

#include <chrono>

#include "app/canvas_buffers.h"
#include "app/canvas_coords.h"
#include "app/state.h"
#include "image/source_image.h"

namespace {

// The canvas's one projection: a unit a pixel, y up, depths 0 to -1000 in
// view, over the canvas rectangle; the model-view matrix the identity and
// current.
void set_canvas_projection() {
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrtho(0.0, static_cast<double>(vp_w), 0.0, static_cast<double>(vp_h), 0.0, 1000.0);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glViewport(vp_x, vp_y, vp_w, vp_h);
}

// A frame of the screen: the most often the painting is shown.
using Clock = std::chrono::steady_clock;
constexpr auto kFrame = std::chrono::microseconds(16667);  // 1/60 s
Clock::time_point last_shown;  // long ago, until the first display
// The idle work of a frame asked for the next display.
bool frame_due = false;
// A display came within a frame of the last one and was left to the next
// frame.
bool display_put_off = false;

}  // namespace

void display_paced_cb() {
  const Clock::time_point now = Clock::now();
  if (!frame_due && now - last_shown < kFrame) {
    display_put_off = true;
    return;
  }
  frame_due = false;
  display_put_off = false;
  last_shown = now;
  display_cb();
}

// Sets the canvas projection and presents the painting. Draws nothing.
void display_cb() {
  refresh_canvas_rect();
  set_canvas_projection();
  // Until the picture is captured at this canvas size, nothing painted
  // stays visible.
  if (recapture_pending) canvas_clear();
  canvas_swap(vp_x, vp_y, vp_w, vp_h);
}

void reshape_cb(int width, int height) {
  (void)width;  // the canvas is measured, not taken from the window size
  (void)height;
  refresh_canvas_rect();
  light_x = vp_w / 2;
  light_y = vp_h / 2;
  canvas_clear();
  if (image_texture != 0) recapture_pending = true;
  // A click or a drag that GLUT handles before the next display (in the
  // same batch of events) works on the new canvas too: a picture loaded
  // then is stretched over all of it.
  set_canvas_projection();
}

// Runs once a frame of the screen. What is on screen stays there: only a
// canvas with something new to show is displayed again. (GLUT displays the
// window by itself when it is uncovered, mapped or resized.)
void idle_cb() {
  if (glutGetWindow() != main_window) glutSetWindow(main_window);
  if (canvas_needs_showing() || display_put_off) {
    frame_due = true;
    glutPostRedisplay();
  }
}

void mouse_cb(int button, int state, int x, int y) {
  refresh_canvas_rect();
  if (button == GLUT_LEFT_BUTTON) {
    if (state == GLUT_DOWN) {
      painting = true;
      return;  // a press never captures: the drag's first motion does
    }
    painting = false;
    if (recapture_pending) capture_source_image();
    return;
  }
  if (button == GLUT_RIGHT_BUTTON) {
    light_x = x;
    light_y = canvas_y(y, vp_h);
  }
  if (!painting && recapture_pending) capture_source_image();
}
