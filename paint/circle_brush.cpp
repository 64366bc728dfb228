#include "paint/circle_brush.h"

#include <GL/gl.h>

#include <cmath>
#include <cstring>

// GLUT (freeglut 3) builds its sphere from two tables of sines and cosines
// in float: a whole circle of `slices` steps of -2 pi / slices (the sign
// sets the winding) and a half circle of `stacks` steps of pi / stacks,
// each step's angle formed in float and its sine and cosine taken in
// double, then rounded to float. A vertex of stack i, slice j is (cos1[j]
// sin2[i], sin1[j] sin2[i], cos2[i]) times the radius, each product in
// float; the poles are (0, 0, +-radius). Every stack is one triangle strip
// that runs round the slices and closes on its first pair.
//
// The brush presses the sphere flat (its frame scales z by 0), so what it
// covers is the sphere's outline seen from above: the ring of the middle
// stack, whose sine is 1, is the widest, and every other ring lies inside
// it at the same ten turns. Each half of the sphere tiles that ten-sided
// outline with triangles that meet edge to edge, and a rasteriser's fill
// rule gives a pixel centre on an edge shared by two triangles to exactly
// one of them, so the half covers the pixels of the outline itself, no
// more and no fewer; the other half covers the same ones again. Every
// fragment of the stroke has the one colour and the one depth, so the
// second cover changes nothing either. So the outline, as eight triangles
// fanned from one corner of that ring and drawn from the very floats
// GLUT's vertices have, gives GLUT's pixels at a twentieth of the
// triangles. That is most of a stroke's cost: a rasteriser sets up and
// walks every triangle, and a stroke of the default size has under two
// pixels for each of the sphere's.
namespace {

constexpr int kSlices = 10;
constexpr int kStacks = 10;
// The float pi GLUT works with.
constexpr float kPiFloat = static_cast<float>(M_PI);

struct Outline {
  float radius = 0.0f;
  bool made = false;
  float unit[kSlices][3];  // the middle ring of radius 1, before scaling
  float vertex[kSlices][3];

  Outline() {
    // GLUT's tables, as far as the middle ring needs them: stack
    // kStacks / 2 of the half circle, every slice of the whole one.
    const float step1 = 2 * kPiFloat / static_cast<float>(-kSlices);
    const float step2 = 1 * kPiFloat / static_cast<float>(kStacks);
    const float middle = step2 * static_cast<float>(kStacks / 2);
    const float sin2 = static_cast<float>(std::sin(static_cast<double>(middle)));
    const float cos2 = static_cast<float>(std::cos(static_cast<double>(middle)));
    for (int j = 0; j < kSlices; ++j) {
      float sin1 = 0.0f, cos1 = 1.0f;
      if (j > 0) {
        sin1 = static_cast<float>(std::sin(static_cast<double>(step1 * static_cast<float>(j))));
        cos1 = static_cast<float>(std::cos(static_cast<double>(step1 * static_cast<float>(j))));
      }
      unit[j][0] = cos1 * sin2;
      unit[j][1] = sin1 * sin2;
      unit[j][2] = cos2;
    }
  }

  // The ring for radius r, each coordinate in float as GLUT forms it.
  void size(float r) {
    if (made && std::memcmp(&r, &radius, sizeof r) == 0) return;
    for (int v = 0; v < kSlices; ++v)
      for (int c = 0; c < 3; ++c) vertex[v][c] = unit[v][c] * r;
    radius = r;
    made = true;
  }
};

Outline& outline() {
  static Outline o;
  return o;
}

}  // namespace

void draw_circle_sphere(float s) {
  Outline& ring = outline();
  ring.size(s);
  // One fan, (0, j, j + 1) for each j: given vertex by vertex, it leaves no
  // array state to set up and take down again at every stroke.
  glBegin(GL_TRIANGLE_FAN);
  for (int j = 0; j < kSlices; ++j) glVertex3fv(ring.vertex[j]);
  glEnd();
}
