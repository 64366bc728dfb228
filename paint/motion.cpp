// Glue: the motion callback. Reads the program's state (app/state.h: the
// painting and recapture flags, the Stroke Number and Radius spinners) and
// whether a picture is loaded (image/source_image.h), and hands the burst
// to paint_burst (paint/stroke.h), which scatters and paints it.
#include "paint/motion.h"

#include <GL/freeglut.h>

#include "app/state.h"
#include "image/source_image.h"
#include "paint/stroke.h"

void motion_cb(int x, int y) {
  if (!painting) {
    glutPostRedisplay();
    return;
  }
  if (recapture_pending) {
    if (image_texture != 0) capture_source_image();
    recapture_pending = false;
  }
  paint_burst(x, y, stroke_number_spinner->get_int_val(), stroke_radius_spinner->get_int_val());
  // The strokes show at the next frame of the screen, when the idle work
  // finds the canvas changed (idle_cb): a fast drag brings motion events
  // far more often than frames, and showing the canvas after each of them
  // would take the time the next bursts need.
}
