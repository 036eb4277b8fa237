// The tolerance band of the cycle-following check: +-2 km/h around the highest and lowest target
// within +-1 s, so that a vehicle that is up to 1 s late on a ramp plus 2 km/h passes.
#include <gtest/gtest.h>

#include <cmath>

#include "app/report/cycle_following.h"

namespace {

TEST(CycleFollowing, BandIsTwoKilometresPerHourAroundTheTargetWithinOneSecond) {
  std::vector<double> time, target;
  for (int k = 0; k <= 8000; ++k) {
    time.push_back(k * 0.01);
    target.push_back(std::min(2.0 * k * 0.01, 100.0));  // 2 km/h per second to 100, then held
  }
  auto late = [&](double seconds) {
    std::vector<double> speed;
    for (double t : time) speed.push_back(std::clamp(2.0 * (t - seconds), 0.0, 100.0));
    return report::checkCycleFollowing(time, target, speed, 2.0, 1.0);
  };
  EXPECT_TRUE(late(1.9).excursions.empty()) << "1.9 s late is 3.8 km/h below, within 1 s and 2 km/h";
  const report::CycleFollowing tooLate = late(2.1);
  ASSERT_EQ(tooLate.excursions.size(), 1u);
  EXPECT_NEAR(tooLate.excursions[0].worstKmh, -0.2, 1e-9);
  EXPECT_NEAR(tooLate.excursions[0].start, 2.01, 1e-9) << "from rest, late by more than 1 s + 2 km/h";
  EXPECT_NEAR(tooLate.excursionSeconds, 49.09, 1e-9) << "to 1.1 s past the end of the ramp";

  std::vector<double> spike(target);
  for (std::size_t k = 6000; k < 6050; ++k) spike[k] += 3.0;  // 0.5 s at 3 km/h too fast
  const report::CycleFollowing c = report::checkCycleFollowing(time, target, spike, 2.0, 1.0);
  ASSERT_EQ(c.excursions.size(), 1u);
  EXPECT_NEAR(c.excursionSeconds, 0.5, 1e-9);
  EXPECT_NEAR(c.worstKmh, 1.0, 1e-9);
  EXPECT_EQ(c.excursions[0].start, 60.0);
}

}  // namespace
