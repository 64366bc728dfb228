#include "paint/edge_angle.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <thread>
#include <vector>

#include "paint/spare_thread.h"
#include "tests/support/edge_reference.h"

namespace {

constexpr int kReciprocal = 0;
constexpr int kExponential = 1;

uint32_t bits(float f) {
  uint32_t u;
  std::memcpy(&u, &f, sizeof u);
  return u;
}

// A capture's arrays, filled by hand.
struct Arrays {
  int w, h;
  std::vector<float> gx, gy;
  std::vector<unsigned char> mask;

  Arrays(int width, int height)
      : w(width),
        h(height),
        gx(static_cast<std::size_t>(width) * height, 0.0f),
        gy(static_cast<std::size_t>(width) * height, 0.0f),
        mask(static_cast<std::size_t>(width) * height, 0) {}

  void edge(int x, int y, float grad_x, float grad_y) {
    const std::size_t i = static_cast<std::size_t>(x) + static_cast<std::size_t>(y) * w;
    gx[i] = grad_x;
    gy[i] = grad_y;
    mask[i] = 1;
  }
  EdgeAngleField field() const {
    EdgeAngleField f;
    f.reset(gx.data(), gy.data(), mask.data(), w, h);
    return f;
  }
  float reference(int canvas_width, int x, int y, int falloff) const {
    return reference::edge_angle(gx.data(), gy.data(), mask.data(), w, h, canvas_width, x, y,
                                 falloff);
  }
};

// Degrees of a radian angle kept as float, the way every sample converts.
float degrees_of(float radians) {
  return static_cast<float>(static_cast<double>(radians) * 180 / 3.14159);
}

Arrays random_arrays(std::mt19937& rng, int w, int h, double density) {
  Arrays a(w, h);
  std::uniform_real_distribution<float> grad(-255.0f, 255.0f);
  std::uniform_int_distribution<int> small(-3, 3);
  std::bernoulli_distribution is_edge(density), rounded(0.3);
  for (std::size_t i = 0; i < a.mask.size(); ++i) {
    if (!is_edge(rng)) continue;
    a.mask[i] = static_cast<unsigned char>(1 + rng() % 255);  // any non-zero byte
    if (rounded(rng)) {  // small integers: zero, axis-aligned and diagonal gradients
      a.gx[i] = static_cast<float>(small(rng));
      a.gy[i] = static_cast<float>(small(rng));
    } else {
      a.gx[i] = grad(rng);
      a.gy[i] = grad(rng);
    }
  }
  return a;
}

// The library's angle of a gradient, rounded to float: what every sample's
// angle must equal.
float library_angle(float gx, float gy) {
  return static_cast<float>(std::atan2(static_cast<double>(gy), static_cast<double>(gx)));
}

bool same_angle(float a, float b) { return bits(a) == bits(b) || (std::isnan(a) && std::isnan(b)); }

// Both the one-at-a-time and the four-at-a-time form, against the library.
void expect_library_angles(const std::vector<float>& gx, const std::vector<float>& gy) {
  std::vector<float> batch(gx.size());
  edge_angle_detail::gradient_angles(gx.data(), gy.data(), static_cast<int>(gx.size()),
                                     batch.data());
  for (std::size_t i = 0; i < gx.size(); ++i) {
    const float want = library_angle(gx[i], gy[i]);
    ASSERT_TRUE(same_angle(edge_angle_detail::gradient_angle(gx[i], gy[i]), want))
        << "(" << gx[i] << ", " << gy[i] << ")";
    ASSERT_TRUE(same_angle(batch[i], want)) << "(" << gx[i] << ", " << gy[i] << ") in a batch";
  }
}

TEST(GradientAngle, EqualsTheLibraryOnEveryKindOfGradient) {
  std::vector<float> gx, gy;
  const auto add = [&](float x, float y) {
    gx.push_back(x);
    gy.push_back(y);
  };
  // Every integer gradient of an 8-bit picture's range.
  for (int x = -255; x <= 255; ++x)
    for (int y = -255; y <= 255; ++y) add(static_cast<float>(x), static_cast<float>(y));
  // Edge-map-like values, and magnitudes from the smallest float to the largest.
  std::mt19937 rng(35);
  std::uniform_real_distribution<float> grad(-255.0f, 255.0f);
  std::uniform_real_distribution<float> exponent(-149.0f, 127.0f);
  for (int k = 0; k < 1000000; ++k) add(grad(rng), grad(rng));
  for (int k = 0; k < 500000; ++k) {
    const float x = std::exp2(exponent(rng)), y = std::exp2(exponent(rng));
    add(rng() & 1 ? x : -x, rng() & 1 ? y : -y);
  }
  // Where the nearest sixteenth of min/max changes, and equal magnitudes.
  for (int k = 0; k < 16; ++k)
    for (float toward : {0.0f, 100.0f}) {
      float v = static_cast<float>(k) + 0.5f;
      for (int step = 0; step < 40; ++step, v = std::nextafter(v, toward)) {
        add(16.0f, v);
        add(-v, -16.0f);
      }
    }
  for (float v : {1e-30f, 0.3f, 1.0f, 7.0f, 255.0f}) {
    add(v, v);
    add(-v, v);
    add(v, -v);
    add(-v, -v);
  }
  // Zeros of both signs, infinities, NaN and the extremes, in all pairs.
  const float inf = std::numeric_limits<float>::infinity();
  const float special[] = {0.0f,
                           -0.0f,
                           inf,
                           -inf,
                           std::numeric_limits<float>::quiet_NaN(),
                           1.0f,
                           -1.0f,
                           std::numeric_limits<float>::min(),
                           std::numeric_limits<float>::denorm_min(),
                           -std::numeric_limits<float>::max(),
                           255.0f};
  for (float x : special)
    for (float y : special) add(x, y);
  add(1.0f, 2.0f);  // an odd count, so the batch has a tail
  expect_library_angles(gx, gy);
}

// A burst's Reciprocal samples of a row, formed four at a time, against
// the plain formula: rows of every length (the last four past the end),
// angles of every size and sign (zeros of both signs), near and far
// offsets.
TEST(GradientAngle, RowSamplesEqualThePlainFormula) {
  std::mt19937 rng(31);
  std::uniform_real_distribution<float> angle(-3.1415927f, 3.1415927f);
  std::uniform_real_distribution<float> exponent(-126.0f, 1.6f);
  std::uniform_int_distribution<int> offset(-1200, 1200), length(0, 41);
  std::vector<int32_t> edges;
  std::vector<float> weight;
  std::vector<double> term;
  long long compared = 0;
  for (int row = 0; row < 150000; ++row) {
    const int n = length(rng);
    const int32_t px = 1300 + offset(rng) / 4;
    const int dy = offset(rng) / (row % 2 ? 1 : 40);
    const float dy2 = static_cast<float>(dy) * static_cast<float>(dy);
    edges.assign(2 * static_cast<std::size_t>(n) + 8, 0);
    for (int i = 0; i < n; ++i) {
      int32_t column = px + offset(rng) / (row % 3 ? 1 : 30);
      if (column == px && dy == 0) ++column;  // the point itself never reaches a row
      float a = row % 5 == 0 ? std::exp2(exponent(rng)) * (rng() & 1 ? 1 : -1) : angle(rng);
      if (i == 0 && row % 7 == 0) a = row % 14 ? 0.0f : -0.0f;
      edges[2 * i] = column;
      std::memcpy(&edges[2 * i + 1], &a, sizeof a);
    }
    weight.assign(static_cast<std::size_t>(n) + 4, -1.0f);
    term.assign(static_cast<std::size_t>(n) + 4, -1.0);
    edge_angle_detail::reciprocal_row(edges.data(), n, px, dy2, weight.data(), term.data());
    for (int i = 0; i < n; ++i) {
      float a;
      std::memcpy(&a, &edges[2 * i + 1], sizeof a);
      const float dx = static_cast<float>(edges[2 * i] - px);
      const float w = 1.0f / (dx * dx + dy2);
      const double t = static_cast<double>(a) * static_cast<double>(w) * 180 / 3.14159;
      ASSERT_EQ(bits(weight[i]), bits(w)) << row << " " << i;
      ASSERT_EQ(std::memcmp(&term[i], &t, sizeof t), 0)
          << row << " " << i << ": " << term[i] << " vs " << t;
      ++compared;
    }
  }
  EXPECT_GT(compared, 2000000);
}

TEST(EdgeAngle, HalfWidthIsThreeTenthsOfTheCanvasTruncated) {
  EXPECT_EQ(edge_window_half_width(3), 0);
  EXPECT_EQ(edge_window_half_width(4), 1);
  EXPECT_EQ(edge_window_half_width(10), 3);
  EXPECT_EQ(edge_window_half_width(599), 179);
  EXPECT_EQ(edge_window_half_width(600), 180);
  EXPECT_EQ(edge_window_half_width(0), 0);
  EXPECT_EQ(edge_window_half_width(-50), 0);
  for (int w = 0; w <= 200000; ++w) ASSERT_EQ(edge_window_half_width(w), 3 * w / 10) << w;
}

TEST(EdgeAngle, NoTakingPartEdgePixelGivesZero) {
  Arrays a(40, 30);
  EXPECT_EQ(bits(a.field().angle_degrees(40, 20, 15, kReciprocal)), bits(0.0f));

  a.edge(5, 5, 0.0f, 1.0f);
  const EdgeAngleField f = a.field();
  // All of the window off the field.
  EXPECT_EQ(bits(f.angle_degrees(40, -500, 15, kReciprocal)), bits(0.0f));
  EXPECT_EQ(bits(f.angle_degrees(40, 20, 900, kExponential)), bits(0.0f));
  // A canvas narrower than 4 pixels has no window.
  EXPECT_EQ(bits(f.angle_degrees(3, 5, 5, kExponential)), bits(0.0f));
  // Empty fields.
  EdgeAngleField none;
  EXPECT_EQ(none.angle_degrees(600, 0, 0, kReciprocal), 0.0f);
  none.reset(nullptr, nullptr, nullptr, 40, 30);
  EXPECT_EQ(none.angle_degrees(40, 5, 6, kReciprocal), 0.0f);
  none.reset(a.gx.data(), a.gy.data(), a.mask.data(), 0, 30);
  EXPECT_EQ(none.angle_degrees(40, 5, 6, kReciprocal), 0.0f);
  // But the pixel does count where it is on the grid.
  EXPECT_NE(f.angle_degrees(10, 6, 6, kReciprocal), 0.0f);
}

TEST(EdgeAngle, OddHalfWidthNeverSamplesThePointEvenDoes) {
  // The only edge pixel is at the point itself.
  Arrays a(30, 30);
  a.edge(12, 12, 0.0f, 1.0f);
  const EdgeAngleField f = a.field();
  const float up = degrees_of(static_cast<float>(std::atan2(1.0, 0.0)));
  // Width 10: h = 3, offsets -3, -1, 1: the point is not on the grid.
  EXPECT_EQ(f.angle_degrees(10, 12, 12, kReciprocal), 0.0f);
  EXPECT_EQ(f.angle_degrees(10, 12, 12, kExponential), 0.0f);
  // ...while from one pixel off it, it is.
  EXPECT_NEAR(f.angle_degrees(10, 13, 13, kExponential), up, 1e-4f);
  EXPECT_EQ(bits(f.angle_degrees(10, 13, 13, kExponential)), bits(a.reference(10, 13, 13, 1)));
  // Width 20: h = 6, offsets -6 ... 4 even: the point is sampled, weight 1
  // under Exponential.
  EXPECT_EQ(bits(f.angle_degrees(20, 12, 12, kExponential)), bits(up));
  // Under Reciprocal its weight is 1 / 0; the point's own pixel decides.
  EXPECT_EQ(bits(f.angle_degrees(20, 12, 12, kReciprocal)), bits(up));
}

TEST(EdgeAngle, ThePointsOwnPixelDecidesAloneUnderReciprocal) {
  Arrays a(50, 50);
  a.edge(20, 20, 1.0f, 0.0f);  // angle 0: 0 * (1 / 0) would be NaN
  a.edge(22, 22, 0.0f, 1.0f);
  a.edge(18, 20, -1.0f, 0.1f);
  const EdgeAngleField f = a.field();
  EXPECT_EQ(bits(f.angle_degrees(20, 20, 20, kReciprocal)), bits(0.0f));
  a.edge(20, 20, -3.0f, -4.0f);
  const float own = degrees_of(static_cast<float>(std::atan2(-4.0, -3.0)));
  EXPECT_EQ(bits(a.field().angle_degrees(20, 20, 20, kReciprocal)), bits(own));
  EXPECT_EQ(bits(a.reference(20, 20, 20, kReciprocal)), bits(own));
  // Under Exponential the point weighs 1 and the neighbours count too.
  const float mixed = a.field().angle_degrees(20, 20, 20, kExponential);
  EXPECT_EQ(bits(mixed), bits(a.reference(20, 20, 20, kExponential)));
  EXPECT_NE(bits(mixed), bits(own));
}

TEST(EdgeAngle, OnePixelGivesItsDirectionConvertedWith3_14159) {
  for (int falloff : {kReciprocal, kExponential}) {
    Arrays a(20, 20);
    a.edge(9, 9, 0.0f, 1.0f);  // offset (-1, -1) from (10, 10)
    const float up = a.field().angle_degrees(10, 10, 10, falloff);
    EXPECT_NEAR(up, 90.00008f, 1e-5f);
    EXPECT_NE(up, 90.0f);
    a.edge(9, 9, -1.0f, 0.0f);
    const float left = a.field().angle_degrees(10, 10, 10, falloff);
    EXPECT_NEAR(left, 180.00015f, 1e-5f);
    EXPECT_EQ(bits(left), bits(a.reference(10, 10, 10, falloff)));
  }
}

// Not exactly 0: the first sum is rounded to float before the opposite
// term is added, and that rounding remains.
TEST(EdgeAngle, AnglesEitherSideOf180AverageToZero) {
  const double r = 170.0 * 3.14159265358979 / 180.0;
  for (int falloff : {kReciprocal, kExponential}) {
    Arrays a(20, 20);
    a.edge(9, 9, static_cast<float>(std::cos(r)), static_cast<float>(std::sin(r)));
    a.edge(11, 9, static_cast<float>(std::cos(r)), static_cast<float>(-std::sin(r)));
    const EdgeAngleField f = a.field();
    EXPECT_NEAR(degrees_of(static_cast<float>(std::atan2(std::sin(r), std::cos(r)))), 170.0f,
                1e-3f);
    const float mean = f.angle_degrees(10, 10, 10, falloff);
    EXPECT_NEAR(mean, 0.0f, 1e-5f);
    EXPECT_EQ(bits(mean), bits(a.reference(10, 10, 10, falloff)));
  }
}

TEST(EdgeAngle, ExponentialWeightVanishesFrom10811) {
  // The weight itself, as the reference computes it.
  const auto weight = [](float d2) {
    return static_cast<float>(std::exp(-static_cast<double>(static_cast<float>(std::sqrt(d2)))));
  };
  EXPECT_GT(weight(10810.0f), 0.0f);
  EXPECT_EQ(weight(10811.0f), 0.0f);

  // Canvas 600 wide: h = 180, even offsets. Only edge pixels at 104 pixels
  // (104^2 = 10816) and beyond: angle 0, though Reciprocal sees them.
  Arrays a(600, 400);
  const int x = 300, y = 200;
  a.edge(x + 104, y, 0.0f, 1.0f);
  a.edge(x - 104, y + 2, 1.0f, 1.0f);
  a.edge(x - 80, y - 80, -1.0f, 1.0f);  // 12800
  EXPECT_EQ(bits(a.field().angle_degrees(600, x, y, kExponential)), bits(0.0f));
  EXPECT_EQ(bits(a.reference(600, x, y, kExponential)), bits(0.0f));
  EXPECT_NE(a.field().angle_degrees(600, x, y, kReciprocal), 0.0f);
  // At 10804 (102^2 + 20^2) the weight is a tiny float, not 0.
  a.edge(x + 102, y + 20, 0.0f, -1.0f);
  const float near_edge = a.field().angle_degrees(600, x, y, kExponential);
  EXPECT_EQ(bits(near_edge), bits(a.reference(600, x, y, kExponential)));
  EXPECT_NEAR(near_edge, -90.00008f, 1e-4f);
}

// The heart of it: many fields, points and canvases, every result the same
// bits as the plain loop.
TEST(EdgeAngle, MatchesTheReferenceLoopBitForBit) {
  std::mt19937 rng(20240607);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  int compared = 0, non_zero = 0;
  for (int round = 0; round < 400; ++round) {
    int w = 1 + static_cast<int>(rng() % 90);
    int h = 1 + static_cast<int>(rng() % 70);
    if (round % 40 == 0) w = 1;
    if (round % 40 == 1) h = 1;
    const double density = round % 3 == 0 ? 0.02 : round % 3 == 1 ? 0.3 : 1.0;
    const Arrays a = random_arrays(rng, w, h, density);
    const EdgeAngleField f = a.field();
    for (int k = 0; k < 25; ++k) {
      // Mostly the field's own width, sometimes another canvas width.
      int canvas = w;
      if (k % 5 == 3) canvas = static_cast<int>(rng() % 300);
      if (k % 5 == 4) canvas = std::max(1, w / 3);
      const int half = edge_window_half_width(canvas);
      const int x = -half - 3 + static_cast<int>(rng() % (w + 2 * half + 6));
      const int y = -half - 3 + static_cast<int>(rng() % (h + 2 * half + 6));
      for (int falloff : {kReciprocal, kExponential}) {
        const float got = f.angle_degrees(canvas, x, y, falloff);
        const float want = a.reference(canvas, x, y, falloff);
        ASSERT_EQ(bits(got), bits(want))
            << w << "x" << h << " canvas " << canvas << " at (" << x << ", " << y << ") falloff "
            << falloff << ": " << got << " vs " << want;
        ASSERT_TRUE(std::isfinite(got));
        ++compared;
        non_zero += got != 0.0f;
      }
    }
  }
  EXPECT_GT(non_zero, compared / 2);  // the comparisons are mostly of real angles
}

// Windows wider than the Exponential cut-off (h = 180 on a canvas 600 wide),
// where the far samples are left out.
TEST(EdgeAngle, MatchesTheReferenceOnALargeCanvas) {
  std::mt19937 rng(600);
  for (double density : {0.01, 0.25}) {
    const Arrays a = random_arrays(rng, 600, 400, density);
    const EdgeAngleField f = a.field();
    for (int k = 0; k < 12; ++k) {
      const int x = -60 + static_cast<int>(rng() % 720);
      const int y = -60 + static_cast<int>(rng() % 520);
      const int canvas = k % 4 == 3 ? 601 : 600;  // h 180 even, and 180 again
      for (int falloff : {kReciprocal, kExponential})
        ASSERT_EQ(bits(f.angle_degrees(canvas, x, y, falloff)),
                  bits(a.reference(canvas, x, y, falloff)))
            << density << " at (" << x << ", " << y << ")";
      ASSERT_EQ(bits(f.angle_degrees(597, x, y, kReciprocal)),  // h = 179, odd
                bits(a.reference(597, x, y, kReciprocal)));
    }
  }
}

// A burst's angles, worked out side by side, against the plain loop one
// stroke at a time: bursts of every length around the eight strokes taken
// together, windows that run off the field, odd and even half-widths, the
// point on an edge pixel, fields where every pixel is an edge (more samples
// per stroke than one slice) and gradients of every magnitude.
TEST(EdgeAngle, BurstMatchesTheReferenceLoopBitForBit) {
  std::mt19937 rng(27);
  std::uniform_real_distribution<float> exponent(-40.0f, 40.0f);
  int compared = 0, on_own_pixel = 0;
  for (int round = 0; round < 24; ++round) {
    const int w = round < 20 ? 40 + static_cast<int>(rng() % 90) : 600;
    const int h = round < 20 ? 30 + static_cast<int>(rng() % 60) : 300;
    Arrays a = random_arrays(rng, w, h, round % 2 ? 1.0 : 0.2);
    if (round % 4 == 3)  // magnitudes far apart: sums that lose small terms
      for (std::size_t i = 0; i < a.gx.size(); ++i) {
        a.gx[i] *= std::exp2(exponent(rng));
        a.gy[i] *= std::exp2(exponent(rng));
      }
    EdgeAngleField f = a.field();
    const int canvas = round % 3 == 2 ? w + 3 : w;  // another parity of h now and then
    const int half = edge_window_half_width(canvas);
    const int n = 1 + round % 19 + (round % 5 == 0 ? 20 : 0);
    std::vector<int> xs(n), ys(n);
    for (int k = 0; k < n; ++k) {
      xs[k] = -half / 2 + static_cast<int>(rng() % (w + half));
      ys[k] = -half / 2 + static_cast<int>(rng() % (h + half));
    }
    xs[0] = w / 2 - (w / 2) % 2;  // a point on the field, often an edge pixel itself
    ys[0] = h / 2;
    for (int falloff : {kReciprocal, kExponential}) {
      std::vector<float> got(n, -1.0f);
      f.angles_degrees(canvas, xs.data(), ys.data(), n, falloff, got.data());
      for (int k = 0; k < n; ++k) {
        const float want = a.reference(canvas, xs[k], ys[k], falloff);
        ASSERT_EQ(bits(got[k]), bits(want)) << w << "x" << h << " canvas " << canvas << " stroke "
                                            << k << " of " << n << " falloff " << falloff;
        ++compared;
      }
    }
    const std::size_t at = static_cast<std::size_t>(xs[0]) + static_cast<std::size_t>(ys[0]) * w;
    on_own_pixel += half % 2 == 0 && a.mask[at] != 0;
  }
  EXPECT_GT(compared, 500);
  EXPECT_GT(on_own_pixel, 0);
}

// Bursts big enough that the spare thread takes their last strokes, of
// 1 to 100 strokes (several passes of lanes on either thread), on one field
// whose thread is reused from burst to burst: every angle the same bits as
// one stroke at a time. And fields that go while their thread is busy
// polling after a burst, asleep, or never started must not hang.
TEST(EdgeAngle, BurstSharedWithTheSpareThreadMatchesOneAtATime) {
  std::mt19937 rng(1000);
  const Arrays a = random_arrays(rng, 601, 300, 0.3);
  EdgeAngleField f = a.field();
  for (int n = 1; n <= 100; ++n) {
    const int canvas = n % 4 == 3 ? 597 : 601;  // h 179 odd, 180 even
    std::vector<int> xs(n), ys(n);
    for (int k = 0; k < n; ++k) {
      xs[k] = -40 + static_cast<int>(rng() % 680);
      ys[k] = -40 + static_cast<int>(rng() % 380);
    }
    for (int falloff : {kReciprocal, kExponential}) {
      std::vector<float> got(n, -1.0f);
      f.angles_degrees(canvas, xs.data(), ys.data(), n, falloff, got.data());
      for (int k = 0; k < n; ++k)
        ASSERT_EQ(bits(got[k]), bits(f.angle_degrees(canvas, xs[k], ys[k], falloff)))
            << "stroke " << k << " of " << n << " falloff " << falloff;
    }
  }
  // Unless there is no spare core, the thread will have taken part.
  if (std::thread::hardware_concurrency() > 1) {
    EXPECT_GT(f.strokes_on_spare_thread(), 0u);
  }

  // Too little work to hand over: two strokes; a small window; or told not to.
  const std::size_t before = f.strokes_handed_over();
  std::vector<int> xs(20, 300), ys(20, 150);
  std::vector<float> got(20);
  f.angles_degrees(601, xs.data(), ys.data(), 2, kReciprocal, got.data());
  f.angles_degrees(40, xs.data(), ys.data(), 20, kReciprocal, got.data());
  f.set_spare_thread(false);
  f.angles_degrees(601, xs.data(), ys.data(), 20, kReciprocal, got.data());
  EXPECT_EQ(f.strokes_handed_over(), before);

  for (int pause_us : {0, 2000}) {
    EdgeAngleField g = a.field();
    g.angles_degrees(601, xs.data(), ys.data(), 20, kReciprocal, got.data());
    std::this_thread::sleep_for(std::chrono::microseconds(pause_us));
  }
  EdgeAngleField unused = a.field();
}

// The spare thread itself: each offered task runs exactly once, on the
// thread when finish() says so and on the caller otherwise, and what it
// wrote is the caller's to read, whether the caller's own share takes
// nothing (the thread, asleep, cannot have begun: taken back) or a few
// hundred microseconds; also once moved, and when a thread in use is
// replaced by another (the first must end, not abort).
TEST(EdgeAngle, SpareThreadRunsEachTaskOnceWhereFinishSays) {
  struct Task {
    int runs = 0;
    std::thread::id ran_on;
    std::vector<int> written;
  };
  const auto task = [](void* p) {
    Task& t = *static_cast<Task*>(p);
    ++t.runs;
    t.ran_on = std::this_thread::get_id();
    for (std::size_t i = 0; i < t.written.size(); ++i) t.written[i] = static_cast<int>(i);
  };
  int on_thread = 0, on_caller = 0;
  const auto offer = [&](SpareThread& spare, int tasks) {
    for (int k = 0; k < tasks; ++k) {
      Task t;
      t.written.assign(5000, -1);
      ASSERT_TRUE(spare.start(task, &t));
      const auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(k % 5 * 60);
      while (std::chrono::steady_clock::now() < until) {
      }
      const bool there = spare.finish();
      ASSERT_EQ(t.runs, 1) << k;
      ASSERT_EQ(t.ran_on == std::this_thread::get_id(), !there) << k;
      for (std::size_t i = 0; i < t.written.size(); ++i) ASSERT_EQ(t.written[i], i) << k;
      ++(there ? on_thread : on_caller);
    }
  };
  if (std::thread::hardware_concurrency() < 2) {
    SpareThread none;
    Task t;
    EXPECT_FALSE(none.start(task, &t));
    EXPECT_EQ(t.runs, 0);
    return;
  }
  SpareThread first, second;
  offer(first, 150);
  SpareThread moved(std::move(first));
  offer(moved, 150);
  offer(second, 10);
  moved = std::move(second);
  offer(moved, 10);
  EXPECT_GT(on_thread, 0);
  EXPECT_GT(on_caller, 0);
}

// The scratch space and the lanes are kept from burst to burst: nothing of
// one burst (its sums, a lane's place in its window) may reach the next,
// nor of one field the next after a reset; and bursts with no window at
// all (a canvas under 4 wide) or wholly off the field give 0.
TEST(EdgeAngle, EachBurstStartsAfresh) {
  std::mt19937 rng(99);
  EdgeAngleField f;
  for (int round = 0; round < 6; ++round) {
    const Arrays a = random_arrays(rng, 300, 200, round % 2 ? 0.5 : 0.05);
    f.reset(a.gx.data(), a.gy.data(), a.mask.data(), a.w, a.h);
    for (int burst = 0; burst < 4; ++burst) {
      const int n = 3 + burst * 7;
      std::vector<int> xs(n), ys(n);
      for (int k = 0; k < n; ++k) {
        xs[k] = static_cast<int>(rng() % 300);
        ys[k] = static_cast<int>(rng() % 200);
      }
      std::vector<float> got(n);
      f.angles_degrees(300, xs.data(), ys.data(), n, kReciprocal, got.data());
      for (int k = 0; k < n; ++k)
        ASSERT_EQ(bits(got[k]), bits(a.reference(300, xs[k], ys[k], kReciprocal)))
            << round << " " << burst << " " << k;
      f.angles_degrees(3, xs.data(), ys.data(), n, kReciprocal, got.data());
      for (float g : got) ASSERT_EQ(bits(g), bits(0.0f));
      for (int& x : xs) x += 5000;
      f.angles_degrees(300, xs.data(), ys.data(), n, kReciprocal, got.data());
      for (float g : got) ASSERT_EQ(bits(g), bits(0.0f));
    }
  }
}

TEST(EdgeAngle, GradientThatIsNotANumberTakesNoPart) {
  Arrays a(20, 20);
  a.edge(9, 9, 1.0f, 2.0f);
  a.edge(11, 9, -2.0f, 1.0f);
  const float without[] = {a.reference(10, 10, 10, kReciprocal),
                           a.reference(10, 10, 10, kExponential)};
  a.edge(9, 11, std::numeric_limits<float>::quiet_NaN(), 1.0f);
  for (int falloff : {kReciprocal, kExponential}) {
    const float got = a.field().angle_degrees(10, 10, 10, falloff);
    EXPECT_FALSE(std::isnan(got));
    EXPECT_EQ(bits(got), bits(without[falloff]));
  }
}

TEST(EdgeAngle, ResetReplacesTheFieldAndKeepsNoArray) {
  EdgeAngleField f;
  {
    Arrays a(20, 20);
    a.edge(9, 9, 0.0f, 1.0f);
    f.reset(a.gx.data(), a.gy.data(), a.mask.data(), a.w, a.h);
  }  // arrays gone: the field must not read them any more
  EXPECT_NEAR(f.angle_degrees(10, 10, 10, kReciprocal), 90.00008f, 1e-5f);
  EXPECT_EQ(f.edge_pixels(), 1u);
  Arrays b(20, 20);
  b.edge(9, 9, -1.0f, 0.0f);
  f.reset(b.gx.data(), b.gy.data(), b.mask.data(), b.w, b.h);
  EXPECT_NEAR(f.angle_degrees(10, 10, 10, kReciprocal), 180.00015f, 1e-5f);
  f.reset(nullptr, nullptr, nullptr, 0, 0);
  EXPECT_EQ(f.edge_pixels(), 0u);
  EXPECT_EQ(f.angle_degrees(10, 10, 10, kReciprocal), 0.0f);
}

}  // namespace
