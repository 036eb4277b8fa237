// The ShiftController unit through its built library: the schedule bit for bit as the master
// applied it, the outputs following the input before the step commits, and the refusal of
// parameters that cannot describe a schedule.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "tests/support/unit_library.h"
#ifdef HAVE_MASTER_SHIFT_SCHEDULE
#include "master/shift_schedule.h"
#endif

namespace {

using test_support::SharedUnit;

// Value references.
constexpr fmi2ValueReference speedVr = 0, ratioVr = 1, lockupVr = 2;  // Real
constexpr fmi2ValueReference ratio1Vr = 3, upshift1Vr = 11, downshift1Vr = 18, minTimeVr = 25,
                             lockupOnVr = 26, lockupOffVr = 27;       // Real parameters
constexpr fmi2ValueReference gearVr = 0, gearCountVr = 1, lockupGearVr = 2;  // Integer

SharedUnit& unit() {
  static SharedUnit u(SHIFTCONTROLLER_LIBRARY, SHIFTCONTROLLER_DESCRIPTION);
  return u;
}

// A varied speed trace: accelerations through all gears, dithering around thresholds, a stop.
double speedAt(int k) {
  const double t = k * 0.01;
  return std::fmax(0.0, 70.0 * std::sin(t / 40.0) + 8.0 * std::sin(t * 1.7) + 3.0 * std::sin(t * 11.0));
}

struct Decision {
  int gear;
  double ratio;
  double lockup;
};

// Drives the unit as a master with direct feedthrough does: set the speed, read the outputs,
// step; returns the outputs read at every communication point.
std::vector<Decision> run(test_support::UnitInstance& u, int steps) {
  std::vector<Decision> out;
  for (int k = 0; k < steps; ++k) {
    u.setReal(speedVr, speedAt(k));
    out.push_back({u.getInteger(gearVr), u.getReal(ratioVr), u.getReal(lockupVr)});
    EXPECT_EQ(u.doStep(0.01), fmi2OK);
  }
  return out;
}

TEST(ShiftController, ReproducesTheMastersScheduleBitForBit) {
  auto u = unit().create();
  const int steps = 60000;
  const std::vector<Decision> got = run(*u, steps);
  int shifts = 0, lockups = 0, gearSum = 0;
  for (int k = 1; k < steps; ++k) {
    shifts += got[k].gear != got[k - 1].gear;
    lockups += got[k].lockup != got[k - 1].lockup;
    gearSum += got[k].gear;
  }
  // The figures of this trace, which hold also without the master's class to compare with.
  EXPECT_EQ(shifts, 67);
  EXPECT_EQ(lockups, 31);
  EXPECT_EQ(gearSum, 160475);
#ifdef HAVE_MASTER_SHIFT_SCHEDULE
  master::ShiftSchedule schedule(master::ShiftSettings{});
  double t = 0.0;  // the communication point, summed as the master and the test instance keep it
  for (int k = 0; k < steps; ++k) {
    schedule.update(t, speedAt(k));
    ASSERT_EQ(got[k].gear, schedule.gear()) << "step " << k;
    ASSERT_EQ(got[k].ratio, schedule.ratio()) << "step " << k;
    ASSERT_EQ(got[k].lockup, schedule.lockupCommand()) << "step " << k;
    t += 0.01;
  }
#endif
}

// A get shows what the schedule would decide with the input as it is now; only the step keeps it.
TEST(ShiftController, OutputsFollowTheInputUntilTheStepCommits) {
  auto u = unit().create();
  u->setReal(speedVr, 30.0);
  EXPECT_EQ(u->getInteger(gearVr), 3);  // 30 km/h: up through 12 and 25 at once
  EXPECT_EQ(u->getReal(lockupVr), 1.0);
  u->setReal(speedVr, 0.0);
  EXPECT_EQ(u->getInteger(gearVr), 1);  // not committed: first gear still
  EXPECT_EQ(u->getReal(ratioVr), 2.6);
  u->setReal(speedVr, 30.0);
  ASSERT_EQ(u->doStep(0.5), fmi2OK);    // third gear committed at 0 s
  u->setReal(speedVr, 0.0);
  EXPECT_EQ(u->getInteger(gearVr), 3);  // held: 0.5 s in gear
  EXPECT_EQ(u->getReal(lockupVr), 0.0);  // the lock-up releases at once
  ASSERT_EQ(u->doStep(1.5), fmi2OK);
  EXPECT_EQ(u->getInteger(gearVr), 1);  // 2 s in gear: down to first
  EXPECT_EQ(u->getReal(ratioVr), 2.6);
}

TEST(ShiftController, RefusesParametersThatDescribeNoSchedule) {
  const struct {
    std::vector<std::pair<fmi2ValueReference, double>> reals;
    std::vector<std::pair<fmi2ValueReference, int>> integers;
    const char* message;
  } cases[] = {
      {{}, {{gearCountVr, 0}}, "gearCount is 0; it must be between 1 and 8"},
      {{}, {{gearCountVr, 6}}, "ratio[6] is 0; gear ratios must be positive and finite"},
      {{{ratio1Vr + 1, -1.0}}, {}, "ratio[2] is -1; gear ratios must be positive and finite"},
      {{{downshift1Vr + 1, 25.0}}, {}, "downshiftKmh[2] (25) must lie below upshiftKmh[2] (25)"},
      {{{upshift1Vr + 2, 24.0}, {downshift1Vr + 2, 17.0}}, {}, "upshiftKmh[3] and downshiftKmh[3] must lie above upshiftKmh[2] and downshiftKmh[2]"},
      {{{upshift1Vr, NAN}}, {}, "upshiftKmh[1] and downshiftKmh[1] must be finite"},
      {{{minTimeVr, -1.0}}, {}, "minTimeInGear is -1; it must be a finite time of 0 s or more"},
      {{}, {{lockupGearVr, 0}}, "lockupGear is 0; it must be between 1 and 5 (or 6 for never)"},
      {{{lockupOffVr, 30.0}}, {}, "lockupOffKmh (30) and lockupOnKmh (30)"},
      {{{lockupOnVr, INFINITY}}, {}, "lockupOffKmh (25) and lockupOnKmh (inf): the lock-up must release"},
  };
  for (const auto& c : cases) {
    auto u = unit().create({}, SharedUnit::Stage::instantiated);
    for (const auto& [vr, v] : c.reals) u->setReal(vr, v);
    for (const auto& [vr, v] : c.integers) ASSERT_EQ(u->setInteger(vr, v), fmi2OK);
    u->setup();
    EXPECT_EQ(unit().library().fmi2EnterInitializationMode(u->component()), fmi2Error) << c.message;
    EXPECT_EQ(unit().library().fmi2ExitInitializationMode(u->component()), fmi2Error) << c.message;
    EXPECT_TRUE(u->log().contains(std::string("The shift schedule's parameters are refused: ") + c.message))
        << c.message << "\n" << (u->log().last() ? u->log().last()->message : "");
    EXPECT_EQ(u->doStep(0.01), fmi2Error) << c.message;
  }
  // The guard of the integer parameters refuses a gearbox of more than 8 gears at the write, and
  // a tunable change that breaks the schedule in the run stops the next step.
  auto u = unit().create();
  EXPECT_EQ(u->setInteger(gearCountVr, 9), fmi2Error);
  ASSERT_EQ(u->doStep(0.01), fmi2OK);
  u->setReal(lockupOffVr, 40.0);
  EXPECT_EQ(u->doStep(0.01), fmi2Error);
  EXPECT_TRUE(u->log().contains("lockupOffKmh (40) and lockupOnKmh (30)"));
}

}  // namespace
