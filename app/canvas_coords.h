// From the window's pixels to the canvas's. GLUT counts window pixels down
// from the canvas's top edge; the canvas counts up from its bottom edge
// (app/state.h), one unit a pixel. Points and pixel rows flip differently:
// window row y is the row of pixels between canvas heights h - 1 - y and
// h - y (h the canvas height). The bottom-up arrays (the source image, a
// read-back) name a row by its lower edge, h - 1 - y; a point placed at the
// pointer (a stroke's origin, the light) goes to h - y, the row's upper
// edge. So a stroke stands one pixel above the row its colour comes from.
#pragma once

// The row, counted from the canvas's bottom, of the pixels at window y.
inline int canvas_row(int window_y, int canvas_height) { return canvas_height - 1 - window_y; }

// The canvas height of a point placed at window y.
inline int canvas_y(int window_y, int canvas_height) { return canvas_height - window_y; }
