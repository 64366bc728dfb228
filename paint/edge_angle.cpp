#include "paint/edge_angle.h"

#include <algorithm>
#include <cmath>

// The angle of a stroke at (x, y) is, with h the window half-width,
//
//   over rows    r = y - h, y - h + 2, ... while r < y + h   (outer loop)
//   and columns  c = x - h, x - h + 2, ... while c < x + h   (inner loop)
//   for each edge pixel (c, r) of the field, with dx = c - x, dy = r - y:
//     w     = 1 / (dx^2 + dy^2)             Reciprocal
//             exp(-sqrt(dx^2 + dy^2))       Exponential (sqrt, exp kept as float)
//     sum   = float(sum + angle * w * 180 / 3.14159)     (in double)
//     total = total + w                                  (in float)
//   angle = sum / total, or 0 when total is 0.
//
// The grid starts h pixels left of and below the point and stops at h - 2
// on the other side: it has h rows and h columns, all offsets of h's parity.
// Radians become degrees with 180 / 3.14159 rather than pi, so a gradient
// straight up gives 90.00008 degrees, not 90. The mean is of plain degree
// values: 170 and -170 average to 0, not 180.
//
// Every float of that loop is reproduced in the same order: the sums are
// rounded after every sample, so the order of the samples is part of the
// result. What is saved is the work that leads to no addition: the field
// keeps only the edge pixels, per row and column parity, sorted by column,
// so a row of the grid is a binary search and a walk over its edge pixels;
// each edge pixel's atan2 is taken once per capture instead of once per
// stroke; and under the Exponential falloff the samples whose weight is 0
// in float (dx^2 + dy^2 >= 10811) are left out, since they add exactly 0 to
// both sums.

namespace {

constexpr double kDegreesPerRadian180 = 180;  // times this, then
constexpr double kPiApprox = 3.14159;         // divided by this (not pi)

// Weight at squared distance d2 under the Exponential falloff.
float exponential_weight(float d2) {
  const float d = static_cast<float>(std::sqrt(static_cast<double>(d2)));
  return static_cast<float>(std::exp(-static_cast<double>(d)));
}

// Exponential weights by integer squared distance, up to the first one that
// is 0 in float; every farther one is 0 as well.
struct ExponentialTable {
  // Far past the last non-zero weight: sqrt(16384) = 128 and exp(-128) is
  // about 2.6e-56, far below half the smallest float (7e-46), so every
  // squared distance from here on has weight 0 too.
  static constexpr int kChecked = 16384;
  std::vector<float> weight;  // weight[n], n < zero_from
  long long zero_from = 0;    // first squared distance of weight 0

  ExponentialTable() {
    for (int n = 0; n < kChecked; ++n) {
      const float w = exponential_weight(static_cast<float>(n));
      if (w != 0.0f) zero_from = n + 1;
      weight.push_back(w);
    }
    weight.resize(static_cast<std::size_t>(zero_from));
  }
};

const ExponentialTable& exponential_table() {
  static const ExponentialTable table;
  return table;
}

// Largest d >= 0 with d * d < limit (limit >= 1).
long long floor_sqrt_below(long long limit) {
  long long d = static_cast<long long>(std::sqrt(static_cast<double>(limit)));
  while (d > 0 && d * d >= limit) --d;
  while ((d + 1) * (d + 1) < limit) ++d;
  return d;
}

// First value >= lo in the progression start, start + 2, ...
long long first_on_grid(long long start, long long lo) {
  if (start >= lo) return start;
  return start + ((lo - start + 1) / 2) * 2;
}

inline float degrees(float angle) {
  return static_cast<float>(static_cast<double>(angle) * kDegreesPerRadian180 / kPiApprox);
}

}  // namespace

int edge_window_half_width(int canvas_width) {
  if (canvas_width <= 0) return 0;
  return static_cast<int>(0.3 * static_cast<double>(canvas_width));
}

void EdgeAngleField::reset(const float* grad_x, const float* grad_y,
                           const unsigned char* edge_mask, int width, int height) {
  width_ = 0;
  height_ = 0;
  edges_.clear();
  starts_.clear();
  if (!grad_x || !grad_y || !edge_mask || width <= 0 || height <= 0) return;

  const std::size_t w = static_cast<std::size_t>(width);
  const std::size_t cells = w * static_cast<std::size_t>(height);
  std::size_t count = 0;
  for (std::size_t i = 0; i < cells; ++i) count += edge_mask[i] != 0;
  edges_.reserve(count);
  starts_.resize(2 * static_cast<std::size_t>(height) + 1);

  std::vector<Edge> odd;  // one row's odd columns, appended after its even ones
  for (int r = 0; r < height; ++r) {
    const std::size_t row = w * static_cast<std::size_t>(r);
    starts_[2 * static_cast<std::size_t>(r)] = edges_.size();
    odd.clear();
    for (int c = 0; c < width; ++c) {
      const std::size_t i = row + static_cast<std::size_t>(c);
      if (edge_mask[i] == 0) continue;
      const float a = static_cast<float>(
          std::atan2(static_cast<double>(grad_y[i]), static_cast<double>(grad_x[i])));
      // A gradient that is not a number has no direction; such a pixel
      // would make every angle around it NaN, so it takes no part.
      if (std::isnan(a)) continue;
      (c & 1 ? odd : edges_).push_back(Edge{c, a});
    }
    starts_[2 * static_cast<std::size_t>(r) + 1] = edges_.size();
    edges_.insert(edges_.end(), odd.begin(), odd.end());
  }
  starts_[2 * static_cast<std::size_t>(height)] = edges_.size();
  width_ = width;
  height_ = height;
}

const EdgeAngleField::Edge* EdgeAngleField::list_begin(long long row, int parity) const {
  return edges_.data() + starts_[2 * static_cast<std::size_t>(row) + parity];
}

const EdgeAngleField::Edge* EdgeAngleField::list_end(long long row, int parity) const {
  return edges_.data() + starts_[2 * static_cast<std::size_t>(row) + parity + 1];
}

float EdgeAngleField::angle_degrees(int canvas_width, int x, int y, int falloff_type) const {
  const int h = edge_window_half_width(canvas_width);
  if (h <= 0 || edges_.empty()) return 0.0f;
  const bool exponential = falloff_type == 1;
  const long long px = x, py = y;

  // Reciprocal weight of the point itself (offset (0, 0), on the grid when
  // h is even) is 1 / 0: infinitely near, it outweighs every other sample,
  // so the angle is that pixel's own, in degrees. Left as 1 / 0 it would
  // turn both sums infinite (or NaN for an angle of 0) and the mean NaN.
  if (!exponential && h % 2 == 0 && px >= 0 && px < width_ && py >= 0 && py < height_) {
    const int parity = static_cast<int>(px & 1);
    const Edge* end = list_end(py, parity);
    const Edge* e = std::lower_bound(list_begin(py, parity), end, px,
                                     [](const Edge& a, long long c) { return a.column < c; });
    if (e != end && e->column == px) return degrees(e->angle);
  }

  // Grid rows and columns, clipped to the field: [lo, hi) on the grid.
  long long row_lo = first_on_grid(py - h, 0);
  long long row_hi = std::min<long long>(py + h, height_);
  const long long col_lo = std::max<long long>(px - h, 0);
  const long long col_hi = std::min<long long>(px + h, width_);
  const int parity = static_cast<int>((px - h) & 1);  // every grid column has it

  const ExponentialTable* table = exponential ? &exponential_table() : nullptr;
  long long reach = 0;  // Exponential: largest |offset| of non-zero weight
  if (table) {
    if (table->zero_from == 0) return 0.0f;
    reach = floor_sqrt_below(table->zero_from);
    row_lo = first_on_grid(row_lo, py - reach);
    row_hi = std::min(row_hi, py + reach + 1);
  }

  float sum = 0.0f;    // weighted degrees
  float total = 0.0f;  // weights
  for (long long r = row_lo; r < row_hi; r += 2) {
    const long long dy = r - py;
    long long lo = col_lo, hi = col_hi;
    if (table) {
      const long long across = floor_sqrt_below(table->zero_from - dy * dy);
      lo = std::max(lo, px - across);
      hi = std::min(hi, px + across + 1);
    }
    if (lo >= hi) continue;
    const Edge* end = list_end(r, parity);
    const Edge* e = std::lower_bound(list_begin(r, parity), end, lo,
                                     [](const Edge& a, long long c) { return a.column < c; });
    if (table) {
      const long long dy2 = dy * dy;
      for (; e != end && e->column < hi; ++e) {
        const long long dx = e->column - px;
        const float wgt = table->weight[static_cast<std::size_t>(dx * dx + dy2)];
        sum = static_cast<float>(static_cast<double>(sum) + static_cast<double>(e->angle) *
                                                               static_cast<double>(wgt) *
                                                               kDegreesPerRadian180 / kPiApprox);
        total = total + wgt;
      }
    } else {
      const float fdy = static_cast<float>(dy);
      const float dy2 = fdy * fdy;
      for (; e != end && e->column < hi; ++e) {
        const float fdx = static_cast<float>(e->column - px);
        const float wgt = 1.0f / (fdx * fdx + dy2);
        sum = static_cast<float>(static_cast<double>(sum) + static_cast<double>(e->angle) *
                                                               static_cast<double>(wgt) *
                                                               kDegreesPerRadian180 / kPiApprox);
        total = total + wgt;
      }
    }
  }
  return total > 0.0f ? sum / total : 0.0f;
}
