// The powertrain unit driven through the FMI calls of the built library, as a master drives it.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <utility>
#include <vector>

#include "tests/support/unit_library.h"

namespace {

using test_support::UnitInstance;

// Value references of the powertrain unit (reals unless said otherwise).
enum : fmi2ValueReference {
  wheelSpeed = 0,
  ratioCommand = 1,
  lockupCommand = 2,
  spareInput = 3,
  throttle = 4,
  torqueFactorInput = 5,
  outputShaftRpm = 8,
  engineRpm = 9,
  fuelUsed = 11,
  fuelRate = 12,
  gearboxLossPower = 13,
  engineLoadTorque = 14,
  engineSpeed = 15,
  fuelMapFirst = 24,
  fuelMapLast = 127,
  torqueMapLast = 212,
  engineSpeedUpper = 278,
  initialOutputShaftSpeed = 279,
  outputShaftSpeedUpper = 281,
  clutchTwistReset = 295,
  lossOutputControl = 321,
  initialEngineSpeed = 330,
  gearboxEfficiency = 333,
  radPerSecToRpmRef = 383,
  // integers
  fuelMapMaxTorque = 0,
  fuelMapMaxSpeed = 1,
  torqueMapMaxThrottle = 2,
  torqueMapMaxSpeed = 3,
  // booleans
  cutoffA = 0,
  cutoffB = 1,
};

// The spares and the ten power-figure selector triples.
constexpr fmi2ValueReference inert[] = {
    spareInput, 252, 253, 254, 255, 256, 257, 258, 259, 272, 273, 274, 275, 282, 283, 284, 285,
    286,        287, 288, 289, 290, 291, 292, 293, 300, 301, 302, 303, 304, 305, 306, 307, 308,
    309,        310, 311, 312, 313, 314, 315, 319};

constexpr double h = 0.0025;
constexpr double radPerSecToRpm = 9.549296585513721;
constexpr double inf = std::numeric_limits<double>::infinity();
using Settings = std::vector<std::pair<fmi2ValueReference, double>>;

class Powertrain : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    unit = std::make_unique<test_support::SharedUnit>(KADMIR_LIBRARY, KADMIR_DESCRIPTION);
  }
  static void TearDownTestSuite() { unit.reset(); }

  // An instance with the given reals written before set-up, set up (the first output at time 0)
  // and still in initialisation mode, where every get recomputes the outputs.
  static std::unique_ptr<UnitInstance> configured(const Settings& settings) {
    return unit->create(settings, test_support::SharedUnit::Stage::setUp);
  }
  static std::unique_ptr<UnitInstance> started(const Settings& settings) {
    return unit->create(settings);
  }

  static inline std::unique_ptr<test_support::SharedUnit> unit;
};

const Settings stall2000 = {{initialEngineSpeed, 2000.0 / radPerSecToRpm},
                            {torqueFactorInput, 1.0},
                            {lossOutputControl, 1.0}};

TEST_F(Powertrain, AtRestTheEngineSitsOnTheMapCornerAndStaysStopped) {
  auto u = started({{torqueFactorInput, 1.0}});
  EXPECT_EQ(u->getReal(fuelRate), -0.006249999999999999);
  for (int i = 0; i < 40; ++i) {
    ASSERT_EQ(u->doStep(h), fmi2OK);
    ASSERT_EQ(u->getReal(engineSpeed), 0.0);
  }
  EXPECT_EQ(u->getReal(engineRpm), 0.0);
  EXPECT_EQ(u->getReal(fuelRate), -0.006249999999999999);
  EXPECT_NEAR(u->getReal(fuelUsed), -0.00625 * 40 * h, 1e-15);
}

TEST_F(Powertrain, TorqueFactorInputIsUsedOnlyAfterTheFirstOutputTime) {
  // Left at 0 (written so before the first output): the first output still uses
  // torqueFactorInitial, every later time the input, whose zero makes the fuel rate 0/0.
  auto u = started({{torqueFactorInput, 0.0}});
  EXPECT_EQ(u->getReal(fuelRate), -0.006249999999999999);
  ASSERT_EQ(u->doStep(h), fmi2OK);
  EXPECT_TRUE(std::isnan(u->getReal(fuelRate)));
  EXPECT_TRUE(std::isnan(u->getReal(fuelUsed)));
}

TEST_F(Powertrain, TwoThousandRpmAtTwentyPercentThrottleAgainstAStalledConverter) {
  auto u = configured(stall2000);
  u->setReal(throttle, 20.0);
  EXPECT_EQ(u->getReal(engineRpm), 2000.0);
  EXPECT_EQ(u->getReal(fuelRate), 1.624475);
  // With the clutch open, the engine carries the impeller torque alone; the gearbox loss (read as
  // a torque through the switched loss output) is that of the turbine torque, 1.9 times as large.
  const double impeller = ((24.7 * 1e-06) * 1.0) * (2000.0 * 2000.0);
  EXPECT_EQ(u->getReal(engineLoadTorque), -impeller);
  EXPECT_NEAR(impeller, 98.8, 1e-12);
  const double turbine = 1.9 * impeller;
  EXPECT_EQ(u->getReal(gearboxLossPower), turbine - 0.9 * turbine);
  u->exitInitialization();
  ASSERT_EQ(u->doStep(h), fmi2OK);
  EXPECT_GT(u->getReal(engineRpm), 2000.0) << "115.725 N·m beat the converter's 98.8 N·m";
}

TEST_F(Powertrain, EitherCutOffClosesThrottleAndFuel) {
  for (fmi2ValueReference cut : {cutoffA, cutoffB}) {
    auto u = configured(stall2000);
    u->setReal(throttle, 20.0);
    u->setBoolean(cut, fmi2True);
    EXPECT_EQ(u->getReal(fuelRate), 0.0);
    u->exitInitialization();
    ASSERT_EQ(u->doStep(h), fmi2OK);
    EXPECT_EQ(u->getReal(fuelRate), 0.0);
    EXPECT_LT(u->getReal(engineRpm), 2000.0) << "closed-throttle torque and converter load";
  }
}

TEST_F(Powertrain, GearboxEfficiencyOfOneRemovesTheLossFromTheNextMajorStepOn) {
  auto u = started(stall2000);
  const double loss = u->getReal(gearboxLossPower);
  EXPECT_GT(loss, 18.0);
  u->setReal(gearboxEfficiency, 1.0);
  EXPECT_EQ(u->getReal(gearboxLossPower), loss);
  ASSERT_EQ(u->doStep(h), fmi2OK);
  EXPECT_EQ(u->getReal(gearboxLossPower), 0.0);
}

TEST_F(Powertrain, LockupCommandZeroHoldsTheClutchTwistAndLeavingZeroResetsItOnce) {
  // At rest the clutch spring alone loads the engine: engineLoadTorque = -200 N·m/rad x twist.
  auto u = started({{torqueFactorInput, 1.0}, {clutchTwistReset, 0.5}});
  EXPECT_DOUBLE_EQ(u->getReal(engineLoadTorque), -100.0);
  auto stepWithReset = [&](double reset) {
    u->setReal(clutchTwistReset, reset);
    EXPECT_EQ(u->doStep(h), fmi2OK);
    return u->getReal(engineLoadTorque);
  };
  EXPECT_DOUBLE_EQ(stepWithReset(0.2), -40.0) << "held at the reset value at every major step";
  u->setReal(lockupCommand, 1e-300);
  EXPECT_DOUBLE_EQ(stepWithReset(0.3), -60.0) << "reset once more where the command leaves 0";
  EXPECT_DOUBLE_EQ(stepWithReset(0.4), -60.0) << "any non-zero command releases the reset";
  u->setReal(lockupCommand, 0.0);
  EXPECT_DOUBLE_EQ(stepWithReset(0.45), -90.0);
}

TEST_F(Powertrain, MapElementsAndSpeedLimitsReadAndActAtTheirValueReferences) {
  auto fresh = unit->create({}, test_support::SharedUnit::Stage::instantiated);
  EXPECT_EQ(fresh->getReal(fuelMapFirst), 0.0);
  EXPECT_EQ(fresh->getReal(fuelMapLast), 11.0625);
  EXPECT_EQ(fresh->getReal(engineSpeedUpper), inf);
  EXPECT_EQ(fresh->getReal(outputShaftSpeedUpper), inf);
  EXPECT_EQ(fresh->getReal(gearboxEfficiency), 0.9);
  EXPECT_EQ(fresh->getReal(radPerSecToRpmRef), radPerSecToRpm);

  // The closed-throttle point at rest extrapolates from the map's first cell.
  auto rest = configured({});
  const double corner = rest->getReal(fuelRate);
  rest->setReal(fuelMapFirst, 0.5);
  EXPECT_NE(rest->getReal(fuelRate), corner);

  // 150 N·m at 6500 rpm is the fuel map's last element.
  auto top = configured({{initialEngineSpeed, 6500.0 / radPerSecToRpm}, {torqueMapLast, 150.0}});
  top->setReal(throttle, 100.0);
  EXPECT_DOUBLE_EQ(top->getReal(fuelRate), 11.0625);
  top->setReal(fuelMapLast, 12.0);
  EXPECT_DOUBLE_EQ(top->getReal(fuelRate), 12.0);

  auto limited = configured({{initialEngineSpeed, 2000.0 / radPerSecToRpm},
                             {engineSpeedUpper, 100.0},
                             {initialOutputShaftSpeed, 50.0},
                             {outputShaftSpeedUpper, 10.0}});
  EXPECT_EQ(limited->getReal(engineSpeed), 100.0);
  EXPECT_EQ(limited->getReal(outputShaftRpm), 10.0 * radPerSecToRpm);
}

TEST_F(Powertrain, SparesAndPowerSelectorsChangeNothing) {
  auto run = [&](bool disturb) {
    auto u = started({{initialEngineSpeed, 150.0}, {torqueFactorInput, 1.0}});
    u->setReal(throttle, 30.0);
    u->setReal(ratioCommand, 2.0);
    u->setReal(lockupCommand, 0.5);
    u->setReal(wheelSpeed, 3.0);
    std::vector<double> out;
    for (int i = 0; i < 200; ++i) {
      if (disturb && i == 50) {
        for (fmi2ValueReference vr : inert) u->setReal(vr, 1e6 + vr);
      }
      EXPECT_EQ(u->doStep(h), fmi2OK);
      for (fmi2ValueReference vr = outputShaftRpm; vr <= engineSpeed; ++vr) {
        out.push_back(u->getReal(vr));
      }
    }
    return out;
  };
  const std::vector<double> reference = run(false);
  EXPECT_GT(reference[reference.size() - 8], 0.0) << "the output shaft turns";
  EXPECT_EQ(reference, run(true));
}

TEST_F(Powertrain, BooleanInputsStoreTrueOnlyForOne) {
  auto u = started({});
  for (fmi2ValueReference vr : {cutoffA, cutoffB}) {
    u->setBoolean(vr, 2);
    EXPECT_FALSE(u->getBoolean(vr));
    u->setBoolean(vr, -1);
    EXPECT_FALSE(u->getBoolean(vr));
    u->setBoolean(vr, 1);
    EXPECT_TRUE(u->getBoolean(vr));
  }
}

TEST_F(Powertrain, MapIndexWritesThatWouldLeaveAMapAreRefused) {
  auto u = started(stall2000);
  u->setReal(throttle, 45.0);
  struct Case {
    fmi2ValueReference vr;
    int value;
  };
  for (const Case c : {Case{fuelMapMaxTorque, 0}, Case{fuelMapMaxTorque, 8},
                       Case{fuelMapMaxSpeed, 13}, Case{torqueMapMaxThrottle, 8},
                       Case{torqueMapMaxSpeed, 8}, Case{torqueMapMaxSpeed, -1}}) {
    const int before = u->getInteger(c.vr);
    u->log().clear();
    EXPECT_EQ(u->setInteger(c.vr, c.value), fmi2Error) << c.vr << " <- " << c.value;
    EXPECT_EQ(u->getInteger(c.vr), before);
    EXPECT_TRUE(u->log().contains("is not accepted")) << c.vr;
  }
  // Smaller maps stay inside the stored ones; the clipping torque map takes a single breakpoint.
  for (const Case c : {Case{fuelMapMaxTorque, 1}, Case{fuelMapMaxSpeed, 3},
                       Case{torqueMapMaxThrottle, 0}, Case{torqueMapMaxSpeed, 2}}) {
    EXPECT_EQ(u->setInteger(c.vr, c.value), fmi2OK);
    EXPECT_EQ(u->getInteger(c.vr), c.value);
  }
  for (int i = 0; i < 40; ++i) ASSERT_EQ(u->doStep(h), fmi2OK);
  EXPECT_TRUE(std::isfinite(u->getReal(fuelRate)));
  EXPECT_TRUE(std::isfinite(u->getReal(engineRpm)));
}

}  // namespace
