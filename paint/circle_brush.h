// The Circles brush's shape: GLUT's solid sphere of radius s with 10
// slices and 10 stacks (glutSolidSphere(s, 10, 10)), its vertices made once
// for the current size and drawn with one call. GLUT's own call works out
// its sine tables and vertex arrays, allocating them, for every stroke and
// issues one draw call per stack (a triangle strip); this draws the same
// vertices in the same triangles, in the strips' order and with the
// corners in the order the strips give them, so the pixels are GLUT's.
#pragma once

// Draws the sphere of radius s in the current frame, as glutSolidSphere(s,
// 10, 10) does, without its normals (the brush draws unlit). Leaves the
// vertex array off (unless it was on) and no array bound, as GLUT's call
// does.
void draw_circle_sphere(float s);
