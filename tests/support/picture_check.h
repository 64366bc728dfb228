// Checks of paintings (saved or shown) against the picture they were
// painted from.
#pragma once

#include <string>
#include <vector>

#include "tests/support/rgb_image.h"

// The picture file stretched to width x height, as ImageMagick resamples
// it (close to, not the same as, what the program's capture gives).
RgbImage picture_at_size(const std::string& picture, int width, int height,
                         const std::string& scratch_dir);

// A canvas region in canvas pixels from the top-left corner, as the window
// shows it and the drags go.
struct CanvasRegion {
  int x0, y0, x1, y1;  // inclusive-exclusive
  bool contains(int x, int y) const { return x >= x0 && x < x1 && y >= y0 && y < y1; }
};

// Whether every painted (not white) pixel of the canvas inside the region
// has a colour within `tolerance` (per channel) of some picture pixel
// within `radius` of it; black counts as painted from the picture when
// `black_outlines` (the Blocks brush outlines in black). *why tells the
// first pixel that fails. Also counts the painted pixels looked at.
bool painted_from_picture(const RgbImage& canvas, const RgbImage& picture,
                          const CanvasRegion& region, int radius, int tolerance,
                          bool black_outlines, int* painted, std::string* why);

// Painted (not white) pixels of the canvas outside every region.
int painted_outside(const RgbImage& canvas, const std::vector<CanvasRegion>& regions);
