// Luminance gradients and the edge mask of a captured picture, as a plain
// function over plain arrays (no OpenGL, no globals), so that the capture
// can hand it the read-back pixels and tests can check every float.
#pragma once

// Fills grad_x, grad_y and edge_mask from the pixels in rgb.
//
// Layout of every array: rows back to back with no padding, row 0 at the
// bottom, the cell of pixel (x, y) at index x + y * width. rgb holds
// 3 * width * height bytes R, G, B; the three outputs width * height cells
// each. The outputs must not overlap rgb or each other.
//
//   luminance = 0.59 G + 0.3 R + 0.11 B   (0 ... 255, summed in double in
//                                          that order, kept as a float)
//   grad_x    = luminance - luminance of the left neighbour  (0 in column 0)
//   grad_y    = luminance - luminance of the pixel below     (0 in row 0)
//   edge_mask = 1 where sqrt(grad_y^2 + grad_x^2) > threshold, else 0
//
// Every stored float is rounded exactly as if each step were done in double
// precision and rounded to float. A width or height of 0 (or less) writes
// nothing.
void compute_edge_map_arrays(const unsigned char* rgb, int width, int height, float threshold,
                             float* grad_x, float* grad_y, unsigned char* edge_mask);

namespace edge_map_detail {
// The same computation without vector instructions: what runs on machines
// without AVX2. Exposed so that tests hold both paths to the same bits.
void compute_edge_map_arrays_portable(const unsigned char* rgb, int width, int height,
                                      float threshold, float* grad_x, float* grad_y,
                                      unsigned char* edge_mask);
}  // namespace edge_map_detail
