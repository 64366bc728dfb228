// Glue: one stroke. Reads the program's state (app/state.h: the canvas
// rectangle, the brush, size and checkbox settings, the current model) and
// the source image (image/source_image.h), and draws with OpenGL; the edge
// angle itself is worked out by paint/edge_angle.h.
#include "paint/stroke.h"

#include <GL/freeglut.h>

#include "app/canvas_buffers.h"
#include "app/canvas_coords.h"
#include "app/gl_scope.h"
#include "app/state.h"
#include "image/source_image.h"
#include "model/obj_brush.h"
#include "model/obj_model.h"
#include "paint/edge_angle.h"

namespace {

// The flat brushes lie in the stroke's frame at z = 0, after the shift of
// the brush by its own size away from the viewer: with the depth test on,
// bigger strokes lie deeper, so smaller ones stay on top.
void draw_circle(float s) {
  glTranslatef(0.0f, 0.0f, -s);
  // Lighting is off, so the sphere shows as a filled disc. It is pressed
  // flat onto the brush's plane: a whole sphere would reach the depth -10
  // at its centre whatever its size, and bigger circles would then cover
  // smaller ones, against what "Small Strokes On Top" promises.
  glScalef(1.0f, 1.0f, 0.0f);
  glutSolidSphere(s, 10, 10);
}

void draw_line(float s) {
  glTranslatef(0.0f, 0.0f, -s);
  glLineWidth(static_cast<float>(s / 10.0));
  glBegin(GL_LINES);
  glVertex3f(0.0f, s, 0.0f);
  glVertex3f(0.0f, -s, 0.0f);
  glEnd();
}

void draw_cross(float s) {
  glTranslatef(0.0f, 0.0f, -s);
  glLineWidth(static_cast<float>(s / 10.0));
  glBegin(GL_LINES);
  glVertex3f(s, s, 0.0f);
  glVertex3f(-s, -s, 0.0f);
  glVertex3f(-s, s, 0.0f);
  glVertex3f(s, -s, 0.0f);
  glEnd();
}

// A rectangle 0.5 s wide and 2 s tall in the stroke colour, outlined in
// black; the current colour stays black.
void draw_block(float s) {
  glTranslatef(0.0f, 0.0f, -s);
  glLineWidth(static_cast<float>(s / 10.0));
  const float hw = 0.25f * s;
  auto corners = [&](GLenum mode) {
    glBegin(mode);
    glVertex3f(-hw, -s, 0.0f);
    glVertex3f(hw, -s, 0.0f);
    glVertex3f(hw, s, 0.0f);
    glVertex3f(-hw, s, 0.0f);
    glEnd();
  };
  corners(GL_QUADS);
  glColor3f(0.0f, 0.0f, 0.0f);
  corners(GL_LINE_LOOP);
}

}  // namespace

void paint_stroke(int x, int y) {
  canvas_draw_buffer(CANVAS_BACK);
  if (x < 0 || x >= vp_w || y < 0 || y >= vp_h || !source_rgb) return;
  // The colour comes from the row under the point, counted from the
  // bottom; a point outside the last capture (a reshape with no picture
  // loaded) is dropped like a point off the canvas.
  const int row = canvas_row(y, vp_h);
  if (x >= source_width || row >= source_height) return;
  const unsigned char* px = source_rgb + (static_cast<size_t>(row) * source_width + x) * 3;
  const float r = static_cast<float>(px[0] / 255.0);
  const float g = static_cast<float>(px[1] / 255.0);
  const float b = static_cast<float>(px[2] / 255.0);
  glColor3f(r, g, b);

  if (small_strokes_on_top == 1)
    glEnable(GL_DEPTH_TEST);
  else
    glDisable(GL_DEPTH_TEST);

  {
    const MatrixScope stroke_frame;
    // The stroke's origin: the canvas point under the pointer, one above
    // the row the colour came from, at depth -10.
    const int origin_y = canvas_y(y, vp_h);
    glTranslatef(static_cast<float>(x), static_cast<float>(origin_y), -10.0f);
    if (follow_edges == 1) edge_stroke_angle(x, origin_y);
    const float s = stroke_size_spinner->get_float_val();
    switch (brush_type) {
      case BRUSH_CIRCLES: draw_circle(s); break;
      case BRUSH_LINES: draw_line(s); break;
      case BRUSH_CROSSES: draw_cross(s); break;
      case BRUSH_BLOCKS: draw_block(s); break;
      case BRUSH_OBJ_FILE:
        if (current_model) paint_obj_brush(*current_model, r, g, b, s, x, y);
        break;
      default: break;
    }
  }
  canvas_count_drawing(1);
}

void edge_stroke_angle(int x, int y) {
  const float angle = source_edges.angle_degrees(vp_w, x, y, falloff_type);
  glRotatef(angle, 0.0f, 0.0f, 1.0f);
}
