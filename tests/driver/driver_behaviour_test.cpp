// The driver's observable behaviour through its value references, run both through the runtime
// and through the Driver library's FMI functions.
#include <algorithm>
#include <cmath>
#include <random>

#include "tests/driver/driver_harness.h"

namespace driver_test {
namespace {

template <class H>
class DriverBehaviour : public ::testing::Test {
 protected:
  H unit;

  // Cruise at 50 km/h in a ratio of 1 at 2000 rpm until the ratio lag has settled.
  void cruise() {
    unit.setReal(transmissionRatio, 1.0);
    unit.setReal(engineSpeedRpm, 2000.0);
    unit.setReal(targetSpeedKmh, 50.0);
    unit.setReal(actualSpeedKmh, 50.0);
    unit.steps(4000);
  }
};

using Harnesses = ::testing::Types<ModelHarness, UnitHarness>;

struct HarnessName {
  template <class T>
  static std::string GetName(int) {
    return T::name;
  }
};
TYPED_TEST_SUITE(DriverBehaviour, Harnesses, HarnessName);

TYPED_TEST(DriverBehaviour, FirstMajorStepWithAllInputsZero) {
  // Closed-pedal torque at 500 rpm, -3.75 N·m, read back through the pedal map between -5 N·m
  // (0 %) and 0 N·m (0.48 %); a target at standstill holds the brake fully.
  EXPECT_EQ(this->unit.getReal(acceleratorPedal), 0.12);
  EXPECT_EQ(this->unit.getReal(brakePedal), 100.0);
  this->unit.steps(1);
  EXPECT_EQ(this->unit.getReal(acceleratorPedal), 0.12);
  EXPECT_EQ(this->unit.getReal(brakePedal), 100.0);
}

TYPED_TEST(DriverBehaviour, SteadyCruiseAndOverspeedBrake) {
  this->cruise();
  const double accelerator = this->unit.getReal(acceleratorPedal);
  EXPECT_PRED2(startsWith, accelerator, "1.2423");
  // The braking branch with no overspeed: 0 × −5000 is a negative zero.
  const double brake = this->unit.getReal(brakePedal);
  EXPECT_EQ(brake, 0.0);
  EXPECT_TRUE(std::signbit(brake));

  const struct {
    double actual;
    double brake;
  } overspeeds[] = {{50.5, 50.0}, {51.0, 100.0}, {53.0, 100.0}, {50.0, -0.0}};
  for (const auto& c : overspeeds) {
    this->unit.setReal(actualSpeedKmh, c.actual);
    this->unit.steps(1);
    EXPECT_EQ(this->unit.getReal(brakePedal), c.brake) << c.actual;
    // An overspeed is a negative error: the proportional term adds nothing.
    this->unit.steps(1);
    EXPECT_EQ(this->unit.getReal(acceleratorPedal), accelerator) << c.actual;
  }
}

TYPED_TEST(DriverBehaviour, RisingTargetReleasesTheBrake) {
  // The rise test compares the target with the one stored at the previous major step. Stepping
  // stores the target that the master has just written before the outputs follow it, so a rise
  // shows while the outputs are recomputed during initialisation, against the initial target.
  TypeParam rising(false);
  rising.setup();
  rising.setReal(targetSpeedKmh, 50.0);
  rising.setReal(actualSpeedKmh, 60.0);  // 10 km/h too fast
  EXPECT_GT(rising.getReal(acceleratorPedal), 0.0);
  const double released = rising.getReal(brakePedal);
  EXPECT_EQ(released, 0.0);
  EXPECT_FALSE(std::signbit(released));
  // Once stepping has stored the target, it no longer rises and the overspeed brakes fully.
  rising.exitInitialization();
  rising.steps(1);
  EXPECT_EQ(rising.getReal(brakePedal), 100.0);

  // A rise of less than 0.01 km/h does not count.
  TypeParam steady(false);
  steady.setReal(initialTargetSpeed, 49.995);
  steady.setup();
  steady.setReal(targetSpeedKmh, 50.0);
  steady.setReal(actualSpeedKmh, 60.0);
  EXPECT_EQ(steady.getReal(brakePedal), 100.0);
  // Read by the initialisation only, which the unit computes again from a value written after
  // set-up: then the target rises from 0.
  steady.setReal(initialTargetSpeed, 0.0);
  EXPECT_EQ(steady.getReal(brakePedal), TypeParam::initialConditionsFollowWrites ? 0.0 : 100.0);
  steady.setReal(initialTargetSpeed, 49.995);
  // Nor does a rise without an accelerator demand.
  steady.setReal(targetSpeedKmh, 50.5);
  steady.setReal(acceleratorUpper, 0.0);
  EXPECT_EQ(steady.getReal(acceleratorPedal), 0.0);
  EXPECT_EQ(steady.getReal(brakePedal), 100.0);
  steady.setReal(acceleratorUpper, 100.0);
  EXPECT_EQ(steady.getReal(brakePedal), 0.0);
}

TYPED_TEST(DriverBehaviour, ProportionalTermIsShapedOnThePreviousError) {
  this->cruise();
  const double base = this->unit.getReal(acceleratorPedal);
  // 15 % per km/h times the error limited to [0, 1] km/h: quadratic below 1 km/h, linear above,
  // nothing for a negative error.
  const struct {
    double actual;
    double added;
  } errors[] = {{49.5, 3.75}, {48.0, 30.0}, {51.0, 0.0}, {40.0, 150.0}};
  for (const auto& c : errors) {
    this->unit.setReal(actualSpeedKmh, 50.0);
    this->unit.steps(2);
    ASSERT_EQ(this->unit.getReal(acceleratorPedal), base);
    this->unit.setReal(actualSpeedKmh, c.actual);
    this->unit.steps(1);  // the error is seen now and acts one step later
    EXPECT_EQ(this->unit.getReal(acceleratorPedal), base) << c.actual;
    this->unit.steps(1);
    EXPECT_EQ(this->unit.getReal(acceleratorPedal), std::min(base + c.added, 100.0)) << c.actual;
  }
}

TYPED_TEST(DriverBehaviour, DeadZoneReplacesASmallFeedForward) {
  // Both pedal map cells around the closed-pedal torque at 500 rpm (-5 and 0 N·m) set alike, so
  // the feed-forward pedal at zero inputs is exactly that value.
  const uint32_t below = pedalMap + 7;
  const uint32_t above = pedalMap + 8;
  for (const double cell : {0.1, 0.05, 0.1000001}) {
    this->unit.setReal(below, cell);
    this->unit.setReal(above, cell);
    this->unit.steps(1);
    EXPECT_EQ(this->unit.getReal(acceleratorPedal), cell > 0.1 ? cell : 0.0) << cell;
  }
  // The threshold is a parameter too: at 0.12 the default feed-forward of 0.12 is cut.
  this->unit.setReal(below, 0.0);
  this->unit.setReal(above, 0.48);
  this->unit.setReal(deadZoneThreshold, 0.12);
  this->unit.steps(1);
  EXPECT_EQ(this->unit.getReal(acceleratorPedal), 0.0);
}

TYPED_TEST(DriverBehaviour, ErrorRateIsZeroFirstThenABackwardDifference) {
  this->unit.setReal(derivativeGain, 1.0);
  this->unit.setReal(proportionalGain, 0.0);
  const double feedForward = this->unit.getReal(acceleratorPedal);
  EXPECT_EQ(feedForward, 0.12);  // no sample yet: the rate is 0.0

  this->unit.setReal(actualSpeedKmh, -0.001);  // an error of 0.001 km/h from now on
  this->unit.steps(1);                         // the error is seen
  EXPECT_EQ(this->unit.getReal(acceleratorPedal), feedForward);
  this->unit.steps(1);  // ... held, and compared with the sample of one step before
  const double t1 = 1.0 * h;
  const double t2 = 2.0 * h;
  EXPECT_EQ(this->unit.getReal(acceleratorPedal), feedForward + (0.001 - 0.0) / (t2 - t1));
  this->unit.steps(1);  // the held error no longer changes
  EXPECT_EQ(this->unit.getReal(acceleratorPedal), feedForward);
}

TYPED_TEST(DriverBehaviour, PedalsStayWithinTheirRangeForAnyFiniteInputs) {
  std::mt19937 random(20290330);
  std::uniform_real_distribution<double> unit01(0.0, 1.0);
  auto pick = [&](double lo, double hi) { return lo + (hi - lo) * unit01(random); };
  double target = 0.0;
  double actual = 0.0;
  for (int step = 0; step < 3000; ++step) {
    const double r = unit01(random);
    if (r < 0.02) {
      target = pick(-1e6, 1e6);  // wild jumps
    } else if (r < 0.1) {
      target = pick(-20.0, 250.0);
    } else if (r < 0.15) {
      target = (r < 0.125) ? 0.0 : 0.1;
    } else {
      target += pick(-0.5, 0.5);
    }
    actual = (unit01(random) < 0.05) ? pick(-1e5, 1e5) : target + pick(-3.0, 3.0);
    this->unit.setReal(targetSpeedKmh, target);
    this->unit.setReal(actualSpeedKmh, actual);
    this->unit.setReal(engineSpeedRpm, pick(-1000.0, 9000.0));
    this->unit.setReal(transmissionRatio, pick(-2.0, 8.0));
    this->unit.steps(1 + static_cast<int>(unit01(random) * 3.0));
    const double accelerator = this->unit.getReal(acceleratorPedal);
    const double brake = this->unit.getReal(brakePedal);
    ASSERT_TRUE(accelerator >= 0.0 && accelerator <= 100.0) << step << ": " << accelerator;
    ASSERT_TRUE(brake >= 0.0 && brake <= 100.0) << step << ": " << brake;
  }
}

TYPED_TEST(DriverBehaviour, ValueReferencesReadTheStoredDefaults) {
  EXPECT_EQ(this->unit.getReal(engineTorqueMap), -3.75);        // 500 rpm, 0 %
  EXPECT_EQ(this->unit.getReal(engineTorqueMap + 63), 112.5);   // 6500 rpm, 100 %
  EXPECT_EQ(this->unit.getReal(pedalMap), 0.0);                 // -40 N·m, 500 rpm
  EXPECT_EQ(this->unit.getReal(pedalMap + 391), 100.0);         // 200 N·m, 6500 rpm
  EXPECT_EQ(this->unit.getReal(pedalMap + 8 + 49 * 2), 1.9);    // 0 N·m, 2000 rpm
  EXPECT_EQ(this->unit.getReal(6), 1.5);                        // frontalArea
  EXPECT_EQ(this->unit.getReal(15), 0.0);                       // spareInitial
  EXPECT_EQ(this->unit.getReal(16), 0.5);                       // spareConstant8
  EXPECT_EQ(this->unit.getReal(31), 0.0);                       // initialTargetSpeed
  EXPECT_EQ(this->unit.getReal(32), -1.0);                      // holdBrakeSign
  EXPECT_EQ(this->unit.getReal(102), 500.0);                    // engineMapSpeeds[0]
  EXPECT_EQ(this->unit.getReal(117), 100.0);                    // engineMapPedals[7]
  EXPECT_EQ(this->unit.getReal(518), -40.0);                    // pedalMapTorques[0]
  EXPECT_EQ(this->unit.getReal(566), 200.0);                    // pedalMapTorques[48]
  EXPECT_EQ(this->unit.getReal(567), 1200.0);                   // vehicleMass
  EXPECT_EQ(this->unit.getReal(581), 0.25);                     // wheelRadius
  EXPECT_EQ(this->unit.getInteger(0), 48);
  EXPECT_EQ(this->unit.getInteger(1), 7);
  EXPECT_EQ(this->unit.getInteger(2), 7);
  EXPECT_EQ(this->unit.getInteger(3), 7);
}

TYPED_TEST(DriverBehaviour, SpareParametersChangeNoOutput) {
  this->cruise();
  const double accelerator = this->unit.getReal(acceleratorPedal);
  this->unit.setReal(15, 1e9);
  this->unit.setReal(16, -7.0);
  this->unit.steps(3);
  EXPECT_EQ(this->unit.getReal(acceleratorPedal), accelerator);
}

TYPED_TEST(DriverBehaviour, IntegralGainActsFromTheNextCall) {
  this->unit.setReal(actualSpeedKmh, -1.0);  // a constant error of 1 km/h
  this->unit.steps(100);
  const double without = this->unit.getReal(acceleratorPedal);
  this->unit.setReal(integralGain, 1.0);
  this->unit.steps(1);
  EXPECT_GT(this->unit.getReal(acceleratorPedal), without);
}

TYPED_TEST(DriverBehaviour, MapIndicesThatWouldLeaveTheirMapsAreRefused) {
  const struct {
    uint32_t vr;
    int32_t largest;
  } indices[] = {{0, 48}, {1, 7}, {2, 7}, {3, 7}};
  for (const auto& index : indices) {
    for (const int32_t value : {index.largest + 1, index.largest + 1000, -1, INT32_MIN}) {
      EXPECT_FALSE(this->unit.setInteger(index.vr, value)) << index.vr << " " << value;
      EXPECT_EQ(this->unit.getInteger(index.vr), index.largest) << index.vr;
    }
    for (int32_t value = 0; value <= index.largest; ++value) {
      EXPECT_TRUE(this->unit.setInteger(index.vr, value)) << index.vr << " " << value;
      EXPECT_EQ(this->unit.getInteger(index.vr), value);
    }
  }
  // All four indices at their smallest, 0: both maps give their first entry, and the feed-forward
  // pedal is the pedal map's 0 % at -40 N·m, cut by the dead zone.
  for (const auto& index : indices) ASSERT_TRUE(this->unit.setInteger(index.vr, 0));
  this->unit.setReal(engineSpeedRpm, 3000.0);
  this->unit.setReal(targetSpeedKmh, 30.0);
  this->unit.setReal(actualSpeedKmh, 30.0);
  this->unit.steps(2);
  EXPECT_EQ(this->unit.getReal(acceleratorPedal), 0.0);
  // Back to the full maps.
  for (const auto& index : indices) ASSERT_TRUE(this->unit.setInteger(index.vr, index.largest));
  this->unit.steps(2);
  EXPECT_GT(this->unit.getReal(acceleratorPedal), 0.0);
}

}  // namespace
}  // namespace driver_test
