// The numeric routines at the places where they can go wrong: ends of tables, NaN inputs, the
// special operands of the safe power.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>

#include "runtime/numerics.h"

namespace {

using namespace runtime;

constexpr double inf = std::numeric_limits<double>::infinity();
constexpr double nan = std::numeric_limits<double>::quiet_NaN();

class Numerics : public ::testing::Test {
 protected:
  const double bp[4] = {0.0, 1.0, 2.0, 4.0};
  const double table[4] = {10.0, 20.0, 40.0, 80.0};
};

TEST_F(Numerics, Clip1DHoldsTheEndsAndMapsNaNToTheLastValue) {
  EXPECT_EQ(lookup1DClip(4.0, bp, table, 3), 80.0);
  EXPECT_EQ(lookup1DClip(0.0, bp, table, 3), 10.0);
  EXPECT_EQ(lookup1DClip(-5.0, bp, table, 3), 10.0);
  EXPECT_EQ(lookup1DClip(9.0, bp, table, 3), 80.0);
  EXPECT_EQ(lookup1DClip(nan, bp, table, 3), 80.0);
  EXPECT_EQ(lookup1DClip(3.0, bp, table, 3), 60.0);
  EXPECT_EQ(lookup1DClip(2.0, bp, table, 3), 40.0) << "an inner breakpoint gives its own value";
}

TEST_F(Numerics, Extrap1DExtendsTheEndSegments) {
  EXPECT_EQ(lookup1DExtrap(6.0, bp, table, 3), 80.0 + (80.0 - 40.0));
  EXPECT_EQ(lookup1DExtrap(-1.0, bp, table, 3), 0.0);
  EXPECT_TRUE(std::isnan(lookup1DExtrap(nan, bp, table, 3)));
  EXPECT_EQ(lookup1DExtrap(0.5, bp, table, 3), 15.0);
}

TEST_F(Numerics, SearchFindsEveryIntervalOfALongAxis) {
  double axis[17];
  for (int i = 0; i < 17; ++i) axis[i] = i * 1.5;
  for (int i = 0; i < 16; ++i) {
    double f = -1.0;
    EXPECT_EQ(findIntervalExtrap(axis[i] + 0.75, axis, 16, &f), static_cast<uint32_t>(i));
    EXPECT_EQ(f, 0.5);
  }
  double f = 0.0;
  EXPECT_EQ(findIntervalExtrap(30.0, axis, 16, &f), 15u);
  EXPECT_EQ(f, 5.0) << "above the range the last segment extends past 1.0";
}


// A guess, whatever its value, gives the halving's index and fraction on breakpoints in order (a
// repeated one among them), and is left on the interval found; out of order is refused.
TEST_F(Numerics, GuessedSearchFindsWhatTheHalvingFinds) {
  const double axis[6] = {0.0, 1.0, 1.0, 2.5, 4.0, 7.0};
  ASSERT_TRUE(ascending(axis, 5));
  for (double u : {-1.0, 0.0, 0.5, 1.0, 1.5, 2.5, 3.0, 6.999, 7.0, 9.0, nan}) {
    for (SearchGuess start = 0; start < 8; ++start) {
      double plain = -1.0, guessed = -2.0;
      SearchGuess g = start;
      const uint32_t i = findIntervalExtrap(u, axis, 5, &plain);
      EXPECT_EQ(findIntervalExtrap(u, axis, 5, &guessed, &g), i) << u << " from " << start;
      EXPECT_EQ(std::bit_cast<uint64_t>(guessed), std::bit_cast<uint64_t>(plain));
      EXPECT_EQ(findIntervalClip(u, axis, 5, &guessed, &g), findIntervalClip(u, axis, 5, &plain));
      if (u > 0.0 && u < 7.0) {
        EXPECT_EQ(g, i) << "the guess holds the interval found";
      }
    }
  }
  const double swapped[4] = {0.0, 2.0, 1.0, 3.0};
  const double withNaN[3] = {0.0, nan, 1.0};
  EXPECT_FALSE(ascending(swapped, 3));
  EXPECT_FALSE(ascending(withNaN, 2));
  EXPECT_TRUE(ascending(swapped, 1)) << "only up to the last index given";
}
TEST_F(Numerics, Clip2DOnTheLastRowDoesNotReadBeyondIt) {
  // 3 x 2 table, dimension 0 fastest; a guard value after it must never be read.
  const double bp0[3] = {0.0, 1.0, 2.0};
  const double bp1[2] = {0.0, 10.0};
  const double t[7] = {1.0, 2.0, 3.0, 11.0, 12.0, 13.0, nan};
  const uint32_t maxIndex[2] = {2, 1};
  EXPECT_EQ(lookup2DClip(0.5, 10.0, bp0, bp1, t, maxIndex, 3), 11.5);
  EXPECT_EQ(lookup2DClip(5.0, 50.0, bp0, bp1, t, maxIndex, 3), 13.0);
  EXPECT_EQ(lookup2DClip(0.5, 5.0, bp0, bp1, t, maxIndex, 3), 6.5);
  EXPECT_EQ(lookup2DClip(2.0, 5.0, bp0, bp1, t, maxIndex, 3), 8.0);
  EXPECT_EQ(lookup2DExtrap(3.0, 20.0, bp0, bp1, t, maxIndex, 3), 24.0);
}

TEST_F(Numerics, Interpolate3DBlendsTheEightCorners) {
  // 2 x 2 x 2 table of x + 10 y + 100 z.
  double t[8];
  for (int z = 0; z < 2; ++z)
    for (int y = 0; y < 2; ++y)
      for (int x = 0; x < 2; ++x) t[x + 2 * y + 4 * z] = x + 10.0 * y + 100.0 * z;
  const uint32_t index[3] = {0, 0, 0};
  const double fraction[3] = {0.5, 0.25, 0.75};
  const uint32_t strides[2] = {2, 4};
  EXPECT_EQ(interpolate3D(index, fraction, t, strides), 0.5 + 2.5 + 75.0);
}

TEST_F(Numerics, PowerSafeSpecialOperands) {
  EXPECT_TRUE(std::isnan(powerSafe(-8.0, 1.0 / 3.0)));
  EXPECT_EQ(powerSafe(-2.0, 3.0), -8.0);
  EXPECT_EQ(powerSafe(0.5, -inf), inf);
  EXPECT_TRUE(std::isnan(powerSafe(1.0, nan)));
  EXPECT_TRUE(std::isnan(powerSafe(nan, 0.0)));
  EXPECT_EQ(powerSafe(-1.0, inf), 1.0);
  EXPECT_EQ(powerSafe(3.0, inf), inf);
  EXPECT_EQ(powerSafe(3.0, -inf), 0.0);
  EXPECT_EQ(powerSafe(0.5, inf), 0.0);
  EXPECT_EQ(powerSafe(0.0, -0.0), 1.0);
  EXPECT_EQ(powerSafe(4.0, -1.0), 0.25);
  EXPECT_EQ(powerSafe(-3.0, 1.0), -3.0);
  EXPECT_EQ(powerSafe(1.1, 2.0), 1.1 * 1.1);
  EXPECT_EQ(powerSafe(2.0, 0.5), std::sqrt(2.0));
  EXPECT_TRUE(std::isnan(powerSafe(-2.0, 0.5)));
  EXPECT_EQ(powerSafe(2.0, 0.3), std::pow(2.0, 0.3));
}

}  // namespace
