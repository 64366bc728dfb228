// Glue: one stroke, and a motion's burst of them. Reads the program's state (app/state.h: the
// canvas rectangle, the brush, size and checkbox settings, the current model) and the source image
// (image/source_image.h), and draws with OpenGL; the edge angle itself is worked out by
// paint/edge_angle.h.
#include "paint/stroke.h"

#include <GL/freeglut.h>

#include <cmath>

#include "app/canvas_buffers.h"
#include "app/canvas_coords.h"
#include "app/gl_scope.h"
#include "app/state.h"
#include "image/source_image.h"
#include "model/obj_brush.h"
#include "model/obj_model.h"
#include "paint/circle_brush.h"
#include "paint/edge_angle.h"
#include "paint/scatter.h"

namespace {

// How a circle's sphere is drawn: by GLUT's call, or from the vertices made
// once per size (the same pixels, see paint/circle_brush.h).
enum class SphereDrawing { glut, prepared };

// The flat brushes lie in the stroke's frame at z = 0, after the shift of
// the brush by its own size away from the viewer: with the depth test on,
// bigger strokes lie deeper, so smaller ones stay on top.

void draw_circle(float s, SphereDrawing drawing) {
  glTranslatef(0.0f, 0.0f, -s);
  // Lighting is off, so the sphere shows as a filled disc. It is pressed
  // flat onto the brush's plane: a whole sphere would reach the depth -10
  // at its centre whatever its size, and bigger circles would then cover
  // smaller ones, against what "Small Strokes On Top" promises.
  glScalef(1.0f, 1.0f, 0.0f);
  if (drawing == SphereDrawing::prepared)
    draw_circle_sphere(s);
  else
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

// Whether window point (x, y) gets a stroke: on the canvas, and inside the
// last capture (a reshape with no picture loaded can leave the canvas
// bigger than it); a point outside is dropped like a point off the canvas.
bool stroke_lands(int x, int y) {
  if (x < 0 || x >= vp_w || y < 0 || y >= vp_h || !source_rgb) return false;
  return x < source_width && canvas_row(y, vp_h) < source_height;
}

// One stroke at a window point that lands. `angle` is its edge angle when
// Follow Edges is on and the angle is known already; null has it worked out
// here.
void draw_stroke(int x, int y, const float* angle, SphereDrawing sphere) {
  // The colour comes from the row under the point, counted from the bottom.
  const int row = canvas_row(y, vp_h);
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
    if (follow_edges == 1) {
      if (angle)
        glRotatef(*angle, 0.0f, 0.0f, 1.0f);
      else
        edge_stroke_angle(x, origin_y);
    }
    const float s = stroke_size_spinner->get_float_val();
    switch (brush_type) {
      case BRUSH_CIRCLES: draw_circle(s, sphere); break;
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

// A burst's points, as the scatter hands them over, and what each needs
// to be painted: whether it lands and, when it does and Follow Edges is on,
// its canvas point (y up) for the angle. Stroke Number is at most 100; a
// bigger burst goes in parts of this size, in order.
constexpr int kBurstPart = 100;
struct BurstPart {
  int count = 0;
  int x[kBurstPart], y[kBurstPart];
  int edge_x[kBurstPart], edge_y[kBurstPart];  // landing points only
  float angle[kBurstPart];
};
BurstPart burst_part;

// Selects back for a stroke at window point (x, y) that lands. A flat
// brush stays within a square around its point, which is declared, so that
// the next swap shows only what the strokes changed; a model may reach
// anywhere.
void select_back_for_stroke(int x, int y) {
  if (brush_type == BRUSH_OBJ_FILE) {
    canvas_draw_buffer(CANVAS_BACK);
    return;
  }
  const double s = stroke_size_spinner->get_float_val();
  // The farthest a flat brush reaches from its point, turned any way: the
  // end of a Crosses arm, sqrt(2) s away, then half the line width (s /
  // 10), and two pixels for the rasteriser's rounding.
  const int reach = static_cast<int>(std::ceil(1.5 * s + 0.05 * s)) + 2;
  const int cx = vp_x + x, cy = vp_y + canvas_y(y, vp_h);
  canvas_draw_back_within(cx - reach, cy - reach, cx + reach + 1, cy + reach + 1);
}

void collect_point(int x, int y) {
  burst_part.x[burst_part.count] = x;
  burst_part.y[burst_part.count] = y;
  ++burst_part.count;
}

}  // namespace

void paint_stroke(int x, int y) {
  canvas_draw_buffer(CANVAS_BACK);
  if (!stroke_lands(x, y)) return;
  draw_stroke(x, y, nullptr, SphereDrawing::glut);
}

void paint_burst(int x, int y, int count, int radius) {
  while (count > 0) {
    BurstPart& part = burst_part;
    part.count = 0;
    scatter_burst(x, y, count < kBurstPart ? count : kBurstPart, radius, collect_point);
    count -= part.count;
    const bool follow = follow_edges == 1;
    int landing = 0;
    for (int k = 0; k < part.count; ++k)
      if (stroke_lands(part.x[k], part.y[k])) {
        part.edge_x[landing] = part.x[k];
        part.edge_y[landing] = canvas_y(part.y[k], vp_h);
        ++landing;
      }
    if (follow)
      source_edges.angles_degrees(vp_w, part.edge_x, part.edge_y, landing, falloff_type,
                                  part.angle);
    int next_angle = 0;
    for (int k = 0; k < part.count; ++k) {
      if (!stroke_lands(part.x[k], part.y[k])) {
        canvas_draw_back_within(0, 0, 0, 0);  // back selected, nothing drawn
        continue;
      }
      select_back_for_stroke(part.x[k], part.y[k]);
      draw_stroke(part.x[k], part.y[k], follow ? &part.angle[next_angle++] : nullptr,
                  SphereDrawing::prepared);
    }
  }
}

void edge_stroke_angle(int x, int y) {
  const float angle = source_edges.angle_degrees(vp_w, x, y, falloff_type);
  glRotatef(angle, 0.0f, 0.0f, 1.0f);
}
