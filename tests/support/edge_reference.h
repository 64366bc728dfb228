// Straightforward versions of the edge map and the edge-following angle,
// written step by step in double precision with every stored value rounded
// to float, exactly as the program describes the arithmetic. The shipped
// code is faster and must give the same bits; tests and benchmarks compare
// against these. Header-only so that the benchmarks can use it too.
#pragma once

#include <cmath>
#include <cstddef>
#include <vector>

namespace reference {

// Four passes over the whole picture: luminance, horizontal differences,
// vertical differences, mask.
inline void edge_map(const unsigned char* rgb, int w, int h, float threshold, float* grad_x,
                     float* grad_y, unsigned char* edge_mask) {
  if (w <= 0 || h <= 0) return;
  const std::size_t W = static_cast<std::size_t>(w);
  const std::size_t n = W * static_cast<std::size_t>(h);
  std::vector<float> lum(n);
  for (std::size_t i = 0; i < n; ++i) {
    const double r = rgb[3 * i + 0], g = rgb[3 * i + 1], b = rgb[3 * i + 2];
    const double green = 0.59 * g;
    const double red = 0.3 * r;
    const double blue = 0.11 * b;
    double sum = green + red;
    sum = sum + blue;
    lum[i] = static_cast<float>(sum);
  }
  for (std::size_t y = 0; y < static_cast<std::size_t>(h); ++y) {
    grad_x[y * W] = 0.0f;
    for (std::size_t x = 1; x < W; ++x) {
      const std::size_t i = x + y * W;
      grad_x[i] = static_cast<float>(static_cast<double>(lum[i]) - static_cast<double>(lum[i - 1]));
    }
  }
  for (std::size_t x = 0; x < W; ++x) grad_y[x] = 0.0f;
  for (std::size_t y = 1; y < static_cast<std::size_t>(h); ++y) {
    for (std::size_t x = 0; x < W; ++x) {
      const std::size_t i = x + y * W;
      grad_y[i] = static_cast<float>(static_cast<double>(lum[i]) - static_cast<double>(lum[i - W]));
    }
  }
  for (std::size_t i = 0; i < n; ++i) {
    const double gx = grad_x[i], gy = grad_y[i];
    const float a = static_cast<float>(gx * gx);
    const float b = static_cast<float>(gy * gy);
    const float s = static_cast<float>(static_cast<double>(b) + static_cast<double>(a));
    const float m = static_cast<float>(std::sqrt(static_cast<double>(s)));
    edge_mask[i] = m > threshold ? 1 : 0;
  }
}

// The angle of one stroke: every grid sample in turn, nothing skipped
// early. The one addition to the plain loop is the rule for the sample at
// the point itself under the reciprocal falloff (weight 1/0): the point's
// own edge pixel decides the angle alone.
inline float edge_angle(const float* grad_x, const float* grad_y, const unsigned char* edge_mask,
                        int field_w, int field_h, int canvas_width, int x, int y,
                        int falloff_type) {
  const int h = static_cast<int>(0.3 * static_cast<double>(canvas_width));
  float sum = 0.0f;
  float total = 0.0f;
  for (long long r = static_cast<long long>(y) - h; r < static_cast<long long>(y) + h; r += 2) {
    for (long long c = static_cast<long long>(x) - h; c < static_cast<long long>(x) + h; c += 2) {
      if (r < 0 || r >= field_h || c < 0 || c >= field_w) continue;
      const std::size_t i = static_cast<std::size_t>(c + r * field_w);
      if (edge_mask[i] == 0) continue;
      const long long dx = c - x, dy = r - y;
      const float dx2 = static_cast<float>(dx) * static_cast<float>(dx);
      const float dy2 = static_cast<float>(dy) * static_cast<float>(dy);
      const float d2 = dx2 + dy2;
      const float a = static_cast<float>(
          std::atan2(static_cast<double>(grad_y[i]), static_cast<double>(grad_x[i])));
      float w;
      if (falloff_type == 1) {
        const float d = static_cast<float>(std::sqrt(static_cast<double>(d2)));
        w = static_cast<float>(std::exp(-static_cast<double>(d)));
      } else {
        if (d2 == 0.0f) return static_cast<float>(static_cast<double>(a) * 180 / 3.14159);
        w = 1.0f / d2;
      }
      sum = static_cast<float>(static_cast<double>(sum) +
                               static_cast<double>(a) * static_cast<double>(w) * 180 / 3.14159);
      total = total + w;
    }
  }
  return total > 0.0f ? sum / total : 0.0f;
}

}  // namespace reference
