// The chassis unit driven through the FMI calls of the built library, as a master drives it.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <regex>
#include <vector>

#include "runtime/sim_model.h"
#include "tests/support/unit_library.h"
#include "tests/support/variable_catalogue.h"

namespace {

using test_support::UnitInstance;

// Value references of the chassis unit, by name from its model description.
const test_support::Catalogue& chassis() { return test_support::describedVariables(TESSIK_DESCRIPTION); }
fmi2ValueReference vr(const char* name) { return chassis().reference(name); }
const fmi2ValueReference brakeDemand = vr("brakeDemand");
const fmi2ValueReference wheelTorque = vr("wheelTorque");
const fmi2ValueReference wheelSpeed = vr("wheelSpeed");
const fmi2ValueReference vehicleSpeedKmh = vr("vehicleSpeedKmh");
const fmi2ValueReference vehicleSpeed = vr("vehicleSpeed");
const fmi2ValueReference kmhPerMs = vr("kmhPerMs");
const fmi2ValueReference initialSpeed = vr("initialSpeed");
const fmi2ValueReference speedUpperLimit = vr("speedUpperLimit");
const fmi2ValueReference dragCoefficient = vr("dragCoefficient");
const fmi2ValueReference vehicleMass = vr("vehicleMass");
const fmi2ValueReference rollingCoefficient = vr("rollingCoefficient");

constexpr double h = runtime::fixedStepSize;

class Chassis : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    unit = std::make_unique<test_support::SharedUnit>(TESSIK_LIBRARY, TESSIK_DESCRIPTION);
  }
  static void TearDownTestSuite() { unit.reset(); }

  std::unique_ptr<UnitInstance> instance(bool initialize = true) {
    return unit->create({}, initialize ? Stage::initialized : Stage::instantiated);
  }

  // Speeds after each of `steps` fixed steps.
  static std::vector<double> speeds(UnitInstance& u, int steps) {
    std::vector<double> v;
    for (int i = 0; i < steps; ++i) {
      EXPECT_EQ(u.doStep(h), fmi2OK);
      v.push_back(u.getReal(vehicleSpeed));
    }
    return v;
  }

  using Stage = test_support::SharedUnit::Stage;
  static inline std::unique_ptr<test_support::SharedUnit> unit;
};

TEST_F(Chassis, AtRestWithoutTorqueOrBrakeEverythingStaysZero) {
  auto u = instance();
  for (double v : speeds(*u, 100)) ASSERT_EQ(v, 0.0);
  EXPECT_EQ(u->getReal(wheelSpeed), 0.0);
  EXPECT_EQ(u->getReal(vehicleSpeedKmh), 0.0);
}

TEST_F(Chassis, TheUpperSpeedLimitIsInfiniteAfterInstantiation) {
  auto u = instance(false);
  EXPECT_EQ(u->getReal(speedUpperLimit), std::numeric_limits<double>::infinity());
}

TEST_F(Chassis, TwoHundredNewtonMetresAtRestAccelerateAtTwoThirds) {
  auto u = instance();
  u->setReal(wheelTorque, 200.0);
  const std::vector<double> v = speeds(*u, 2);
  // 200 N·m over a 0.25 m wheel is 800 N on 1200 kg; rolling resistance is still ~0 at 3 mm/s.
  EXPECT_NEAR((v[1] - v[0]) / h, 2.0 / 3.0, 5e-4);
  // The torque was set after initialisation, so the first stage of the first step still used
  // the signals of the set-up (no torque): that step falls short by the first stage's weight.
  EXPECT_NEAR(v[0] / h, 2.0 / 3.0 * (1.0 - 14005451.0 / 335480064.0), 1e-4);
}

TEST_F(Chassis, CoastingAtTenMetresPerSecond) {
  auto u = instance(false);
  u->setReal(initialSpeed, 10.0);
  u->setup();
  u->exitInitialization();
  EXPECT_EQ(u->getReal(wheelSpeed), 40.0);
  EXPECT_EQ(u->getReal(vehicleSpeedKmh), 36.0);
  const std::vector<double> v = speeds(*u, 1);
  // Rolling resistance 82.32 N and drag 36.15 N decelerate 1200 kg at 0.098725 m/s².
  EXPECT_NEAR((v[0] - 10.0) / h, -0.098725, 1e-5);
}

// Deceleration from finite differences of the speed around step n.
double decelerationAt(const std::vector<double>& v, int n) { return -(v[n + 1] - v[n - 1]) / (2 * h); }

TEST_F(Chassis, BrakeForceFollowsItsLagToSixtyThreePercentAfterItsTimeConstant) {
  auto u = instance(false);
  u->setReal(initialSpeed, 30.0);
  u->setReal(dragCoefficient, 0.0);
  u->setReal(rollingCoefficient, 0.0);
  u->setup();
  u->exitInitialization();
  u->setReal(brakeDemand, 100.0);
  const std::vector<double> v = speeds(*u, 400);
  const int n = 340 - 1;  // the speed after step 340 is at 0.85 s
  const double brakeForce = decelerationAt(v, n) * 1200.0;
  EXPECT_NEAR(brakeForce / 5000.0, 1.0 - std::exp(-1.0), 1e-3);
}

TEST_F(Chassis, NoRollingBackwardsUnderNegativeTorqueOrBrake) {
  auto u = instance();
  u->setReal(wheelTorque, -500.0);
  u->setReal(brakeDemand, 50.0);
  for (double v : speeds(*u, 400)) ASSERT_EQ(v, 0.0);
}

TEST_F(Chassis, DragStopsGrowingAboveTwoHundredKilometresPerHour) {
  auto coastDeceleration = [&](double speed) {
    auto u = instance(false);
    u->setReal(initialSpeed, speed);
    u->setReal(rollingCoefficient, 0.0);
    u->setup();
    u->exitInitialization();
    return decelerationAt(speeds(*u, 3), 1);
  };
  const double capped = 1115.74 / 1200.0;
  EXPECT_NEAR(coastDeceleration(60.0), capped, 1e-4);
  EXPECT_NEAR(coastDeceleration(80.0), capped, 1e-4);
  EXPECT_LT(coastDeceleration(50.0), capped - 0.1);
}

TEST_F(Chassis, ATunableParameterTakesEffectAtTheNextMajorStep) {
  auto u = instance();
  u->setReal(wheelTorque, 1000.0);
  std::vector<double> v = speeds(*u, 20);
  const double before = v[19] - v[18];
  u->setReal(vehicleMass, 2400.0);
  EXPECT_EQ(u->getReal(vehicleSpeed), v[19]) << "after initialisation a set changes no output";
  v = speeds(*u, 2);
  // Doubling the mass halves the acceleration (less the rolling resistance, which doubles too).
  EXPECT_NEAR((v[1] - v[0]) / before, 0.5, 5e-3);

  u->setReal(kmhPerMs, 1.0);
  EXPECT_NE(u->getReal(vehicleSpeedKmh), v[1]);
  speeds(*u, 1);
  EXPECT_EQ(u->getReal(vehicleSpeedKmh), u->getReal(vehicleSpeed));
}

TEST_F(Chassis, SparesAndPowerSelectorsChangeNothing) {
  auto run = [&](bool disturb) {
    auto u = instance();
    u->setReal(wheelTorque, 300.0);
    std::vector<double> out;
    for (int i = 0; i < 200; ++i) {
      if (disturb && i == 50) {
        // The four spares and the four power-figure selector triples.
        const std::regex inert("spare[0-9]+|[a-z]+Power(Value|Control|Threshold)");
        int written = 0;
        for (const test_support::Variable& v : chassis().variables) {
          if (!std::regex_match(v.name, inert)) continue;
          u->setReal(v.vr, 1e6 + v.vr);
          ++written;
        }
        EXPECT_EQ(written, 16);
      }
      u->doStep(h);
      out.push_back(u->getReal(wheelSpeed));
      out.push_back(u->getReal(vehicleSpeedKmh));
      out.push_back(u->getReal(vehicleSpeed));
    }
    return out;
  };
  EXPECT_EQ(run(false), run(true));
}

}  // namespace
