// The electrical unit driven through the FMI calls of the built library, as a master drives it.
// Signals that are not outputs are read back from outputs: the battery current from the terminal
// voltage of the first step (the RC branch is still empty then) or from the charge summed over one
// step, the alternator current from the battery current and the loads.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <fstream>
#include <initializer_list>
#include <map>
#include <memory>
#include <sstream>
#include <vector>

#include "runtime/sim_model.h"
#include "tests/support/unit_library.h"
#include "tests/support/variable_catalogue.h"

namespace {

using test_support::UnitInstance;

// Value references of the electrical unit, by name from its model description.
fmi2ValueReference vr(const char* name) {
  return test_support::describedVariables(ZORVEL_DESCRIPTION).reference(name);
}
const fmi2ValueReference voltageSetpoint = vr("voltageSetpoint");
const fmi2ValueReference loadSwitch = vr("loadSwitch");
const fmi2ValueReference engineSpeed = vr("engineSpeed");
const fmi2ValueReference stateOfCharge = vr("stateOfCharge");
const fmi2ValueReference alternatorLoadTorque = vr("alternatorLoadTorque");
const fmi2ValueReference constantOutput = vr("constantOutput");
const fmi2ValueReference driveLossPower = vr("driveLossPower");
const fmi2ValueReference stateOfChargeMirror = vr("stateOfChargeMirror");
const fmi2ValueReference busVoltage = vr("busVoltage");
const fmi2ValueReference dragCapCurrent = vr("dragCapCurrent");
const fmi2ValueReference dragCapVoltage = vr("dragCapVoltage");
const fmi2ValueReference firstMapEntry = vr("dragTorqueMap[1]");
const fmi2ValueReference lastMapEntry = vr("dragTorqueMap[648]");
const fmi2ValueReference regulatorGain = vr("regulatorGain");
const fmi2ValueReference dragTorqueFloor = vr("dragTorqueFloor");
const fmi2ValueReference initialAlternatorSpeed = vr("initialAlternatorSpeed");
const fmi2ValueReference regulatorFloor = vr("regulatorFloor");
const fmi2ValueReference maxCurrentFloor = vr("maxCurrentFloor");
const fmi2ValueReference lossOutputControl = vr("lossOutputControl");
const fmi2ValueReference loadSwitchThreshold = vr("loadSwitchThreshold");
const fmi2ValueReference radPerSecToRpm = vr("radPerSecToRpm");
const fmi2ValueReference outputs[] = {stateOfCharge,  alternatorLoadTorque, constantOutput,
                                      driveLossPower, stateOfChargeMirror,  busVoltage};

// Integer value references: the read strides of the running and the cap map lookup.
const fmi2ValueReference currentStride = vr("dragStrides[2]");
const fmi2ValueReference voltageStride = vr("dragStrides[3]");
const fmi2ValueReference capCurrentStride = vr("dragCapStrides[2]");
const fmi2ValueReference capVoltageStride = vr("dragCapStrides[3]");

constexpr double h = runtime::fixedStepSize;
constexpr double rpmPerRadPerSec = 9.549296585513721;
constexpr double capacity = 3600.0 * 48.0;  // A·s
constexpr double baseLoad = 0.72;           // Ohm
constexpr double ohmic = 0.02;              // Ohm

class Electrical : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    unit = std::make_unique<test_support::SharedUnit>(ZORVEL_LIBRARY, ZORVEL_DESCRIPTION);
  }
  static void TearDownTestSuite() { unit.reset(); }

  // An instance with parameters (and inputs) written before the experiment is set up.
  std::unique_ptr<UnitInstance> instance(const test_support::SharedUnit::RealSettings& before = {}) {
    return unit->create(before);
  }

  static std::vector<double> readOutputs(UnitInstance& u) {
    std::vector<double> v;
    for (fmi2ValueReference vr : outputs) v.push_back(u.getReal(vr));
    return v;
  }

  // Runs `seconds` in communication steps of 0.1 s.
  static void run(UnitInstance& u, double seconds) {
    const int steps = static_cast<int>(std::lround(seconds / 0.1));
    for (int i = 0; i < steps; ++i) ASSERT_EQ(u.doStep(0.1), fmi2OK);
  }

  // Alternator current of the next fixed step, from the charge it adds and the base load at the
  // bus voltage it uses (switched load off).
  static double nextAlternatorCurrent(UnitInstance& u) {
    const double before = u.getReal(stateOfCharge);
    EXPECT_EQ(u.doStep(h), fmi2OK);
    const double batteryCurrent = (u.getReal(stateOfCharge) - before) / 100.0 * capacity / h;
    return batteryCurrent + u.getReal(busVoltage) / baseLoad;
  }

  static inline std::unique_ptr<test_support::SharedUnit> unit;
};

TEST_F(Electrical, FirstMajorStepAfterInitialisation) {
  auto u = instance();
  EXPECT_EQ(u->getReal(busVoltage), 12.0);
  EXPECT_EQ(u->getReal(stateOfCharge), 100.0);
  EXPECT_EQ(u->getReal(stateOfChargeMirror), 100.0);
  EXPECT_EQ(u->getReal(constantOutput), 0.0);
  EXPECT_EQ(u->getReal(alternatorLoadTorque), 0.0);
  EXPECT_EQ(u->getReal(driveLossPower), 0.0);

  // No alternator current; the base load of 12 V / 0.72 Ohm discharges the battery, whose
  // terminal voltage becomes the bus voltage of the next step.
  const double batteryCurrent = 0.0 - ((1.0 / 0.12) * 0.0 + 12.0 / baseLoad);
  const double terminalVoltage = 12.0 + ((0.1 * 0.0) + (batteryCurrent * ohmic));
  EXPECT_NEAR(batteryCurrent, -16.666666666666668, 1e-14);
  EXPECT_NEAR(terminalVoltage, 11.666666666666666, 1e-14);
  ASSERT_EQ(u->doStep(h), fmi2OK);
  EXPECT_EQ(u->getReal(busVoltage), terminalVoltage);
  EXPECT_LT(u->getReal(stateOfCharge), 100.0);
}

// With the regulator's floor far above every limit and its bus-error gain off, the alternator
// delivers exactly the current limit at the speed of the first step.
TEST_F(Electrical, CurrentLimitFollowsTheAlternatorSpeedCurveClippedAtItsEnds) {
  auto limitAt = [&](double rpm) {
    auto u = instance({{regulatorFloor, 1000.0},
                       {regulatorGain, 0.0},
                       {initialAlternatorSpeed, rpm / rpmPerRadPerSec}});
    EXPECT_EQ(u->doStep(h), fmi2OK);
    return (u->getReal(busVoltage) - 12.0) / ohmic + 12.0 / baseLoad;
  };
  EXPECT_NEAR(limitAt(0.0), 40.0, 1e-9) << "below the curve: its first value, not 0";
  EXPECT_NEAR(limitAt(2250.0), 135.0, 1e-9) << "halfway between 125 A and 145 A";
  EXPECT_NEAR(limitAt(9000.0), 177.0, 1e-9) << "above the curve: its last value";
  EXPECT_NEAR(limitAt(1250.0), 50.0, 1e-9);
}

TEST_F(Electrical, SwitchedLoadNeedsMoreThanItsThreshold) {
  auto firstTerminalVoltage = [&](double loadSwitchValue, double threshold = 0.5) {
    auto u = instance({{loadSwitch, loadSwitchValue}, {loadSwitchThreshold, threshold}});
    EXPECT_EQ(u->doStep(h), fmi2OK);
    return u->getReal(busVoltage);
  };
  const double off = firstTerminalVoltage(0.0);
  EXPECT_EQ(firstTerminalVoltage(0.5), off);
  // On at 12 V: 100 A more through 0.02 Ohm.
  EXPECT_NEAR(firstTerminalVoltage(0.5000001) - off, -100.0 * ohmic, 1e-12);
  EXPECT_EQ(firstTerminalVoltage(1.0, 2.0), off);
}

TEST_F(Electrical, LongDischargeHoldsTheChargeAtItsLowerLimit) {
  auto u = instance({{loadSwitch, 1.0}});
  double previous = 100.0;
  for (int second = 0; second < 1200 && previous > 0.0; ++second) {
    run(*u, 1.0);
    const double soc = u->getReal(stateOfCharge);
    ASSERT_LE(soc, previous);
    previous = soc;
  }
  ASSERT_EQ(previous, 0.0) << "the battery never emptied";
  run(*u, 10.0);
  EXPECT_EQ(u->getReal(stateOfCharge), 0.0);
  EXPECT_EQ(u->getReal(stateOfChargeMirror), 0.0);
  // Settled with the set point at 0 V: alternator current -100 A/V times the bus voltage, both
  // loads on, and 0.03 Ohm (ohmic plus RC branch) from the open-circuit voltage of 10.5 V.
  const double conductance = 100.0 + 1.0 / 0.12 + 1.0 / baseLoad;
  EXPECT_NEAR(u->getReal(busVoltage), 10.5 / (1.0 + 0.03 * conductance), 1e-9);
}

TEST_F(Electrical, LongChargeStopsAtTheUpperLimit) {
  auto u = instance({{voltageSetpoint, 14.0}, {engineSpeed, 300.0}});
  const double upper = (((120.0 * 0.01) * capacity) / capacity) * 100.0;
  double previous = 0.0;
  for (int second = 0; second < 1200 && previous != upper; ++second) {
    run(*u, 1.0);
    previous = u->getReal(stateOfCharge);
  }
  ASSERT_EQ(previous, upper) << "the battery never filled";
  EXPECT_NEAR(upper, 120.0, 1e-12);
  run(*u, 10.0);
  EXPECT_EQ(u->getReal(stateOfCharge), upper);
  // Settled: the regulator gives 2 V / 0.02 Ohm plus 100 A/V times (14 V - bus voltage); the
  // open-circuit voltage stays 12.0 V above full charge.
  const double conductance = 100.0 + 1.0 / baseLoad;
  EXPECT_NEAR(u->getReal(busVoltage), (12.0 + 0.03 * (100.0 + 1400.0)) / (1.0 + 0.03 * conductance),
              1e-9);
}

TEST_F(Electrical, FourteenVoltSetPointDrivesTheAlternatorToItsSpeedLimit) {
  // 1300 rpm at the alternator: a limit of 60 A, far below the 300 A the regulator asks for.
  auto u = instance({{voltageSetpoint, 14.0}, {engineSpeed, 1300.0 / (rpmPerRadPerSec * 1.12)}});
  run(*u, 1.0);
  EXPECT_NEAR(nextAlternatorCurrent(*u), 60.0, 1e-6);
  EXPECT_NEAR(nextAlternatorCurrent(*u), 60.0, 1e-6);
}

// Through a step the stages keep the drag torque of the last current; with the current held at
// its limit (the same bits all along) a map written between two steps must still be seen.
TEST_F(Electrical, DragMapWrittenBetweenStepsIsSeenWhileTheCurrentIsHeld) {
  const test_support::SharedUnit::RealSettings held = {
      {voltageSetpoint, 14.0}, {engineSpeed, 1300.0 / (rpmPerRadPerSec * 1.12)}};
  auto flat = instance(held), late = instance(held);
  ASSERT_EQ(lastMapEntry - firstMapEntry, 647u);
  auto flatten = [](UnitInstance& u) {
    for (fmi2ValueReference r = firstMapEntry; r <= lastMapEntry; ++r) u.setReal(r, 100.0);
  };
  flatten(*flat);
  run(*flat, 1.0);
  run(*late, 1.0);
  const double before = late->getReal(alternatorLoadTorque);
  flatten(*late);
  run(*flat, 4.0);
  run(*late, 4.0);
  EXPECT_NE(before, flat->getReal(alternatorLoadTorque));
  EXPECT_NEAR(late->getReal(alternatorLoadTorque), flat->getReal(alternatorLoadTorque), 1e-9)
      << "before the write " << before;
}

TEST_F(Electrical, LossOutputControlSwitchesDriveLossPowerToTheTorqueLoss) {
  const double speed = 300.0;
  auto reference = instance({{voltageSetpoint, 14.0}, {engineSpeed, speed}});
  auto switched = instance({{voltageSetpoint, 14.0}, {engineSpeed, speed}});
  run(*reference, 0.5);
  run(*switched, 0.5);
  switched->setReal(lossOutputControl, 1.0);
  EXPECT_EQ(switched->getReal(driveLossPower), reference->getReal(driveLossPower))
      << "the selector is held until the next major step";

  ASSERT_EQ(reference->doStep(h), fmi2OK);
  ASSERT_EQ(switched->doStep(h), fmi2OK);
  const double torqueLoss = switched->getReal(driveLossPower);
  EXPECT_EQ(reference->getReal(driveLossPower), speed * torqueLoss);
  EXPECT_EQ(switched->getReal(alternatorLoadTorque), reference->getReal(alternatorLoadTorque));
  // The alternator drags: the engine-side torque T is positive, the load torque is -T / 0.97 and
  // the torque loss T - T / 0.97 is negative.
  const double loadTorque = switched->getReal(alternatorLoadTorque);
  EXPECT_LT(loadTorque, 0.0);
  EXPECT_LT(torqueLoss, 0.0);
  EXPECT_NEAR(torqueLoss, loadTorque * (1.0 - 0.97), 1e-12);
}

TEST_F(Electrical, ParametersMarkedNoEffectChangeNothing) {
  const fmi2ValueReference noEffectReals[] = {736, 737, 738, 739, 740, 741, 742, 743, 754, 765, 766,
                                              767, 768, 769, 770, 771, 772, 775, 776, 777, 778};
  const fmi2ValueReference unreadIntegers[] = {0, 3, 4, 5, 6, 9, 10, 11};
  auto trace = [&](bool disturb) {
    auto u = instance({{voltageSetpoint, 14.0}, {engineSpeed, 250.0}, {loadSwitch, 1.0}});
    std::vector<double> values;
    for (int i = 0; i < 400; ++i) {
      if (disturb && i == 100) {
        for (fmi2ValueReference vr : noEffectReals)
          u->setReal(vr, vr % 2 == 0 ? std::nan("") : 1e6);
        for (fmi2ValueReference vr : unreadIntegers) {
          // Any value, negative ones included, is stored and reads back as written.
          for (int value : {-1, INT32_MIN, INT32_MAX, -5}) {
            EXPECT_EQ(u->setInteger(vr, value), fmi2OK) << vr << " = " << value;
            EXPECT_EQ(u->getInteger(vr), value) << vr;
          }
        }
      }
      EXPECT_EQ(u->doStep(h), fmi2OK);
      for (double v : readOutputs(*u)) values.push_back(v);
    }
    return values;
  };
  EXPECT_EQ(trace(false), trace(true));
}

// The NaN rules of the current limit and of the drag-torque limits: a NaN second operand never
// wins, a NaN first operand yields the second.
TEST_F(Electrical, NaNLimitsAreIgnoredAndNaNInputsPropagate) {
  auto trace = [&](std::initializer_list<std::pair<fmi2ValueReference, double>> before) {
    auto u = instance(before);
    u->setReal(voltageSetpoint, 14.0);
    u->setReal(engineSpeed, 250.0);
    run(*u, 0.5);
    return readOutputs(*u);
  };
  const std::vector<double> normal = trace({});
  EXPECT_EQ(trace({{maxCurrentFloor, std::nan("")}, {dragTorqueFloor, std::nan("")}}), normal);
  // A NaN cap point gives a NaN cap, which leaves the map's torque uncapped.
  const std::vector<double> uncapped = trace({{dragCapCurrent, std::nan("")}});
  EXPECT_LT(uncapped[1], normal[1]) << "a larger load torque on the engine";
  EXPECT_TRUE(std::isfinite(uncapped[1]));

  // A NaN regulator floor makes the regulator's demand NaN, so the current limit is taken.
  auto u = instance({{regulatorFloor, std::nan("")}});
  ASSERT_EQ(u->doStep(h), fmi2OK);
  EXPECT_NEAR((u->getReal(busVoltage) - 12.0) / ohmic + 12.0 / baseLoad, 40.0, 1e-9);

  // A NaN engine speed: the loss power is NaN at once; the current curve gives its last value and
  // the drag torque falls to its floor, so the battery stays finite.
  auto v = instance({{initialAlternatorSpeed, std::nan("")}, {engineSpeed, std::nan("")}});
  run(*v, 0.5);
  EXPECT_TRUE(std::isnan(v->getReal(driveLossPower)));
  EXPECT_TRUE(std::isfinite(v->getReal(stateOfCharge)));
  EXPECT_TRUE(std::isfinite(v->getReal(busVoltage)));
  EXPECT_EQ(v->getReal(alternatorLoadTorque), 0.0) << "no drag torque builds up";
}

// The name of the scalar variable with value reference `vr` of `type` in a model description.
// The type element (<Real ... /> and so on) of the scalar variable with a value reference of a
// type in a model description, and the name of that variable; empty when there is none.
struct Scalar {
  std::string name;
  std::string element;
};

Scalar scalarOf(const std::string& xml, fmi2ValueReference vr, const std::string& type) {
  const std::string reference = "\" valueReference=\"" + std::to_string(vr) + "\"";
  for (std::size_t at = xml.find(reference); at != std::string::npos;
       at = xml.find(reference, at + 1)) {
    const std::size_t close = xml.find('>', at);
    const std::size_t element = xml.find('<', close);
    if (element == std::string::npos || xml.compare(element + 1, type.size(), type) != 0) continue;
    const std::size_t name = xml.rfind("name=\"", at);
    return {xml.substr(name + 6, at - (name + 6)),
            xml.substr(element, xml.find("/>", element) - element)};
  }
  return {};
}

std::string scalarName(const std::string& xml, fmi2ValueReference vr, const std::string& type) {
  return scalarOf(xml, vr, type).name;
}

TEST_F(Electrical, ValueReferencesReadTheStoredDefaults) {
  auto u = instance();
  EXPECT_EQ(u->getReal(firstMapEntry), 0.25);
  EXPECT_EQ(u->getReal(lastMapEntry), 6.11) << "14.5 V, 77 A, 7000 rpm";
  EXPECT_EQ(u->getReal(radPerSecToRpm), 9.549296585513721);
  EXPECT_EQ(u->getInteger(1), 18);
  EXPECT_EQ(u->getInteger(2), 216);
  EXPECT_EQ(u->getInteger(3), 17);
  EXPECT_EQ(u->getInteger(4), 11);
  EXPECT_EQ(u->getInteger(5), 2);

  // The scalars after the record-ordered tables, in the map's own order.
  // clang-format off
  const double tail[] = {
      -1.0, 0.0, 3.0, 1.0, 0.0, 0.5, 3.0, 1.0, 0.0, 0.5,         // 734: loadTorqueSign ...
      -20.0, 20.0, 0.0, 0.0, -20.0, 20.0, 12.0, 0.0, -100.0, 100.0,  // 744: errorLagA ...
      3.0, 1.0, 0.0, 0.5, 1.0, -1.0, -1.0, 1.0, 0.0, 0.0,        // 754: reserved3 ...
      0.0, 3.0, 1.0, 0.0, 0.5, 3.0, 1.0, 0.0, 0.5, -10.0,        // 764: initialChargeTime ...
      0.1, 3.0, 1.0, 0.0, 0.5, 0.5, 0.72, 0.0, 0.12, 3600.0,     // 774: polarizationC ...
      100.0, 0.01, 9.549296585513721};                           // 784: percentScale ...
  // clang-format on
  static_assert(std::size(tail) == 53);
  for (fmi2ValueReference i = 0; i < 53; ++i) EXPECT_EQ(u->getReal(734 + i), tail[i]) << 734 + i;
  std::ifstream in(ZORVEL_DESCRIPTION);
  std::stringstream text;
  text << in.rdbuf();
  const std::string xml = text.str();
  EXPECT_EQ(scalarName(xml, 9, "Real"), "dragCapCurrent");
  EXPECT_EQ(scalarName(xml, 686, "Real"), "dragTorqueMap[648]");
  EXPECT_EQ(scalarName(xml, 720, "Real"), "regulatorGain");
  EXPECT_EQ(scalarName(xml, 744, "Real"), "errorLagA");
  EXPECT_EQ(scalarName(xml, 786, "Real"), "radPerSecToRpm");
  EXPECT_EQ(scalarName(xml, 787, "Real"), "");
  EXPECT_EQ(scalarName(xml, 0, "Integer"), "dragStrides[1]");
  EXPECT_EQ(scalarName(xml, 3, "Integer"), "dragMaxIndex[1]");
  EXPECT_EQ(scalarName(xml, 11, "Integer"), "dragCapMaxIndex[3]");
  // Only the read strides declare limits.
  auto integerElement = [&xml](fmi2ValueReference vr) { return scalarOf(xml, vr, "Integer").element; };
  for (fmi2ValueReference vr : {0, 3, 4, 5, 6, 9, 10, 11}) {
    EXPECT_TRUE(integerElement(vr).starts_with("<Integer start=")) << integerElement(vr);
  }
  EXPECT_EQ(integerElement(1), "<Integer min=\"0\" max=\"57\" start=\"18\"");
  EXPECT_EQ(integerElement(8), "<Integer min=\"0\" max=\"315\" start=\"216\"");
}

// The read strides s1 (current) and s2 (voltage) of each map lookup must keep its highest read,
// 17 + 11 * s1 + 2 * s2, inside the 648 entries; the defaults 18 and 216 fill the map exactly.
TEST_F(Electrical, StrideWritesThatWouldLeaveTheMapAreRefused) {
  auto u = instance();
  struct Write {
    fmi2ValueReference vr;
    int value;
    fmi2Status status;
  };
  // clang-format off
  const Write writes[] = {
      {currentStride, 19, fmi2Error}, {voltageStride, 217, fmi2Error},  // the defaults fill the map
      {currentStride, -1, fmi2Error}, {currentStride, 58, fmi2Error}, {voltageStride, 316, fmi2Error},
      {voltageStride, 0, fmi2OK}, {currentStride, 57, fmi2OK},          // 17 + 627 = 644
      {voltageStride, 2, fmi2Error}, {voltageStride, 1, fmi2OK},        // 648 is past the end, 646 not
      {currentStride, 0, fmi2OK}, {voltageStride, 315, fmi2OK}, {currentStride, 1, fmi2Error},
      {capCurrentStride, 19, fmi2Error}, {capVoltageStride, 217, fmi2Error},
      {capCurrentStride, 390451573, fmi2Error},                         // 11 x this wraps in 32 bits
      {capVoltageStride, 100, fmi2OK}, {capCurrentStride, 39, fmi2OK}, {capCurrentStride, 40, fmi2Error},
  };
  // clang-format on
  std::map<fmi2ValueReference, int> stored = {
      {currentStride, 18}, {voltageStride, 216}, {capCurrentStride, 18}, {capVoltageStride, 216}};
  for (const Write& w : writes) {
    u->log().clear();
    EXPECT_EQ(u->setInteger(w.vr, w.value), w.status) << w.vr << " = " << w.value;
    if (w.status == fmi2OK) {
      stored[w.vr] = w.value;
    } else {
      ASSERT_NE(u->log().last(), nullptr);
      EXPECT_EQ(u->log().last()->status, fmi2Error);
    }
    for (const auto& [vr, value] : stored) EXPECT_EQ(u->getInteger(vr), value) << vr;
  }
}

// The two read strides of a lookup may move together in one call: each value is judged with the
// other stride as the call leaves it.
TEST_F(Electrical, BothStridesOfALookupMoveInOneCall) {
  auto u = instance();
  auto set = [&u](std::initializer_list<fmi2ValueReference> vr, std::initializer_list<int> values) {
    return unit->library().fmi2SetInteger(u->component(), std::data(vr), vr.size(),
                                          std::data(values));
  };
  // 57 with the voltage stride 216 would leave the map, with 1 it does not.
  EXPECT_EQ(set({currentStride, voltageStride}, {57, 1}), fmi2OK);
  EXPECT_EQ(set({capVoltageStride, capCurrentStride}, {1, 57}), fmi2OK);
  EXPECT_EQ(u->getInteger(currentStride), 57);
  EXPECT_EQ(u->getInteger(capVoltageStride), 1);
  // Back to the defaults in either order; a pair that leaves the map refuses both.
  EXPECT_EQ(set({voltageStride, currentStride}, {216, 18}), fmi2OK);
  EXPECT_EQ(set({capCurrentStride, capVoltageStride}, {18, 217}), fmi2Error);
  EXPECT_EQ(u->getInteger(capCurrentStride), 57);
  EXPECT_EQ(u->getInteger(capVoltageStride), 1);
  EXPECT_EQ(u->getInteger(currentStride), 18);
  EXPECT_EQ(u->getInteger(voltageStride), 216);
}

TEST_F(Electrical, RefusedStrideWritesLeaveTheModelUntouched) {
  auto trace = [&](bool hostile) {
    auto u = instance({{voltageSetpoint, 14.0}, {engineSpeed, 700.0}});
    if (hostile) {
      // Negative, huge, above the declared maximum, and one above the default (the map is full).
      for (fmi2ValueReference vr :
           {currentStride, voltageStride, capCurrentStride, capVoltageStride}) {
        const bool current = vr == currentStride || vr == capCurrentStride;
        for (int value : {-1, 2147483647, 65536, 316, current ? 19 : 217}) {
          EXPECT_EQ(u->setInteger(vr, value), fmi2Error) << vr << " = " << value;
        }
      }
    }
    std::vector<double> values;
    for (int i = 0; i < 400; ++i) {
      EXPECT_EQ(u->doStep(h), fmi2OK);
      for (double v : readOutputs(*u)) values.push_back(v);
    }
    return values;
  };
  const std::vector<double> hostile = trace(true);
  for (double v : hostile) ASSERT_TRUE(std::isfinite(v));
  EXPECT_EQ(hostile, trace(false));
}

// With every map entry 5 N·m, any read inside the map gives 5 N·m, while a read past its end
// would pick up the speed axis (1200 rpm and more). The lookups run at the far corner of all three
// axes (the highest reads) with the largest strides that are accepted.
TEST_F(Electrical, AcceptedExtremeStridesReadOnlyInsideTheMap) {
  auto settledLoadTorque = [&](int s1, int s2) {
    auto u = instance({{regulatorFloor, 1000.0},
                       {regulatorGain, 0.0},
                       {engineSpeed, 1000.0},
                       {dragCapCurrent, 100.0},
                       {dragCapVoltage, 20.0}});
    for (fmi2ValueReference vr = firstMapEntry; vr <= lastMapEntry; ++vr) u->setReal(vr, 5.0);
    EXPECT_EQ(u->setInteger(voltageStride, 0), fmi2OK);
    EXPECT_EQ(u->setInteger(capVoltageStride, 0), fmi2OK);
    EXPECT_EQ(u->setInteger(currentStride, s1), fmi2OK);
    EXPECT_EQ(u->setInteger(capCurrentStride, s1), fmi2OK);
    EXPECT_EQ(u->setInteger(voltageStride, s2), fmi2OK);
    EXPECT_EQ(u->setInteger(capVoltageStride, s2), fmi2OK);
    run(*u, 0.5);
    EXPECT_GT(u->getReal(busVoltage), 14.5) << "the voltage axis is read beyond its end";
    return u->getReal(alternatorLoadTorque);
  };
  const double expected = -(5.0 * 1.12) / 0.97;
  EXPECT_NEAR(settledLoadTorque(57, 1), expected, 1e-9);
  EXPECT_NEAR(settledLoadTorque(0, 315), expected, 1e-9);
  EXPECT_NEAR(settledLoadTorque(18, 216), expected, 1e-9);
}

}  // namespace
