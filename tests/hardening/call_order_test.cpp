// Start values the way masters write them: before fmi2SetupExperiment, after it, or in
// initialisation mode (with or without reading outputs in between), the same values give the same
// run to the bit and the same messages. And every unit left on its own start values runs for
// 10 s with finite outputs.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "tests/hardening/unit_catalogue.h"
#include "tests/support/unit_library.h"

namespace hardening {
namespace {

constexpr int steps = 1000;  // of 0.01 s

// Values other than the start values, by name, of every kind: the parameters the initial
// conditions read (initial values, the limits states are clamped to, reset values), parameters
// the outputs read, and inputs. Real, Integer or Boolean as the unit declares the variable.
const std::map<std::string, std::vector<std::pair<const char*, double>>> settings = {
    {"TESSIK",
     {{"initialSpeed", 20.0}, {"speedLowerLimit", -1.0}, {"wheelRadius", 0.31},
      {"wheelTorque", 120.0}, {"brakeDemand", 5.0}}},
    {"KADMIR",
     {{"initialEngineSpeed", 150.0}, {"initialOutputShaftSpeed", 40.0}, {"initialShaftTwist", 0.002},
      {"initialFuelUsed", 0.5}, {"clutchTwistReset", 0.01}, {"engineSpeedUpper", 600.0},
      {"finalDriveRatio", 4.1}, {"throttle", 20.0}, {"ratioCommand", 2.6}, {"lockupCommand", 1.0},
      {"wheelSpeed", 5.0}, {"torqueFactorInput", 1.1}, {"cutoffA", 0.0}}},
    {"ZORVEL",
     {{"initialAlternatorSpeed", 100.0}, {"initialBusVoltage", 13.0}, {"initialChargeTime", 0.5},
      {"initialChargeChange", -10.0}, {"initialChargePercent", 80.0}, {"voltageSetpoint", 14.0},
      {"engineSpeed", 200.0}, {"loadSwitch", 1.0}}},
    {"Driver",
     {{"initialTargetSpeed", 30.0}, {"initialSpeedError", 2.0}, {"integralInitial", 5.0},
      {"vehicleMass", 1600.0}, {"targetSpeedKmh", 40.0}, {"actualSpeedKmh", 35.0},
      {"engineSpeedRpm", 1500.0}, {"transmissionRatio", 1.55}}},
    {"DriveCycle", {}},  // its String parameter names a short trace of its own
    {"ShiftController",
     {{"minTimeInGear", 1.0}, {"upshiftKmh[1]", 10.0}, {"gearCount", 4.0},
      {"vehicleSpeedKmh", 30.0}}},
};

// Where the values are written, if at all; with inputsAfterSetup the parameters come before
// set-up and the inputs after it.
enum class Order { none, beforeSetup, afterSetup, inputsAfterSetup, inInitialisation, betweenReads };
enum class Values { parameters, inputs, all };

class CallOrder : public ::testing::TestWithParam<UnitFiles> {
 protected:
  CallOrder()
      : copy(GetParam().library),
        library(copy.path()),
        catalogue(readCatalogue(GetParam().description)),
        keeper(library, catalogue.guid, false, "keeper", false, GetParam().resources) {}

  void write(fmi2Component c, Values values = Values::all) {
    for (const auto& [name, value] : settings.at(GetParam().name)) {
      const fmi2ValueReference vr = catalogue.reference(name);
      const std::string& type = variable(name).type;
      if ((variable(name).causality == "input") != (values == Values::inputs) &&
          values != Values::all) {
        continue;
      }
      fmi2Status status = fmi2Error;
      if (type == "Real") {
        status = library.fmi2SetReal(c, &vr, 1, &value);
      } else {
        const fmi2Integer v = static_cast<fmi2Integer>(value);
        status = type == "Integer" ? library.fmi2SetInteger(c, &vr, 1, &v)
                                   : library.fmi2SetBoolean(c, &vr, 1, &v);
      }
      ASSERT_EQ(status, fmi2OK) << name;
    }
    for (const Variable& v : catalogue.variables) {
      if (v.type != "String" || v.causality != "parameter" || values == Values::inputs) continue;
      const std::string value = stringSetting(GetParam(), v, smallestData);
      const char* text = value.c_str();
      ASSERT_EQ(library.fmi2SetString(c, &v.vr, 1, &text), fmi2OK) << v.name;
    }
  }

  const Variable& variable(const std::string& name) const {
    for (const Variable& v : catalogue.variables) {
      if (v.name == name) return v;
    }
    throw std::runtime_error("no variable " + name);
  }

  // The outputs after initialisation and after every step, and every message of the run.
  struct Run {
    std::vector<uint64_t> outputs;
    std::vector<std::string> messages;
  };

  Run run(Order order) {
    test_support::UnitInstance unit(library, catalogue.guid, false, "unit", true,
                                    GetParam().resources);
    const fmi2Component c = unit.component();
    Run r;
    auto read = [&] {
      for (uint64_t bits : outputBits(library, c, catalogue)) r.outputs.push_back(bits);
    };
    if (order == Order::beforeSetup) write(c);
    if (order == Order::inputsAfterSetup) write(c, Values::parameters);
    EXPECT_EQ(library.fmi2SetupExperiment(c, fmi2False, 0.0, 0.0, fmi2False, 0.0), fmi2OK);
    if (order == Order::afterSetup) write(c);
    if (order == Order::inputsAfterSetup) write(c, Values::inputs);
    EXPECT_EQ(library.fmi2EnterInitializationMode(c), fmi2OK);
    if (order == Order::betweenReads) outputBits(library, c, catalogue);
    if (order == Order::inInitialisation || order == Order::betweenReads) write(c);
    if (order == Order::betweenReads) read();
    EXPECT_EQ(library.fmi2ExitInitializationMode(c), fmi2OK);
    read();
    for (int k = 0; k < steps; ++k) {
      EXPECT_EQ(unit.doStep(0.01), fmi2OK);
      read();
    }
    for (const test_support::LoggedMessage& m : unit.log().messages) {
      r.messages.push_back(std::to_string(m.status) + " " + m.message);
    }
    return r;
  }

  PrivateLibraryCopy copy;
  test_support::UnitLibrary library;
  Catalogue catalogue;
  test_support::UnitInstance keeper;  // the first instance: holds the default parameter record
};

TEST_P(CallOrder, ValuesWrittenAfterSetUpGiveTheSameRun) {
  const Run before = run(Order::beforeSetup);
  ASSERT_NE(before.outputs, run(Order::none).outputs)
      << "the values must change the run for the comparison to mean something";
  const Run after = run(Order::afterSetup);
  EXPECT_TRUE(after.outputs == before.outputs) << "written after fmi2SetupExperiment";
  EXPECT_EQ(after.messages, before.messages);
  const Run inputsAfter = run(Order::inputsAfterSetup);
  EXPECT_TRUE(inputsAfter.outputs == before.outputs) << "inputs written after fmi2SetupExperiment";
  const Run initialising = run(Order::inInitialisation);
  EXPECT_TRUE(initialising.outputs == before.outputs) << "written in initialisation mode";
  EXPECT_EQ(initialising.messages, before.messages);
  // A master that reads the outputs in initialisation sees them follow what it writes (what it
  // reads before writing is not compared), and the run that follows is the same. A unit reads the
  // data a String parameter names on entering and on leaving initialisation only, so until then
  // its outputs follow the data read on entering.
  const Run reading = run(Order::betweenReads);
  const std::size_t n = before.outputs.size() / (steps + 1);
  ASSERT_EQ(reading.outputs.size(), before.outputs.size() + n);
  if (catalogue.references("String", "parameter").empty()) {
    EXPECT_TRUE(std::equal(before.outputs.begin(), before.outputs.begin() + n, reading.outputs.begin()))
        << "read in initialisation after the writes";
  }
  EXPECT_TRUE(std::equal(before.outputs.begin(), before.outputs.end(), reading.outputs.begin() + n))
      << "written between reads in initialisation mode";
  EXPECT_EQ(reading.messages, before.messages);
}

TEST_P(CallOrder, StartValuesAloneGiveFiniteOutputs) {
  auto unit = instantiate(library, GetParam(), catalogue, true, "alone", false, startData);
  std::vector<std::string> names;  // in the order of outputBits
  for (const Variable& v : catalogue.variables) {
    if (v.causality == "output") names.push_back(v.name);
  }
  for (int k = 0; k < steps; ++k) {
    ASSERT_EQ(unit->doStep(0.01), fmi2OK);
    const std::vector<uint64_t> bits = outputBits(library, unit->component(), catalogue);
    for (std::size_t i = 0; i < bits.size(); ++i) {
      double v;
      std::memcpy(&v, &bits[i], sizeof v);
      ASSERT_TRUE(std::isfinite(v)) << names[i] << " at " << unit->time() << " s";
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Units, CallOrder, ::testing::ValuesIn(unitsUnderTest()), unitName);

}  // namespace
}  // namespace hardening
