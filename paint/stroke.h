// One brush stroke at a window point (x, y: pixels, y down), in the colour
// of the source pixel under it, drawn into the canvas's back buffer with
// the brush chosen in the panel. Points off the canvas, or outside the
// last capture, draw nothing.
//
// Expects the canvas projection of display_cb and the identity modelview.
// Leaves behind: the back buffer selected for drawing; the depth test as
// "Small Strokes On Top" says; the current colour of the stroke (black
// after Blocks); the line width of the last line brush; the OBJ File
// brush's light values (with lighting off). The modelview is restored.
#pragma once

void paint_stroke(int x, int y);

// One motion's burst: the strokes that scatter_burst (paint/scatter.h)
// places around window point (x, y), painted as paint_stroke paints each,
// in the same order and to the same pixels. The points are all drawn from
// the random source first (drawing uses none), so that with Follow Edges on
// the burst's angles are worked out together; the Circles brush draws its
// sphere from vertices made once per size (paint/circle_brush.h).
void paint_burst(int x, int y, int count, int radius);

// Turns the current (stroke's) modelview about z to follow the picture's
// edges around canvas point (x, y), y up: glRotatef(angle, 0, 0, 1).
void edge_stroke_angle(int x, int y);
