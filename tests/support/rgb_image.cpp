#include "tests/support/rgb_image.h"

#include <algorithm>
#include <cstddef>
#include <fstream>

#include "tests/support/test_files.h"

std::ostream& operator<<(std::ostream& os, const Rgb& c) {
  return os << "(" << int(c.r) << ", " << int(c.g) << ", " << int(c.b) << ")";
}

Rgb RgbImage::at(int x, int y) const {
  if (x < 0 || y < 0 || x >= width || y >= height) return Rgb{};
  const unsigned char* p = &rgb[(static_cast<std::size_t>(y) * width + x) * 3];
  return Rgb{p[0], p[1], p[2]};
}

RgbImage read_ppm(const std::string& path) {
  RgbImage img;
  std::ifstream in(path, std::ios::binary);
  std::string magic;
  int max = 0;
  in >> magic >> img.width >> img.height >> max;
  in.get();
  if (magic != "P6" || max != 255 || img.width <= 0 || img.height <= 0) return {};
  img.rgb.resize(3 * static_cast<std::size_t>(img.width) * img.height);
  in.read(reinterpret_cast<char*>(img.rgb.data()), static_cast<std::streamsize>(img.rgb.size()));
  if (!in) return {};
  return img;
}

std::string ppm_bytes(const RgbImage& image) {
  std::string data =
      "P6\n" + std::to_string(image.width) + " " + std::to_string(image.height) + "\n255\n";
  data.append(image.rgb.begin(), image.rgb.end());
  return data;
}

bool write_ppm(const std::string& path, const RgbImage& image) {
  return write_file(path, ppm_bytes(image));
}

bool is_white(const Rgb& c) { return c.r == 255 && c.g == 255 && c.b == 255; }
bool is_black(const Rgb& c) { return c.r == 0 && c.g == 0 && c.b == 0; }

namespace {

template <typename Test>
int count_pixels(const RgbImage& image, int x0, int y0, int x1, int y1, Test test) {
  int n = 0;
  for (int y = std::max(y0, 0); y < std::min(y1, image.height); ++y)
    for (int x = std::max(x0, 0); x < std::min(x1, image.width); ++x) n += test(image.at(x, y));
  return n;
}

}  // namespace

int non_white_pixels(const RgbImage& image, int x0, int y0, int x1, int y1) {
  return count_pixels(image, x0, y0, x1, y1, [](Rgb c) { return !is_white(c); });
}

int non_white_pixels(const RgbImage& image) {
  return non_white_pixels(image, 0, 0, image.width, image.height);
}

int black_pixels(const RgbImage& image, int x0, int y0, int x1, int y1) {
  return count_pixels(image, x0, y0, x1, y1, is_black);
}
