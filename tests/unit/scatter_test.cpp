// Scattering a burst of strokes: which offsets are drawn, in which order,
// and how many are accepted.
#include "paint/scatter.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <set>
#include <utility>
#include <vector>

namespace {

std::vector<std::pair<int, int>> painted;
void record(int x, int y) { painted.emplace_back(x, y); }

// A replayable random source: the values given, in a loop.
std::vector<int> script;
size_t script_pos = 0;
int draws = 0;
int scripted() {
  ++draws;
  int v = script[script_pos % script.size()];
  ++script_pos;
  return v;
}

class Scatter : public ::testing::Test {
 protected:
  void SetUp() override {
    painted.clear();
    script.clear();
    script_pos = 0;
    draws = 0;
  }
  void TearDown() override { set_random_source(nullptr); }
};

}  // namespace

TEST_F(Scatter, RadiusOneOnlyEverHitsThreeOffsets) {
  // Every pair of remainders mod 2: (0,0) (0,1) (1,0) (1,1), i.e. offsets
  // (-1,-1) (-1,0) (0,-1) (0,0); the first is at sqrt(2) > 1.
  script = {0, 0, 0, 1, 1, 0, 1, 1};
  set_random_source(scripted);
  scatter_burst(100, 200, 30, 1, record);
  ASSERT_EQ(painted.size(), 30u);
  std::set<std::pair<int, int>> offsets;
  for (auto [x, y] : painted) offsets.insert({x - 100, y - 200});
  EXPECT_EQ(offsets, (std::set<std::pair<int, int>>{{-1, 0}, {0, -1}, {0, 0}}));
  // Each rejected sample cost two draws as well: 40 samples for 30 strokes.
  EXPECT_EQ(draws, 80);
}

TEST_F(Scatter, DxIsDrawnBeforeDyAndTheRadiusItselfIsInside) {
  // R = 5: remainders mod 10. (8, 9) gives offset (3, 4): distance exactly 5,
  // accepted. (0, 5) gives (-5, 0): accepted. (9, 9) gives (4, 4): 5.66, no.
  script = {8, 9, 9, 9, 0, 5, 15, 3};
  set_random_source(scripted);
  scatter_burst(0, 0, 3, 5, record);
  ASSERT_EQ(painted.size(), 3u);
  EXPECT_EQ(painted[0], std::make_pair(3, 4));
  EXPECT_EQ(painted[1], std::make_pair(-5, 0));
  EXPECT_EQ(painted[2], std::make_pair(0, -2));  // 15 % 10 - 5, 3 % 10 - 5
}

TEST_F(Scatter, RadiusFiftyStaysInTheDiscAndCountsExactlyN) {
  std::srand(12345);
  for (int n : {1, 20, 100}) {
    painted.clear();
    scatter_burst(300, 300, n, 50, record);
    ASSERT_EQ(painted.size(), static_cast<size_t>(n));
    for (auto [x, y] : painted) {
      int dx = x - 300, dy = y - 300;
      EXPECT_GE(dx, -50);
      EXPECT_LE(dx, 49);
      EXPECT_GE(dy, -50);
      EXPECT_LE(dy, 49);
      EXPECT_LE(dx * dx + dy * dy, 2500);
    }
  }
}

TEST_F(Scatter, TheSameSequenceGivesTheSameBurst) {
  std::srand(1);  // what an unseeded rand() starts from
  scatter_burst(10, 10, 50, 30, record);
  std::vector<std::pair<int, int>> first = painted;
  painted.clear();
  std::srand(1);
  scatter_burst(10, 10, 50, 30, record);
  EXPECT_EQ(first, painted);
}

TEST_F(Scatter, NoStrokesForACountBelowOneAndNoDivisionByAZeroRadius) {
  script = {7};
  set_random_source(scripted);
  scatter_burst(0, 0, 0, 10, record);
  EXPECT_TRUE(painted.empty());
  EXPECT_EQ(draws, 0);
  scatter_burst(0, 0, 2, 0, record);  // treated as radius 1
  EXPECT_EQ(painted.size(), 2u);
}
