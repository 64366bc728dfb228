#include "paint/circle_brush.h"

#include <GL/gl.h>
#include <GL/glext.h>

#include <cmath>
#include <cstring>

// GLUT (freeglut 3) builds its sphere from two tables of sines and cosines
// in float: a whole circle of `slices` steps of -2 pi / slices (the sign
// sets the winding) and a half circle of `stacks` steps of pi / stacks,
// each step's angle formed in float and its sine and cosine taken in
// double, then rounded to float. A vertex of stack i, slice j is (cos1[j]
// sin2[i], sin1[j] sin2[i], cos2[i]) times the radius, each product in
// float; the poles are (0, 0, +-radius). Every stack is one triangle strip
// that runs round the slices and closes on its first pair. The same floats
// in the same strips give the same pixels.

namespace {

constexpr int kSlices = 10;
constexpr int kStacks = 10;
constexpr int kVertices = kSlices * (kStacks - 1) + 2;
constexpr int kStripLength = (kSlices + 1) * 2;
constexpr int kStripTriangles = kStripLength - 2;
constexpr int kTriangleIndices = kStacks * kStripTriangles * 3;
// The float pi GLUT works with.
constexpr float kPiFloat = static_cast<float>(M_PI);

struct Sphere {
  float radius = 0.0f;
  bool made = false;
  float unit[kVertices][3];  // the vertices of radius 1, before scaling
  float vertex[kVertices][3];
  GLushort strip[kStacks][kStripLength];
  // The strips' triangles, strip by strip in their order, each with its
  // corners in the order the strip gives them: triangle t of a strip is
  // (t, t + 1, t + 2) for even t and (t + 1, t, t + 2) for odd t, so that
  // all keep one winding. Degenerate ones (two corners at a pole) are kept:
  // they cover nothing, as in the strip.
  GLushort triangles[kTriangleIndices];

  Sphere() {
    float sin1[kSlices + 1], cos1[kSlices + 1], sin2[kStacks + 1], cos2[kStacks + 1];
    const float step1 = 2 * kPiFloat / static_cast<float>(-kSlices);
    const float step2 = 1 * kPiFloat / static_cast<float>(kStacks);
    sin1[0] = sin2[0] = 0.0f;
    cos1[0] = cos2[0] = 1.0f;
    for (int i = 1; i < kSlices; ++i) {
      sin1[i] = static_cast<float>(std::sin(static_cast<double>(step1 * static_cast<float>(i))));
      cos1[i] = static_cast<float>(std::cos(static_cast<double>(step1 * static_cast<float>(i))));
    }
    sin1[kSlices] = sin1[0];
    cos1[kSlices] = cos1[0];
    for (int i = 1; i < kStacks; ++i) {
      sin2[i] = static_cast<float>(std::sin(static_cast<double>(step2 * static_cast<float>(i))));
      cos2[i] = static_cast<float>(std::cos(static_cast<double>(step2 * static_cast<float>(i))));
    }
    sin2[kStacks] = 0.0f;
    cos2[kStacks] = -1.0f;

    // Vertex 0 the top pole, then stacks 1 ... kStacks - 1 of kSlices
    // each, the bottom pole last.
    int v = 0;
    set_unit(v++, 0.0f, 0.0f, 1.0f);
    for (int i = 1; i < kStacks; ++i)
      for (int j = 0; j < kSlices; ++j)
        set_unit(v++, cos1[j] * sin2[i], sin1[j] * sin2[i], cos2[i]);
    set_unit(v, 0.0f, 0.0f, -1.0f);

    // Strips: the top one pairs each first-stack vertex with the top
    // pole, the middle ones a vertex of the stack below with its own, the
    // bottom one the bottom pole with each last-stack vertex.
    const GLushort bottom = kVertices - 1;
    for (int j = 0; j <= kSlices; ++j) {
      const int slice = j % kSlices;  // the last pair repeats the first
      strip[0][2 * j] = static_cast<GLushort>(1 + slice);
      strip[0][2 * j + 1] = 0;
      for (int i = 0; i < kStacks - 2; ++i) {
        const int first = 1 + i * kSlices;
        strip[1 + i][2 * j] = static_cast<GLushort>(first + slice + kSlices);
        strip[1 + i][2 * j + 1] = static_cast<GLushort>(first + slice);
      }
      strip[kStacks - 1][2 * j] = bottom;
      strip[kStacks - 1][2 * j + 1] = static_cast<GLushort>(1 + (kStacks - 2) * kSlices + slice);
    }
    int k = 0;
    for (int i = 0; i < kStacks; ++i)
      for (int t = 0; t < kStripTriangles; ++t) {
        const int odd = t & 1;
        triangles[k++] = strip[i][t + odd];
        triangles[k++] = strip[i][t + 1 - odd];
        triangles[k++] = strip[i][t + 2];
      }
  }

  void set_unit(int v, float x, float y, float z) {
    unit[v][0] = x;
    unit[v][1] = y;
    unit[v][2] = z;
  }

  // The vertices for radius r; the poles are +-r itself, as 1 * r is.
  void size(float r) {
    if (made && std::memcmp(&r, &radius, sizeof r) == 0) return;
    for (int v = 0; v < kVertices; ++v)
      for (int c = 0; c < 3; ++c) vertex[v][c] = unit[v][c] * r;
    radius = r;
    made = true;
  }
};

Sphere& sphere() {
  static Sphere s;
  return s;
}

}  // namespace

void draw_circle_sphere(float s) {
  Sphere& sphere_of = sphere();
  sphere_of.size(s);
  const GLboolean was_on = glIsEnabled(GL_VERTEX_ARRAY);
  glEnableClientState(GL_VERTEX_ARRAY);
  glVertexPointer(3, GL_FLOAT, 0, sphere_of.vertex);
  // The index range given, so that the driver need not look for it.
  glDrawRangeElements(GL_TRIANGLES, 0, kVertices - 1, kTriangleIndices, GL_UNSIGNED_SHORT,
                      sphere_of.triangles);
  if (!was_on) glDisableClientState(GL_VERTEX_ARRAY);
}
