// The tests' one picture type: a picture file, a screenshot and a saved
// canvas read back all arrive as an RgbImage, so any of them can be
// compared with any other pixel for pixel, and written out to be looked at.
#pragma once

#include <ostream>
#include <string>
#include <vector>

struct Rgb {
  unsigned char r = 0, g = 0, b = 0;
  bool operator==(const Rgb& o) const { return r == o.r && g == o.g && b == o.b; }
  bool operator!=(const Rgb& o) const { return !(*this == o); }
};
std::ostream& operator<<(std::ostream& os, const Rgb& c);

// width * height pixels as R, G, B bytes, top row first, as the picture is
// seen (a saved canvas read back is turned upright).
struct RgbImage {
  int width = 0, height = 0;
  std::vector<unsigned char> rgb;
  // x, y from the top-left corner; black outside the picture.
  Rgb at(int x, int y) const;
};

// A binary PPM (P6, maximum 255). read_ppm gives an empty image when the
// file cannot be read or is not such a file; write_ppm returns false when
// it cannot write; ppm_bytes is what write_ppm writes.
RgbImage read_ppm(const std::string& path);
bool write_ppm(const std::string& path, const RgbImage& image);
std::string ppm_bytes(const RgbImage& image);

bool is_white(const Rgb& c);
bool is_black(const Rgb& c);
// Pixels that are not white (black) inside [x0, x1) x [y0, y1), clipped to
// the image, or in the whole image.
int non_white_pixels(const RgbImage& image, int x0, int y0, int x1, int y1);
int non_white_pixels(const RgbImage& image);
int black_pixels(const RgbImage& image, int x0, int y0, int x1, int y1);
