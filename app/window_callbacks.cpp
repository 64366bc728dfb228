#include "app/window_callbacks.h"

#include <GL/freeglut.h>

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

}  // namespace

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
  if (canvas_needs_showing()) glutPostRedisplay();
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
