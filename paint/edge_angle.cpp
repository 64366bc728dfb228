#include "paint/edge_angle.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define DAUB_EDGE_ANGLE_AVX2 1
#include <immintrin.h>
#endif

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
// so a row of the grid is a look-up in an index of 64-column blocks and a
// walk over its edge pixels;
// each edge pixel's atan2 is taken once per capture instead of once per
// stroke; and under the Exponential falloff the samples whose weight is 0
// in float (dx^2 + dy^2 >= 10811) are left out: they add +-0 to both sums,
// which changes neither (the angle sum starts at +0 and never becomes -0).

namespace {

// Radians to degrees: times 180, then divided by 3.14159 (not by pi).
constexpr double kHalfTurnDegrees = 180;
constexpr double kPiApprox = 3.14159;

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
  return static_cast<float>(static_cast<double>(angle) * kHalfTurnDegrees / kPiApprox);
}

// Number of non-zero bytes among n.
std::size_t count_non_zero(const unsigned char* p, std::size_t n) {
  std::size_t count = 0, i = 0;
  for (; i + 8 <= n; i += 8) {
    uint64_t v;
    std::memcpy(&v, p + i, sizeof v);
    if (v == 0) continue;
    // Fold each byte onto its lowest bit, then add the eight bits up.
    v |= v >> 4;
    v |= v >> 2;
    v |= v >> 1;
    v &= 0x0101010101010101ull;
    count += static_cast<std::size_t>((v * 0x0101010101010101ull) >> 56);
  }
  for (; i < n; ++i) count += p[i] != 0;
  return count;
}

// atan(k / 16) for k = 0 ... 16, from the C library.
struct ArctanTable {
  double value[17];
  ArctanTable() {
    for (int k = 0; k <= 16; ++k) value[k] = std::atan(k / 16.0);
  }
};

const ArctanTable& arctan_table() {
  static const ArctanTable table;
  return table;
}

constexpr double kPi = 3.14159265358979323846;

// The C library's angle, kept out of line so that the fast path stays small.
// A gradient along an axis (one component 0, the other a number) has the
// angle C's atan2 is bound to give it: +-0 or +-pi for a zero y, by the
// sign of x (of -0 too), and +-pi/2 for a zero x; these come without the
// library call, since edges along the axes are common.
__attribute__((noinline)) float library_angle(double x, double y) {
  if (y == 0.0 && !std::isnan(x))
    return static_cast<float>(std::copysign(std::signbit(x) ? kPi : 0.0, y));
  if (x == 0.0 && !std::isnan(y)) return static_cast<float>(std::copysign(kPi / 2, y));
  return static_cast<float>(std::atan2(y, x));
}

// Relative distance from our arctangent within which the library's value
// must lie: ours is good to 2^-46, the library's to 2^-52.
constexpr double kAngleMargin = 0x1p-36;

}  // namespace

namespace edge_angle_detail {

// The C library's atan2 costs about 35 ns, which on a capture whose every
// pixel is an edge (4K, threshold 0) would add a third of a second. This
// computes atan(t) for t = min / max of the magnitudes as atan(k / 16) plus
// a short series in u = (t - k/16) / (1 + t k/16), |u| <= 1/32, accurate to
// about 2^-46 of the result. The library's double atan2 is within an ulp or
// two (2^-52) of the true value, so when the whole interval of +-2^-36 of
// the result around our value rounds to one float, that float is the
// library's rounded result too. Otherwise (about one call in three thousand),
// and for zeros, infinities and NaN, the library decides.
float gradient_angle(float grad_x, float grad_y) {
  const double x = grad_x, y = grad_y;
  if (x == 0.0 || y == 0.0 || !std::isfinite(x) || !std::isfinite(y)) return library_angle(x, y);
  // Branch-free: the quadrant of a gradient is as good as random.
  const double ax = std::fabs(x), ay = std::fabs(y);
  const double t = std::min(ax, ay) / std::max(ax, ay);  // (0, 1]
  const int k = static_cast<int>(t * 16.0 + 0.5);        // nearest sixteenth, 0 ... 16
  const double c = k * (1.0 / 16);
  // t - c is exact (t lies within a factor 2 of c, or c is 0).
  const double u = (t - c) / (1.0 + t * c);
  const double u2 = u * u;
  const double series =
      u + u * u2 * (-1.0 / 3 + u2 * (1.0 / 5 + u2 * (-1.0 / 7 + u2 * (1.0 / 9 - u2 * (1.0 / 11)))));
  const double at = arctan_table().value[k] + series;  // atan(t), 0 ... pi/4
  // From atan(t) to the angle of (|x|, |y|) and of (x, |y|):
  //   |y| <= |x|, x > 0: at         |y| > |x|, x > 0: pi/2 - at
  //   |y| <= |x|, x < 0: pi - at    |y| > |x|, x < 0: pi/2 + at
  static constexpr double kBase[4] = {0.0, kPi / 2, kPi, kPi / 2};
  static constexpr double kSign[4] = {1.0, -1.0, -1.0, 1.0};
  const int quadrant = (ay > ax) + 2 * (x < 0);
  const double a = std::copysign(kBase[quadrant] + kSign[quadrant] * at, y);
  const double margin = std::fabs(a) * kAngleMargin;
  const float f = static_cast<float>(a);
  if (static_cast<float>(a - margin) != f || static_cast<float>(a + margin) != f)
    return library_angle(x, y);
  return f;
}

#ifdef DAUB_EDGE_ANGLE_AVX2

// Four lanes of gradient_angle: the same formula with vector operations
// (the same IEEE operations, no fused multiply-add), the same check, and
// the library for every lane that fails it.
__attribute__((target("avx2"))) static void gradient_angles4_avx2(const float* grad_x,
                                                                  const float* grad_y,
                                                                  float* angle) {
  const __m256d sign_bit = _mm256_set1_pd(-0.0);
  const __m256d x = _mm256_cvtps_pd(_mm_loadu_ps(grad_x));
  const __m256d y = _mm256_cvtps_pd(_mm_loadu_ps(grad_y));
  const __m256d ax = _mm256_andnot_pd(sign_bit, x);
  const __m256d ay = _mm256_andnot_pd(sign_bit, y);
  // Lanes the fast path takes: both components finite and not zero.
  const __m256d largest = _mm256_set1_pd(std::numeric_limits<double>::max());
  const __m256d zero = _mm256_setzero_pd();
  const __m256d usable = _mm256_and_pd(
      _mm256_and_pd(_mm256_cmp_pd(ax, zero, _CMP_GT_OQ), _mm256_cmp_pd(ax, largest, _CMP_LE_OQ)),
      _mm256_and_pd(_mm256_cmp_pd(ay, zero, _CMP_GT_OQ), _mm256_cmp_pd(ay, largest, _CMP_LE_OQ)));
  // Other lanes compute with t = 0 so that the table index stays in range.
  const __m256d t =
      _mm256_and_pd(_mm256_div_pd(_mm256_min_pd(ax, ay), _mm256_max_pd(ax, ay)), usable);
  const __m128i k = _mm256_cvttpd_epi32(
      _mm256_add_pd(_mm256_mul_pd(t, _mm256_set1_pd(16.0)), _mm256_set1_pd(0.5)));
  const __m256d c = _mm256_mul_pd(_mm256_cvtepi32_pd(k), _mm256_set1_pd(1.0 / 16));
  const __m256d u =
      _mm256_div_pd(_mm256_sub_pd(t, c), _mm256_add_pd(_mm256_set1_pd(1.0), _mm256_mul_pd(t, c)));
  const __m256d u2 = _mm256_mul_pd(u, u);
  __m256d p = _mm256_sub_pd(_mm256_set1_pd(1.0 / 9), _mm256_mul_pd(u2, _mm256_set1_pd(1.0 / 11)));
  p = _mm256_add_pd(_mm256_set1_pd(-1.0 / 7), _mm256_mul_pd(u2, p));
  p = _mm256_add_pd(_mm256_set1_pd(1.0 / 5), _mm256_mul_pd(u2, p));
  p = _mm256_add_pd(_mm256_set1_pd(-1.0 / 3), _mm256_mul_pd(u2, p));
  const __m256d series = _mm256_add_pd(u, _mm256_mul_pd(_mm256_mul_pd(u, u2), p));
  const __m256d all = _mm256_castsi256_pd(_mm256_set1_epi64x(-1));
  const __m256d at =
      _mm256_add_pd(_mm256_mask_i32gather_pd(zero, arctan_table().value, k, all, 8), series);
  const __m256d steep = _mm256_cmp_pd(ay, ax, _CMP_GT_OQ);
  const __m256d left = _mm256_cmp_pd(x, zero, _CMP_LT_OQ);
  // Base 0, pi/2, pi, pi/2 and sign +, -, -, + as in the scalar table.
  const __m256d base =
      _mm256_blendv_pd(_mm256_and_pd(left, _mm256_set1_pd(kPi)), _mm256_set1_pd(kPi / 2), steep);
  const __m256d flip = _mm256_and_pd(_mm256_xor_pd(steep, left), sign_bit);
  const __m256d r = _mm256_add_pd(base, _mm256_xor_pd(at, flip));
  const __m256d a = _mm256_or_pd(_mm256_andnot_pd(sign_bit, r), _mm256_and_pd(y, sign_bit));
  const __m256d margin = _mm256_mul_pd(_mm256_andnot_pd(sign_bit, a), _mm256_set1_pd(kAngleMargin));
  const __m128 same =
      _mm_and_ps(_mm_cmpeq_ps(_mm256_cvtpd_ps(_mm256_sub_pd(a, margin)), _mm256_cvtpd_ps(a)),
                 _mm_cmpeq_ps(_mm256_cvtpd_ps(_mm256_add_pd(a, margin)), _mm256_cvtpd_ps(a)));
  // Gradients along an axis, as library_angle gives them: for a zero y
  // (x a number) 0 or pi by the sign bit of x, for a zero x (y a number)
  // pi/2; either with the sign of y.
  const __m256d y_zero =
      _mm256_and_pd(_mm256_cmp_pd(ay, zero, _CMP_EQ_OQ), _mm256_cmp_pd(x, x, _CMP_ORD_Q));
  const __m256d x_zero =
      _mm256_and_pd(_mm256_cmp_pd(ax, zero, _CMP_EQ_OQ), _mm256_cmp_pd(y, y, _CMP_ORD_Q));
  const __m256d axis = _mm256_or_pd(y_zero, x_zero);
  const __m256d axis_angle = _mm256_blendv_pd(
      _mm256_set1_pd(kPi / 2), _mm256_blendv_pd(zero, _mm256_set1_pd(kPi), x), y_zero);
  const __m256d on_axis =
      _mm256_or_pd(_mm256_andnot_pd(sign_bit, axis_angle), _mm256_and_pd(y, sign_bit));
  _mm_storeu_ps(angle, _mm256_cvtpd_ps(_mm256_blendv_pd(a, on_axis, axis)));
  int bad =
      ~((_mm_movemask_ps(same) & _mm256_movemask_pd(usable)) | _mm256_movemask_pd(axis)) & 0xF;
  while (bad) {
    const int lane = __builtin_ctz(bad);
    angle[lane] = library_angle(grad_x[lane], grad_y[lane]);
    bad &= bad - 1;
  }
}

#endif  // DAUB_EDGE_ANGLE_AVX2

void gradient_angles(const float* grad_x, const float* grad_y, int n, float* angle) {
  int i = 0;
#ifdef DAUB_EDGE_ANGLE_AVX2
  static const bool avx2 = __builtin_cpu_supports("avx2");
  if (avx2)
    for (; i + 4 <= n; i += 4) gradient_angles4_avx2(grad_x + i, grad_y + i, angle + i);
#endif
  for (; i < n; ++i) angle[i] = gradient_angle(grad_x[i], grad_y[i]);
}

}  // namespace edge_angle_detail

int edge_window_half_width(int canvas_width) {
  if (canvas_width <= 0) return 0;
  return static_cast<int>(0.3 * static_cast<double>(canvas_width));
}

void EdgeAngleField::reset(const float* grad_x, const float* grad_y, const unsigned char* edge_mask,
                           int width, int height) {
  width_ = 0;
  height_ = 0;
  edges_.clear();
  edge_count_ = 0;
  starts_.clear();
  blocks_.clear();
  blocks_per_list_ = 0;
  if (!grad_x || !grad_y || !edge_mask || width <= 0 || height <= 0) return;

  const std::size_t w = static_cast<std::size_t>(width);
  const std::size_t cells = w * static_cast<std::size_t>(height);
  // Cells are written unconditionally and kept by advancing the cursor, so
  // both buffers have room for one word's worth more.
  edges_.resize(count_non_zero(edge_mask, cells) + 8);
  std::vector<Edge> odd(w / 2 + 8);  // one row's odd columns, appended after its even ones
  starts_.resize(2 * static_cast<std::size_t>(height) + 1);

  Edge* const first = edges_.data();
  Edge* even_out = first;
  float angles[8];
  for (int r = 0; r < height; ++r) {
    const std::size_t row = w * static_cast<std::size_t>(r);
    const unsigned char* m = edge_mask + row;
    const float* gx = grad_x + row;
    const float* gy = grad_y + row;
    Edge* odd_out = odd.data();
    // A gradient that is not a number has no direction; such a pixel would
    // make every angle around it NaN, so it takes no part.
    const auto keep = [&](int c, float a) {
      Edge*& out = c & 1 ? odd_out : even_out;
      *out = Edge{c, a};
      out += m[c] != 0 && !std::isnan(a);
    };
    starts_[2 * static_cast<std::size_t>(r)] = static_cast<std::size_t>(even_out - first);
    int c = 0;
    // Eight mask bytes at a time: most of a photograph is not edge, and
    // where it is, edges come in runs, so the eight angles are taken at once.
    for (; c + 8 <= width; c += 8) {
      uint64_t word;
      std::memcpy(&word, m + c, sizeof word);
      if (word == 0) continue;
      edge_angle_detail::gradient_angles(gx + c, gy + c, 8, angles);
      for (int k = 0; k < 8; ++k) keep(c + k, angles[k]);
    }
    for (; c < width; ++c)
      if (m[c]) keep(c, edge_angle_detail::gradient_angle(gx[c], gy[c]));
    starts_[2 * static_cast<std::size_t>(r) + 1] = static_cast<std::size_t>(even_out - first);
    const std::size_t odd_count = static_cast<std::size_t>(odd_out - odd.data());
    if (odd_count) std::memcpy(even_out, odd.data(), odd_count * sizeof(Edge));
    even_out += odd_count;
  }
  const std::size_t kept = static_cast<std::size_t>(even_out - first);
  starts_[2 * static_cast<std::size_t>(height)] = kept;
  // The block index: each list walked once.
  blocks_per_list_ = ((w - 1) >> kBlockShift) + 1;
  blocks_.resize(2 * static_cast<std::size_t>(height) * blocks_per_list_);
  for (std::size_t list = 0; list < 2 * static_cast<std::size_t>(height); ++list) {
    std::size_t e = starts_[list];
    const std::size_t end = starts_[list + 1];
    uint32_t* block = blocks_.data() + list * blocks_per_list_;
    for (std::size_t b = 0; b < blocks_per_list_; ++b) {
      const int32_t column = static_cast<int32_t>(b << kBlockShift);
      while (e < end && edges_[e].column < column) ++e;
      block[b] = static_cast<uint32_t>(e);
    }
  }
  edges_.resize(kept + kEdgePad);
  edge_count_ = kept;
  width_ = width;
  height_ = height;
}

const EdgeAngleField::Edge* EdgeAngleField::list_begin(long long row, int parity) const {
  return edges_.data() + starts_[2 * static_cast<std::size_t>(row) + parity];
}

const EdgeAngleField::Edge* EdgeAngleField::list_end(long long row, int parity) const {
  return edges_.data() + starts_[2 * static_cast<std::size_t>(row) + parity + 1];
}

const EdgeAngleField::Edge* EdgeAngleField::first_at_or_after(long long row, int parity,
                                                              long long column) const {
  const Edge* end = list_end(row, parity);
  if (column <= 0) return list_begin(row, parity);
  if (column >= width_) return end;
  const std::size_t list = 2 * static_cast<std::size_t>(row) + parity;
  const Edge* e =
      edges_.data() +
      blocks_[list * blocks_per_list_ + static_cast<std::size_t>(column >> kBlockShift)];
  while (e != end && e->column < column) ++e;  // within one block: at most 32 of a parity
  return e;
}

// The grid rows of one stroke's window that can hold taking-part edges, in
// grid order, and where the current one stands.
struct EdgeAngleField::Walk {
  long long px = 0, py = 0;
  long long row = 0, row_hi = 0;            // next grid row; rows stop before row_hi
  long long col_lo = 0, col_hi = 0;         // the window's columns, clipped to the field
  int parity = 0;                           // every grid column has it
  const ExponentialTable* table = nullptr;  // Exponential only
  long long dy2 = 0;                        // the current row's dy^2
  float dy2_float = 0.0f;                   // the same as Reciprocal forms it
};

bool EdgeAngleField::start_walk(int canvas_width, int x, int y, int falloff_type, Walk* walk,
                                float* own_angle) const {
  *own_angle = 0.0f;
  const int h = edge_window_half_width(canvas_width);
  if (h <= 0 || edge_count_ == 0) return false;
  const bool exponential = falloff_type == FALLOFF_EXPONENTIAL;
  const long long px = x, py = y;

  // Reciprocal weight of the point itself (offset (0, 0), on the grid when
  // h is even) is 1 / 0: infinitely near, it outweighs every other sample,
  // so the angle is that pixel's own, in degrees. Left as 1 / 0 it would
  // turn both sums infinite (or NaN for an angle of 0) and the mean NaN.
  if (!exponential && h % 2 == 0 && px >= 0 && px < width_ && py >= 0 && py < height_) {
    const int parity = static_cast<int>(px & 1);
    const Edge* e = first_at_or_after(py, parity, px);
    if (e != list_end(py, parity) && e->column == px) {
      *own_angle = degrees(e->angle);
      return false;
    }
  }

  // Grid rows and columns, clipped to the field: [lo, hi) on the grid.
  walk->px = px;
  walk->py = py;
  walk->row = first_on_grid(py - h, 0);
  walk->row_hi = std::min<long long>(py + h, height_);
  walk->col_lo = std::max<long long>(px - h, 0);
  walk->col_hi = std::min<long long>(px + h, width_);
  walk->parity = static_cast<int>((px - h) & 1);
  walk->table = nullptr;
  if (exponential) {
    const ExponentialTable& table = exponential_table();
    if (table.zero_from == 0) return false;
    // Exponential: no weight beyond `reach` in either direction.
    const long long reach = floor_sqrt_below(table.zero_from);
    walk->row = first_on_grid(walk->row, py - reach);
    walk->row_hi = std::min(walk->row_hi, py + reach + 1);
    walk->table = &table;
  }
  return true;
}

bool EdgeAngleField::next_row(Walk* walk, const Edge** begin, const Edge** end) const {
  for (; walk->row < walk->row_hi; walk->row += 2) {
    const long long r = walk->row;
    const long long dy = r - walk->py;
    long long lo = walk->col_lo, hi = walk->col_hi;
    if (walk->table) {
      const long long across = floor_sqrt_below(walk->table->zero_from - dy * dy);
      lo = std::max(lo, walk->px - across);
      hi = std::min(hi, walk->px + across + 1);
    }
    if (lo >= hi) continue;
    *begin = first_at_or_after(r, walk->parity, lo);
    *end = first_at_or_after(r, walk->parity, hi);
    if (*begin == *end) continue;
    walk->dy2 = dy * dy;
    const float fdy = static_cast<float>(dy);
    walk->dy2_float = fdy * fdy;
    walk->row += 2;
    return true;
  }
  return false;
}

float EdgeAngleField::angle_degrees(int canvas_width, int x, int y, int falloff_type) const {
  Walk walk;
  float own = 0.0f;
  if (!start_walk(canvas_width, x, y, falloff_type, &walk, &own)) return own;
  float sum = 0.0f;    // weighted degrees
  float total = 0.0f;  // weights
  const Edge* begin;
  const Edge* end;
  while (next_row(&walk, &begin, &end)) {
    for (const Edge* e = begin; e != end; ++e) {
      const long long dx = e->column - walk.px;
      float wgt;
      if (walk.table) {
        wgt = walk.table->weight[static_cast<std::size_t>(dx * dx + walk.dy2)];
      } else {
        const float fdx = static_cast<float>(dx);
        wgt = 1.0f / (fdx * fdx + walk.dy2_float);
      }
      // The product in double, in this order; the sum stored as a float.
      sum = static_cast<float>(static_cast<double>(sum) + static_cast<double>(e->angle) *
                                                              static_cast<double>(wgt) *
                                                              kHalfTurnDegrees / kPiApprox);
      total = total + wgt;
    }
  }
  return total > 0.0f ? sum / total : 0.0f;
}

// A burst's angles. Per stroke the work is a long chain: each sample's
// term is added to the float sum, which is rounded before the next one
// (convert to double, add, round to float): some ten cycles a sample of
// waiting, while the terms themselves could be formed many at a time. So
// a burst's strokes go side by side, up to kMaxLanes of them, each a lane:
// a slice of every lane's samples is taken at a time, their weights and
// terms formed (four at a time), and then the lanes' sums advance
// together, one sample of every lane a step. A lane with fewer samples
// adds +0 to both sums, which changes neither (the angle sum is never -0:
// it starts at +0, and x + -x is +0). The order of each lane's samples,
// every product and every rounding stay as in angle_degrees.

namespace {

constexpr int kGroupLanes = 4;  // lanes in one vector of sums
constexpr int kMaxGroups = 5;   // a burst of the default 20 strokes in one pass
constexpr int kMaxLanes = kGroupLanes * kMaxGroups;
constexpr int kSlice = 256;             // samples per lane per step
constexpr int kSliceRoom = kSlice + 4;  // whole vectors of 4 past the last

// The term a sample adds to the angle sum: in double, in this order.
inline double term_of(float angle, float weight) {
  return static_cast<double>(angle) * static_cast<double>(weight) * kHalfTurnDegrees / kPiApprox;
}

// `steps` steps (a multiple of 4) of `lanes` lanes' sums.
void accumulate(const double* const* term, const float* const* weight, int lanes, int steps,
                double* sum, float* total) {
  for (int i = 0; i < steps; ++i)
    for (int k = 0; k < lanes; ++k) {
      sum[k] = static_cast<float>(sum[k] + term[k][i]);
      total[k] = total[k] + weight[k][i];
    }
}

#ifdef DAUB_EDGE_ANGLE_AVX2

bool have_avx2() {
  static const bool avx2 = __builtin_cpu_supports("avx2");
  return avx2;
}

// edge_angle_detail::reciprocal_row four at a time: the same IEEE
// operations as the scalar form, in the same order (no fused
// multiply-add), four samples a step, the last step reading and writing
// past n. Returns the samples done (n rounded up to 4).
__attribute__((target("avx2"))) int reciprocal_row_avx2(const int32_t* edges, int n, int32_t px,
                                                        float dy2, float* weight, double* term) {
  const __m256i split = _mm256_setr_epi32(0, 2, 4, 6, 1, 3, 5, 7);  // columns, then angles
  const __m128i x = _mm_set1_epi32(px);
  const __m128 dy2v = _mm_set1_ps(dy2);
  const __m128 one = _mm_set1_ps(1.0f);
  const __m256d half_turn = _mm256_set1_pd(kHalfTurnDegrees);
  const __m256d pi_approx = _mm256_set1_pd(kPiApprox);
  int j = 0;
  for (; j < n; j += 4) {
    const __m256i pairs = _mm256_permutevar8x32_epi32(
        _mm256_loadu_si256(reinterpret_cast<const __m256i*>(edges + 2 * j)), split);
    const __m128 dx = _mm_cvtepi32_ps(_mm_sub_epi32(_mm256_castsi256_si128(pairs), x));
    const __m128 w = _mm_div_ps(one, _mm_add_ps(_mm_mul_ps(dx, dx), dy2v));
    const __m128 angle = _mm_castsi128_ps(_mm256_extracti128_si256(pairs, 1));
    _mm_storeu_ps(weight + j, w);
    const __m256d product = _mm256_mul_pd(_mm256_cvtps_pd(angle), _mm256_cvtps_pd(w));
    _mm256_storeu_pd(term + j, _mm256_div_pd(_mm256_mul_pd(product, half_turn), pi_approx));
  }
  return j;
}

// accumulate with each group of four lanes' sums in one vector (and their
// totals in one vector of four floats), four steps at a time: each lane's
// next four terms are loaded and turned so that a vector holds one step of
// four lanes. The groups' chains are independent, so they overlap.
template <int Groups>
__attribute__((target("avx2"))) void accumulate_avx2(const double* const* term,
                                                     const float* const* weight, int steps,
                                                     double* sum, float* total) {
  __m256d s[Groups];
  __m128 t[Groups];
  for (int g = 0; g < Groups; ++g) {
    s[g] = _mm256_loadu_pd(sum + 4 * g);
    t[g] = _mm_loadu_ps(total + 4 * g);
  }
  for (int i = 0; i < steps; i += 4) {
    __m256d c[Groups][4];
    for (int g = 0; g < Groups; ++g) {
      const double* const* p = term + 4 * g;
      const __m256d r0 = _mm256_loadu_pd(p[0] + i), r1 = _mm256_loadu_pd(p[1] + i);
      const __m256d r2 = _mm256_loadu_pd(p[2] + i), r3 = _mm256_loadu_pd(p[3] + i);
      const __m256d t0 = _mm256_unpacklo_pd(r0, r1), t1 = _mm256_unpackhi_pd(r0, r1);
      const __m256d t2 = _mm256_unpacklo_pd(r2, r3), t3 = _mm256_unpackhi_pd(r2, r3);
      c[g][0] = _mm256_permute2f128_pd(t0, t2, 0x20);
      c[g][1] = _mm256_permute2f128_pd(t1, t3, 0x20);
      c[g][2] = _mm256_permute2f128_pd(t0, t2, 0x31);
      c[g][3] = _mm256_permute2f128_pd(t1, t3, 0x31);
    }
    // Add, then round to float: the chain every sample waits on.
    for (int j = 0; j < 4; ++j)
      for (int g = 0; g < Groups; ++g)
        s[g] = _mm256_cvtps_pd(_mm256_cvtpd_ps(_mm256_add_pd(s[g], c[g][j])));
    for (int g = 0; g < Groups; ++g) {
      const float* const* w = weight + 4 * g;
      __m128 w0 = _mm_loadu_ps(w[0] + i), w1 = _mm_loadu_ps(w[1] + i);
      __m128 w2 = _mm_loadu_ps(w[2] + i), w3 = _mm_loadu_ps(w[3] + i);
      _MM_TRANSPOSE4_PS(w0, w1, w2, w3);
      t[g] = _mm_add_ps(_mm_add_ps(_mm_add_ps(_mm_add_ps(t[g], w0), w1), w2), w3);
    }
  }
  for (int g = 0; g < Groups; ++g) {
    _mm256_storeu_pd(sum + 4 * g, s[g]);
    _mm_storeu_ps(total + 4 * g, t[g]);
  }
}

void accumulate_groups_avx2(const double* const* term, const float* const* weight, int groups,
                            int steps, double* sum, float* total) {
  switch (groups) {
    case 1: accumulate_avx2<1>(term, weight, steps, sum, total); break;
    case 2: accumulate_avx2<2>(term, weight, steps, sum, total); break;
    case 3: accumulate_avx2<3>(term, weight, steps, sum, total); break;
    case 4: accumulate_avx2<4>(term, weight, steps, sum, total); break;
    default: accumulate_avx2<5>(term, weight, steps, sum, total); break;
  }
}

#endif  // DAUB_EDGE_ANGLE_AVX2

}  // namespace

void edge_angle_detail::reciprocal_row(const int32_t* edges, int n, int32_t px, float dy2,
                                       float* weight, double* term) {
#ifdef DAUB_EDGE_ANGLE_AVX2
  if (have_avx2()) {
    reciprocal_row_avx2(edges, n, px, dy2, weight, term);
    return;
  }
#endif
  for (int j = 0; j < n; ++j) {
    const float fdx = static_cast<float>(edges[2 * j] - px);
    float angle;
    std::memcpy(&angle, &edges[2 * j + 1], sizeof angle);
    weight[j] = 1.0f / (fdx * fdx + dy2);
    term[j] = term_of(angle, weight[j]);
  }
}

// One stroke of a burst: its walk, the rest of its current row, and its
// slice of samples.
struct EdgeAngleField::Lane {
  Walk walk;
  const Edge* next = nullptr;  // the current row's samples not yet taken
  const Edge* end = nullptr;
  bool done = true;
  float* weight = nullptr;
  double* term = nullptr;
};

int EdgeAngleField::fill(Lane* lane, int room) const {
  static_assert(sizeof(Edge) == 2 * sizeof(int32_t), "an edge is a column and an angle");
  int n = 0;
  while (n < room) {
    if (lane->next == lane->end && !next_row(&lane->walk, &lane->next, &lane->end)) {
      lane->done = true;
      break;
    }
    const int take = static_cast<int>(std::min<std::ptrdiff_t>(room - n, lane->end - lane->next));
    const Edge* const e = lane->next;
    const long long px = lane->walk.px;
    float* const weight = lane->weight + n;
    double* const term = lane->term + n;
    // Reads and writes up to 3 past take: the edges are padded, and the
    // slice has room (what lands past take is written over).
    edge_angle_detail::reciprocal_row(reinterpret_cast<const int32_t*>(e), take,
                                      static_cast<int32_t>(px), lane->walk.dy2_float, weight, term);
    lane->next += take;
    n += take;
  }
  return n;
}

// One share of a burst: its strokes, where their angles go, and its own
// slices of samples (kMaxLanes * kSliceRoom of each).
struct EdgeAngleField::Share {
  const EdgeAngleField* field;
  int canvas_width;
  const int* x;
  const int* y;
  int n;
  int falloff_type;
  float* out;
  float* weight;
  double* term;
};

void EdgeAngleField::angles_degrees(int canvas_width, const int* x, const int* y, int n,
                                    int falloff_type, float* out) {
  if (n <= 0) return;
  const std::size_t room = 2 * static_cast<std::size_t>(kMaxLanes) * kSliceRoom;
  if (scratch_weight_.size() < room) scratch_weight_.assign(room, 0.0f);
  if (scratch_term_.size() < room) scratch_term_.assign(room, 0.0);
  float* const weight = scratch_weight_.data();
  double* const term = scratch_term_.data();
  const std::size_t half = room / 2;
  const int handed = spare_allowed_ ? strokes_to_hand_over(canvas_width, n, falloff_type) : 0;
  const int kept = n - handed;
  Share spare = {this,         canvas_width, x + kept,      y + kept,   handed,
                 falloff_type, out + kept,   weight + half, term + half};
  const auto run = [](void* share) {
    const Share& s = *static_cast<const Share*>(share);
    s.field->share_degrees(s);
  };
  if (handed > 0 && spare_.start(run, &spare)) {
    share_degrees({this, canvas_width, x, y, kept, falloff_type, out, weight, term});
    handed_strokes_ += static_cast<std::size_t>(handed);
    if (spare_.finish()) spare_strokes_ += static_cast<std::size_t>(handed);
    return;
  }
  // No spare thread, or not worth its while: all on this one.
  share_degrees({this, canvas_width, x, y, n, falloff_type, out, weight, term});
}

void EdgeAngleField::share_degrees(const Share& share) const {
  const int canvas_width = share.canvas_width;
  const int* const x = share.x;
  const int* const y = share.y;
  const int n = share.n;
  const int falloff_type = share.falloff_type;
  float* const out = share.out;
  if (n <= 0) return;
  // Under Exponential only pixels within 104 of the point weigh anything:
  // a few hundred samples a stroke, too few for side-by-side sums to beat
  // the plain walk.
  if (falloff_type == FALLOFF_EXPONENTIAL) {
    for (int k = 0; k < n; ++k) out[k] = angle_degrees(canvas_width, x[k], y[k], falloff_type);
    return;
  }
#ifdef DAUB_EDGE_ANGLE_AVX2
  const bool avx2 = have_avx2();
#endif

  Lane lanes[kMaxLanes];
  const double* terms[kMaxLanes];
  const float* weights[kMaxLanes];
  for (int k = 0; k < kMaxLanes; ++k) {
    lanes[k].weight = share.weight + k * kSliceRoom;
    lanes[k].term = share.term + k * kSliceRoom;
    terms[k] = lanes[k].term;
    weights[k] = lanes[k].weight;
  }

  // Passes of equal size: 20 strokes in one, 30 in two of 15.
  const int passes = (n + kMaxLanes - 1) / kMaxLanes;
  const int per_pass = (n + passes - 1) / passes;
  for (int first = 0; first < n; first += per_pass) {
    const int count = std::min(per_pass, n - first);
    const int groups = (count + kGroupLanes - 1) / kGroupLanes;
    const int lanes_used = groups * kGroupLanes;
    bool started[kMaxLanes];
    for (int k = 0; k < lanes_used; ++k) {
      Lane& lane = lanes[k];
      lane.next = lane.end = nullptr;
      lane.done = true;
      if (k < count) {
        float own = 0.0f;
        lane.done =
            !start_walk(canvas_width, x[first + k], y[first + k], falloff_type, &lane.walk, &own);
        out[first + k] = own;
      }
      started[k] = !lane.done;
    }
    double sum[kMaxLanes] = {};   // weighted degrees, each a float value
    float total[kMaxLanes] = {};  // weights
    for (;;) {
      int taken[kMaxLanes], longest = 0;
      for (int k = 0; k < lanes_used; ++k) {
        taken[k] = lanes[k].done ? 0 : fill(&lanes[k], kSlice);
        longest = std::max(longest, taken[k]);
      }
      if (longest == 0) break;
      const int steps = (longest + 3) & ~3;
      // Past a lane's own samples, +0 for both sums.
      for (int k = 0; k < lanes_used; ++k) {
        std::fill(lanes[k].weight + taken[k], lanes[k].weight + steps, 0.0f);
        std::fill(lanes[k].term + taken[k], lanes[k].term + steps, 0.0);
      }
#ifdef DAUB_EDGE_ANGLE_AVX2
      if (avx2)
        accumulate_groups_avx2(terms, weights, groups, steps, sum, total);
      else
#endif
        accumulate(terms, weights, lanes_used, steps, sum, total);
    }
    for (int k = 0; k < count; ++k)
      if (started[k]) {
        const float s = static_cast<float>(sum[k]);
        out[first + k] = total[k] > 0.0f ? s / total[k] : 0.0f;
      }
  }
}

// What a burst's strokes cost, roughly, decides whether the spare thread
// takes part. Handing over costs the caller some 5 microseconds, and the
// thread, asleep since the last motion event, begins 25 to 35 later (a
// 2-core AMD EPYC VM): bursts under about 60 microseconds of work are
// done sooner here alone. Per stroke the cost is a look-up per grid row
// and the samples: the window's grid points (h rows of h columns, under
// Exponential only the disc within reach, pi / 4 of 104 x 104) clipped to
// the field, times the share of its pixels that are edges. The times are
// that machine's: side by side a Reciprocal sample takes about 2.6 ns, an
// Exponential one about 6 in the plain walk.
namespace {
constexpr double kRowNs = 10.0;
constexpr double kReciprocalSampleNs = 2.6;
constexpr double kExponentialSampleNs = 6.0;
constexpr double kHandOverFromNs = 60000.0;
constexpr long long kExponentialSpan = 104;  // grid rows (and columns) within its reach
}  // namespace

int EdgeAngleField::strokes_to_hand_over(int canvas_width, int n, int falloff_type) const {
  if (n < 3 || edge_count_ == 0) return 0;
  const bool exponential = falloff_type == FALLOFF_EXPONENTIAL;
  long long span = edge_window_half_width(canvas_width);
  if (exponential) span = std::min(span, kExponentialSpan);
  const double rows = static_cast<double>(std::min<long long>(span, (height_ + 1) / 2));
  const double columns = static_cast<double>(std::min<long long>(span, (width_ + 1) / 2));
  const double edge_share =
      static_cast<double>(edge_count_) / (static_cast<double>(width_) * height_);
  const double samples = rows * columns * edge_share * (exponential ? 0.785 : 1.0);
  const double stroke_ns =
      rows * kRowNs + samples * (exponential ? kExponentialSampleNs : kReciprocalSampleNs);
  if (stroke_ns * n < kHandOverFromNs) return 0;
  // Two fifths: the thread begins later than the caller, and side by side
  // 8 strokes (two vectors of sums) take nearly as long as 12 (three).
  return 2 * n / 5;
}
