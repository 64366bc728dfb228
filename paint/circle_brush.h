// The Circles brush's shape: GLUT's solid sphere of radius s with 10
// slices and 10 stacks (glutSolidSphere(s, 10, 10)) as the brush shows it,
// pressed flat, which is its outline: the sphere's widest ring, drawn from
// the same floats as GLUT's vertices, made once for the current size, as
// one fan of eight triangles. GLUT's own call works out its sine tables
// and vertex arrays, allocating them, for every stroke, and issues one draw
// call per stack, some 180 triangles a stroke in all; the outline covers
// the same pixels (see circle_brush.cpp).
#pragma once

// Draws the sphere of radius s pressed flat, as glutSolidSphere(s, 10, 10)
// draws in a frame that scales z by 0, without normals (the brush draws
// unlit). In any other frame it is only the outline. Vertex by vertex, it
// touches no array state (GLUT's call turns its arrays off again).
void draw_circle_sphere(float s);
