// The source image: the picture the strokes take their colours from.
// load_image reads the picture named in the panel into a texture;
// capture_source_image draws it stretched over the canvas, reads it back
// into source_rgb, derives the gradients and edge mask, and blanks the
// canvas again, so the picture shows only through strokes.
//
// The arrays are row-major with row 0 at the bottom of the canvas, rows
// back to back, the cell of canvas pixel (x, y) at x + y * source_width.
// They have the canvas size of the last capture (source_width x
// source_height), which differs from the current canvas after a reshape
// with no picture loaded: readers stay inside source_width x source_height.
#pragma once

#include <cstdint>

class EdgeAngleField;

extern uint32_t image_texture;           // GL texture of the loaded picture; 0 = none
extern unsigned char* source_rgb;        // 3 bytes a pixel: R, G, B; null before the first capture
extern float* grad_x;                    // luminance minus that of the left neighbour
extern float* grad_y;                    // luminance minus that of the pixel below
extern unsigned char* edge_mask;         // 1 on edge pixels, else 0
extern int source_width, source_height;  // canvas size at the last capture
// The gradients and edge mask of the last capture, ready for the
// edge-following stroke angle.
extern EdgeAngleField source_edges;

// Load Image: the Image Filename field's text, as typed, then a capture.
void load_image();

// Draws the picture over the canvas's back buffer and reads it back (see
// above). Leaves both canvas buffers white, the front one selected for
// drawing, the current colour white and texturing off. Needs the main
// window current. When the arrays cannot be allocated it reports so and
// leaves no source image.
void capture_source_image();

// Fills grad_x, grad_y and a new edge_mask from source_rgb, with the
// Gradient Threshold spinner's value.
void compute_edge_map();
