// The powertrain unit driven through the FMI calls of the built library, as a master drives it.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <regex>
#include <utility>
#include <vector>

#include "runtime/sim_model.h"
#include "tests/support/unit_library.h"
#include "tests/support/variable_catalogue.h"

namespace {

using test_support::UnitInstance;

// Value references of the powertrain unit, by name from its model description.
const test_support::Catalogue& powertrain() { return test_support::describedVariables(KADMIR_DESCRIPTION); }
fmi2ValueReference vr(const char* name) { return powertrain().reference(name); }
const fmi2ValueReference wheelSpeed = vr("wheelSpeed");
const fmi2ValueReference ratioCommand = vr("ratioCommand");
const fmi2ValueReference lockupCommand = vr("lockupCommand");
const fmi2ValueReference spareInput = vr("spareInput");
const fmi2ValueReference throttle = vr("throttle");
const fmi2ValueReference torqueFactorInput = vr("torqueFactorInput");
const fmi2ValueReference outputShaftRpm = vr("outputShaftRpm");
const fmi2ValueReference engineRpm = vr("engineRpm");
const fmi2ValueReference fuelUsed = vr("fuelUsed");
const fmi2ValueReference fuelRate = vr("fuelRate");
const fmi2ValueReference gearboxLossPower = vr("gearboxLossPower");
const fmi2ValueReference engineLoadTorque = vr("engineLoadTorque");
const fmi2ValueReference engineSpeed = vr("engineSpeed");
const fmi2ValueReference fuelMapFirst = vr("fuelMap[1]");
const fmi2ValueReference fuelMapLast = vr("fuelMap[104]");
const fmi2ValueReference torqueMapLast = vr("torqueMap[64]");
const fmi2ValueReference engineSpeedUpper = vr("engineSpeedUpper");
const fmi2ValueReference initialOutputShaftSpeed = vr("initialOutputShaftSpeed");
const fmi2ValueReference outputShaftSpeedUpper = vr("outputShaftSpeedUpper");
const fmi2ValueReference clutchTwistReset = vr("clutchTwistReset");
const fmi2ValueReference lossOutputControl = vr("lossOutputControl");
const fmi2ValueReference initialEngineSpeed = vr("initialEngineSpeed");
const fmi2ValueReference gearboxEfficiency = vr("gearboxEfficiency");
const fmi2ValueReference radPerSecToRpmRef = vr("radPerSecToRpm");
// integers
const fmi2ValueReference fuelMapMaxTorque = vr("fuelMapMaxIndex[1]");
const fmi2ValueReference fuelMapMaxSpeed = vr("fuelMapMaxIndex[2]");
const fmi2ValueReference torqueMapMaxThrottle = vr("torqueMapMaxIndex[1]");
const fmi2ValueReference torqueMapMaxSpeed = vr("torqueMapMaxIndex[2]");
// booleans
const fmi2ValueReference cutoffA = vr("cutoffA");
const fmi2ValueReference cutoffB = vr("cutoffB");

// The spares and the ten power-figure selector triples.
std::vector<fmi2ValueReference> inertReals() {
  const std::regex inert("spareInput|driveSpare[0-9]+|[a-zA-Z]+Power(Value|Control|Threshold)");
  std::vector<fmi2ValueReference> refs;
  for (const test_support::Variable& v : powertrain().variables) {
    if (std::regex_match(v.name, inert)) refs.push_back(v.vr);
  }
  return refs;
}

constexpr double h = runtime::fixedStepSize;
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
  const std::vector<fmi2ValueReference> inert = inertReals();
  ASSERT_EQ(inert.size(), 42u) << "spareInput, eleven spares and ten selector triples";
  const std::vector<fmi2ValueReference> outputs = powertrain().references("Real", "output");
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
      for (fmi2ValueReference vr : outputs) out.push_back(u->getReal(vr));
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
