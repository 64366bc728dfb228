#include "image/edge_map.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "tests/support/edge_reference.h"

namespace {

using Compute = void (*)(const unsigned char*, int, int, float, float*, float*, unsigned char*);

// Outputs of one run, with guard cells on both sides of every array so that
// a write outside the picture shows.
struct EdgeMap {
  static constexpr int kGuard = 16;
  static constexpr float kFloatGuard = -12345.0f;
  static constexpr unsigned char kByteGuard = 0xAB;

  int w, h;
  std::vector<float> gx, gy;
  std::vector<unsigned char> mask;

  EdgeMap(int width, int height)
      : w(width),
        h(height),
        gx(cells() + 2 * kGuard, kFloatGuard),
        gy(cells() + 2 * kGuard, kFloatGuard),
        mask(cells() + 2 * kGuard, kByteGuard) {}

  std::size_t cells() const { return static_cast<std::size_t>(w) * static_cast<std::size_t>(h); }
  float* grad_x() { return gx.data() + kGuard; }
  float* grad_y() { return gy.data() + kGuard; }
  unsigned char* edge() { return mask.data() + kGuard; }
  float gx_at(int x, int y) const { return gx[kGuard + x + y * w]; }
  float gy_at(int x, int y) const { return gy[kGuard + x + y * w]; }
  int edge_at(int x, int y) const { return mask[kGuard + x + y * w]; }

  void run(Compute compute, const std::vector<unsigned char>& rgb, float threshold) {
    compute(rgb.data(), w, h, threshold, grad_x(), grad_y(), edge());
  }

  bool guards_intact() const {
    for (int k = 0; k < kGuard; ++k) {
      const std::size_t hi = kGuard + cells() + k;
      if (gx[k] != kFloatGuard || gx[hi] != kFloatGuard) return false;
      if (gy[k] != kFloatGuard || gy[hi] != kFloatGuard) return false;
      if (mask[k] != kByteGuard || mask[hi] != kByteGuard) return false;
    }
    return true;
  }

  // Same bits in every cell.
  bool same_as(const EdgeMap& o) const {
    return w == o.w && h == o.h &&
           std::memcmp(gx.data(), o.gx.data(), gx.size() * sizeof(float)) == 0 &&
           std::memcmp(gy.data(), o.gy.data(), gy.size() * sizeof(float)) == 0 && mask == o.mask;
  }
};

const Compute kShipped = compute_edge_map_arrays;
const Compute kPortable = edge_map_detail::compute_edge_map_arrays_portable;
const Compute kReference = reference::edge_map;

// Exactly 3 * w * h bytes, so that a read past the end trips the sanitizer.
std::vector<unsigned char> random_picture(int w, int h, unsigned seed) {
  std::mt19937 rng(seed);
  std::vector<unsigned char> rgb(static_cast<std::size_t>(3) * w * h);
  for (auto& b : rgb) b = static_cast<unsigned char>(rng() & 0xFF);
  return rgb;
}

std::vector<unsigned char> flat_picture(int w, int h, unsigned char r, unsigned char g,
                                        unsigned char b) {
  std::vector<unsigned char> rgb(static_cast<std::size_t>(3) * w * h);
  for (std::size_t i = 0; i < rgb.size(); i += 3) {
    rgb[i] = r;
    rgb[i + 1] = g;
    rgb[i + 2] = b;
  }
  return rgb;
}

void set_pixel(std::vector<unsigned char>& rgb, int w, int x, int y, unsigned char r,
               unsigned char g, unsigned char b) {
  const std::size_t i = 3 * (static_cast<std::size_t>(x) + static_cast<std::size_t>(y) * w);
  rgb[i] = r;
  rgb[i + 1] = g;
  rgb[i + 2] = b;
}

// Shipped and portable paths against the reference, bit for bit, and no
// write outside the arrays.
void expect_matches_reference(int w, int h, const std::vector<unsigned char>& rgb,
                              float threshold) {
  EdgeMap want(w, h), fast(w, h), plain(w, h);
  want.run(kReference, rgb, threshold);
  fast.run(kShipped, rgb, threshold);
  plain.run(kPortable, rgb, threshold);
  EXPECT_TRUE(fast.guards_intact()) << w << "x" << h;
  EXPECT_TRUE(plain.guards_intact()) << w << "x" << h;
  EXPECT_TRUE(fast.same_as(want)) << w << "x" << h << " threshold " << threshold;
  EXPECT_TRUE(plain.same_as(want)) << w << "x" << h << " threshold " << threshold;
}

TEST(EdgeMap, FlatColourHasNoGradientAndNoEdge) {
  for (Compute compute : {kShipped, kPortable}) {
    for (float threshold : {0.0f, 12.0f}) {
      EdgeMap m(37, 21);
      m.run(compute, flat_picture(37, 21, 200, 31, 7), threshold);
      for (std::size_t i = 0; i < m.cells(); ++i) {
        ASSERT_EQ(m.grad_x()[i], 0.0f);
        ASSERT_EQ(m.grad_y()[i], 0.0f);
        ASSERT_FALSE(std::signbit(m.grad_x()[i]));
        ASSERT_EQ(m.edge()[i], 0);
      }
    }
  }
}

TEST(EdgeMap, GreyStepOfTwelveIsNoEdgeAtTwelveButThirteenIs) {
  const int w = 40, h = 9, boundary = 17;  // first column of the brighter side
  for (Compute compute : {kShipped, kPortable}) {
    for (int step : {12, 13}) {
      auto rgb = flat_picture(w, h, 100, 100, 100);
      for (int y = 0; y < h; ++y)
        for (int x = boundary; x < w; ++x) {
          const auto v = static_cast<unsigned char>(100 + step);
          set_pixel(rgb, w, x, y, v, v, v);
        }
      EdgeMap m(w, h);
      m.run(compute, rgb, 12.0f);
      for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
          ASSERT_EQ(m.gx_at(x, y), x == boundary ? static_cast<float>(step) : 0.0f);
          ASSERT_EQ(m.gy_at(x, y), 0.0f);
          ASSERT_EQ(m.edge_at(x, y), x == boundary && step == 13 ? 1 : 0) << x << "," << y;
        }
      }
    }
  }
}

TEST(EdgeMap, PrimaryNextToBlackGivesItsWeightTimes255) {
  // Channel index, the value the weight gives, and the value the feature
  // is described by.
  struct Primary {
    int channel;
    float expected;
    float about;
  };
  const Primary primaries[] = {{0, static_cast<float>(0.3 * 255.0), 76.5f},
                               {1, static_cast<float>(0.59 * 255.0), 150.45f},
                               {2, static_cast<float>(0.11 * 255.0), 28.05f}};
  for (Compute compute : {kShipped, kPortable}) {
    for (const Primary& p : primaries) {
      EXPECT_NEAR(p.expected, p.about, 1e-4f);
      // Black everywhere, the primary at (1, 1): a step to the right and
      // one upwards, both into the primary.
      const int w = 3, h = 3;
      auto rgb = flat_picture(w, h, 0, 0, 0);
      rgb[3 * (1 + 1 * w) + p.channel] = 255;
      EdgeMap m(w, h);
      m.run(compute, rgb, 12.0f);
      EXPECT_EQ(m.gx_at(1, 1), p.expected);
      EXPECT_EQ(m.gy_at(1, 1), p.expected);
      EXPECT_EQ(m.gx_at(2, 1), -p.expected);
      EXPECT_EQ(m.gy_at(1, 2), -p.expected);
    }
  }
  // Red exactly, since 0.3 * 255 rounds to 76.5 in float.
  EXPECT_EQ(static_cast<float>(0.3 * 255.0), 76.5f);
}

TEST(EdgeMap, LeftColumnAndBottomRowHaveNoDifference) {
  const int w = 23, h = 11;
  const auto rgb = random_picture(w, h, 7);
  for (Compute compute : {kShipped, kPortable}) {
    EdgeMap m(w, h);
    m.run(compute, rgb, 0.0f);
    for (int y = 0; y < h; ++y) EXPECT_EQ(m.gx_at(0, y), 0.0f);
    for (int x = 0; x < w; ++x) EXPECT_EQ(m.gy_at(x, 0), 0.0f);
    // ...but the neighbours do differ, so the zeros are not an accident.
    EXPECT_NE(m.gx_at(1, 0), 0.0f);
    EXPECT_NE(m.gy_at(0, 1), 0.0f);
  }
}

TEST(EdgeMap, OnePixelWideOrHighCanvases) {
  for (Compute compute : {kShipped, kPortable}) {
    {
      const auto rgb = random_picture(1, 300, 11);
      EdgeMap m(1, 300);
      m.run(compute, rgb, 12.0f);
      for (int y = 0; y < 300; ++y) ASSERT_EQ(m.gx_at(0, y), 0.0f);
      EXPECT_TRUE(m.guards_intact());
    }
    {
      const auto rgb = random_picture(300, 1, 12);
      EdgeMap m(300, 1);
      m.run(compute, rgb, 12.0f);
      for (int x = 0; x < 300; ++x) ASSERT_EQ(m.gy_at(x, 0), 0.0f);
      EXPECT_TRUE(m.guards_intact());
    }
  }
  expect_matches_reference(1, 300, random_picture(1, 300, 11), 12.0f);
  expect_matches_reference(300, 1, random_picture(300, 1, 12), 12.0f);
  expect_matches_reference(1, 1, random_picture(1, 1, 13), 0.0f);
}

TEST(EdgeMap, EmptyCanvasWritesNothing) {
  for (Compute compute : {kShipped, kPortable}) {
    compute(nullptr, 0, 0, 12.0f, nullptr, nullptr, nullptr);
    compute(nullptr, 0, 5, 12.0f, nullptr, nullptr, nullptr);
    compute(nullptr, 5, 0, 12.0f, nullptr, nullptr, nullptr);
    compute(nullptr, -3, 5, 12.0f, nullptr, nullptr, nullptr);
    EdgeMap m(0, 0);
    m.run(compute, {}, 12.0f);
    EXPECT_TRUE(m.guards_intact());
  }
}

// An odd width with no symmetry, in distinct colours: a flip, an off-by-one
// row, a red/blue swap or a padded row all change bits.
TEST(EdgeMap, LopsidedPictureMatchesReferenceBitForBit) {
  const int w = 597, h = 83;
  auto rgb = random_picture(w, h, 597);
  for (float threshold : {0.0f, 12.0f, 40.5f, 255.0f})
    expect_matches_reference(w, h, rgb, threshold);

  // A smooth picture, where the differences are small and many magnitudes
  // sit near the threshold.
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      set_pixel(rgb, w, x, y, static_cast<unsigned char>(x * 255 / w),
                static_cast<unsigned char>((x * 7 + y * 13) % 256),
                static_cast<unsigned char>(y * 3));
  for (float threshold : {0.0f, 3.0f, 12.0f}) expect_matches_reference(w, h, rgb, threshold);
}

// Widths around the vector and chunk lengths, where the carried left
// neighbour and the scalar tails take over.
TEST(EdgeMap, AwkwardSizesMatchReference) {
  unsigned seed = 1;
  for (int w : {2, 3, 7, 8, 9, 10, 11, 15, 16, 17, 255, 256, 257, 263, 512, 513})
    for (int h : {1, 2, 3, 5}) expect_matches_reference(w, h, random_picture(w, h, seed++), 12.0f);
}

TEST(EdgeMap, ThresholdZeroMarksEveryNonZeroGradient) {
  const int w = 31, h = 17;
  auto rgb = flat_picture(w, h, 50, 50, 50);
  set_pixel(rgb, w, 10, 5, 51, 50, 50);  // a tiny red rise: 0.3
  set_pixel(rgb, w, 20, 9, 50, 50, 49);  // a tiny blue fall
  for (Compute compute : {kShipped, kPortable}) {
    EdgeMap m(w, h);
    m.run(compute, rgb, 0.0f);
    int edges = 0;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        const bool moving = m.gx_at(x, y) != 0.0f || m.gy_at(x, y) != 0.0f;
        ASSERT_EQ(m.edge_at(x, y), moving ? 1 : 0) << x << "," << y;
        edges += moving;
      }
    EXPECT_EQ(edges, 6);  // each odd pixel, its right neighbour and the one above
  }
}

TEST(EdgeMap, ThresholdOf255PassesOnlyDiagonalSteps) {
  // White at (2, 2) with black left of it and below it: |gradient| =
  // 255 * sqrt(2). A white bar up from the bottom row in column 5 gives
  // plain steps of 255 only, which equal the threshold and so are no edge.
  const int w = 8, h = 4;
  auto rgb = flat_picture(w, h, 0, 0, 0);
  set_pixel(rgb, w, 2, 2, 255, 255, 255);
  for (int y = 0; y < 3; ++y) set_pixel(rgb, w, 5, y, 255, 255, 255);
  for (Compute compute : {kShipped, kPortable}) {
    EdgeMap m(w, h);
    m.run(compute, rgb, 255.0f);
    EXPECT_EQ(m.gx_at(5, 2), 255.0f);
    EXPECT_EQ(m.gy_at(5, 2), 0.0f);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
        EXPECT_EQ(m.edge_at(x, y), x == 2 && y == 2 ? 1 : 0) << x << "," << y;
  }
}

}  // namespace
