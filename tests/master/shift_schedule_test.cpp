// The gear-shift schedule and the lock-up command.
#include <gtest/gtest.h>

#include "master/error.h"
#include "master/shift_schedule.h"

namespace master {
namespace {

ShiftSettings threeGears() {
  ShiftSettings s;
  s.ratios = {3.0, 2.0, 1.0};
  s.upshiftKmh = {20.0, 40.0};
  s.downshiftKmh = {10.0, 30.0};
  s.minTimeInGear = 2.0;
  s.lockupGear = 2;
  s.lockupOnKmh = 25.0;
  s.lockupOffKmh = 15.0;
  return s;
}

TEST(ShiftSchedule, ShiftsWithHysteresis) {
  ShiftSchedule s(threeGears());
  double t = 0.0;
  auto at = [&](double speed) {
    t += 10.0;  // well past the minimum time in gear
    s.update(t, speed);
    return s.gear();
  };
  EXPECT_EQ(at(0.0), 1);
  EXPECT_EQ(s.ratio(), 3.0);
  EXPECT_EQ(at(20.0), 1);  // at the threshold: not above it
  EXPECT_EQ(at(20.5), 2);
  EXPECT_EQ(s.ratio(), 2.0);
  EXPECT_EQ(at(15.0), 2);  // inside the band: stays
  EXPECT_EQ(at(10.0), 2);  // at the downshift speed: not below it
  EXPECT_EQ(at(9.9), 1);
  EXPECT_EQ(at(15.0), 1);  // inside the band from below: stays too
  EXPECT_EQ(at(41.0), 3);  // far above: both shifts at once
  EXPECT_EQ(at(35.0), 3);
  EXPECT_EQ(at(5.0), 1);   // braking hard: straight down to first
}

TEST(ShiftSchedule, WaitsTheMinimumTimeInGear) {
  ShiftSchedule s(threeGears());
  s.update(0.0, 21.0);
  EXPECT_EQ(s.gear(), 2);
  s.update(1.0, 45.0);
  EXPECT_EQ(s.gear(), 2);  // one second after the shift
  s.update(1.99, 45.0);
  EXPECT_EQ(s.gear(), 2);
  s.update(2.0, 45.0);
  EXPECT_EQ(s.gear(), 3);
  s.update(3.0, 5.0);
  EXPECT_EQ(s.gear(), 3);  // a downshift waits as well
  s.update(4.0, 5.0);
  EXPECT_EQ(s.gear(), 1);
}

TEST(ShiftSchedule, LockUpEngagesInTheUpperGearsAboveItsSpeed) {
  ShiftSchedule s(threeGears());
  s.update(0.0, 0.0);
  EXPECT_EQ(s.lockupCommand(), 0.0);  // at standstill
  s.update(10.0, 19.0);
  EXPECT_EQ(s.gear(), 1);
  EXPECT_EQ(s.lockupCommand(), 0.0);  // first gear
  s.update(20.0, 22.0);
  EXPECT_EQ(s.gear(), 2);
  EXPECT_EQ(s.lockupCommand(), 0.0);  // below the engage speed
  s.update(30.0, 25.0);
  EXPECT_EQ(s.lockupCommand(), 1.0);
  s.update(40.0, 15.0);
  EXPECT_EQ(s.gear(), 2);
  EXPECT_EQ(s.lockupCommand(), 1.0);  // inside the band: stays engaged
  s.update(50.0, 14.9);
  EXPECT_EQ(s.lockupCommand(), 0.0);
  s.update(60.0, 20.0);
  EXPECT_EQ(s.lockupCommand(), 0.0);  // inside the band from below: stays released
}

TEST(ShiftSchedule, LockUpReleasesWithADownshiftBelowItsGear) {
  ShiftSettings settings = threeGears();
  settings.lockupGear = 3;
  settings.lockupOffKmh = 5.0;
  ShiftSchedule s(settings);
  s.update(0.0, 45.0);
  EXPECT_EQ(s.gear(), 3);
  EXPECT_EQ(s.lockupCommand(), 1.0);
  s.update(10.0, 29.0);
  EXPECT_EQ(s.gear(), 2);
  EXPECT_EQ(s.lockupCommand(), 0.0);
}

TEST(ShiftSchedule, RefusesSettingsThatDescribeNoSchedule) {
  auto refused = [](auto change) {
    ShiftSettings s = threeGears();
    change(s);
    EXPECT_THROW(s.validate(), MasterError);
    EXPECT_THROW(ShiftSchedule{s}, MasterError);
  };
  refused([](ShiftSettings& s) { s.ratios.clear(); s.upshiftKmh.clear(); s.downshiftKmh.clear(); });
  refused([](ShiftSettings& s) { s.ratios[1] = 0.0; });
  refused([](ShiftSettings& s) { s.ratios[1] = -1.0; });
  refused([](ShiftSettings& s) { s.upshiftKmh.pop_back(); });
  refused([](ShiftSettings& s) { s.downshiftKmh.push_back(50.0); });
  refused([](ShiftSettings& s) { s.downshiftKmh[0] = 20.0; });   // no hysteresis
  refused([](ShiftSettings& s) { s.upshiftKmh[1] = 15.0; });     // not rising
  refused([](ShiftSettings& s) { s.downshiftKmh[0] = -1.0; });
  refused([](ShiftSettings& s) { s.minTimeInGear = -1.0; });
  refused([](ShiftSettings& s) { s.lockupGear = 0; });
  refused([](ShiftSettings& s) { s.lockupGear = 5; });
  refused([](ShiftSettings& s) { s.lockupOffKmh = 25.0; });     // no hysteresis
  refused([](ShiftSettings& s) { s.lockupOffKmh = 0.0; });      // would stay engaged when stopped
  EXPECT_NO_THROW(ShiftSettings{}.validate());                   // the defaults
  ShiftSettings never = threeGears();
  never.lockupGear = 4;  // one past the top gear: never engages
  ShiftSchedule s(never);
  s.update(0.0, 100.0);
  EXPECT_EQ(s.lockupCommand(), 0.0);
}

}  // namespace
}  // namespace master
