// The operating point each unit is measured at: the parameters written before set-up, the inputs
// held during the run, and how many fixed steps settle the lags before measuring. Values are
// named as in the unit's value-reference table and resolved through the model's own definitions,
// so the direct runtime path and the FMI path write exactly the same value references.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>
#include <string_view>

#include "runtime/variable_def.h"
#include "tests/support/direct_model.h"

namespace bench {

struct Setting {
  const char* name;
  double value;
};

struct OperatingPoint {
  std::span<const Setting> parameters;  // written after instantiation, before set-up
  std::span<const Setting> inputs;      // held for the whole run
  int settleSteps;                      // fixed steps taken before measuring
};

// The real value reference of `name` (an array element written name[1], name[2], ...); a name the
// model does not have is a mistake in this file, and ends the program.
template <class M>
uint32_t realReference(std::string_view name) {
  return test_support::reference<M>(runtime::BaseType::real, name);
}

template <class M>
uint32_t realCount() {
  return runtime::countVariables(M::variables()).reals;
}

// Chassis: about 15 m/s with 150 N·m at the wheels and the brake released.
inline constexpr Setting chassisParameters[] = {{"initialSpeed", 15.0}};
inline constexpr Setting chassisInputs[] = {{"brakeDemand", 0.0}, {"wheelTorque", 150.0}};
inline constexpr OperatingPoint chassisPoint{chassisParameters, chassisInputs, 400};

// Powertrain: engine at 2500 rpm, 30 % throttle, third gear (ratio 1.0) with the lock-up
// engaged, and the wheels turning at the speed that matches the engine through the final drive
// (6.3), so that the point is steady.
inline constexpr double engineRadPerSec = 2500.0 / 9.549296585513721;
inline constexpr Setting powertrainParameters[] = {{"initialEngineSpeed", engineRadPerSec},
                                                   {"initialOutputShaftSpeed", engineRadPerSec}};
inline constexpr Setting powertrainInputs[] = {{"wheelSpeed", engineRadPerSec / 6.3},
                                               {"ratioCommand", 1.0},
                                               {"lockupCommand", 1.0},
                                               {"throttle", 30.0},
                                               {"torqueFactorInput", 1.0},
                                               {"auxTorque1", -2.0},
                                               {"auxTorque2", 0.0}};
inline constexpr OperatingPoint powertrainPoint{powertrainParameters, powertrainInputs, 2000};

// Electrical: engine at about 2000 rpm, 14 V set point, the switched load on.
inline constexpr Setting electricalInputs[] = {
    {"voltageSetpoint", 14.0}, {"loadSwitch", 1.0}, {"engineSpeed", 2000.0 / 9.549296585513721}};
inline constexpr OperatingPoint electricalPoint{{}, electricalInputs, 400};

// Driver: 48 km/h against a target of 50 km/h, engine at 2000 rpm, second gear.
inline constexpr Setting driverInputs[] = {{"transmissionRatio", 1.55},
                                           {"engineSpeedRpm", 2000.0},
                                           {"targetSpeedKmh", 50.0},
                                           {"actualSpeedKmh", 48.0}};
inline constexpr OperatingPoint driverPoint{{}, driverInputs, 400};

}  // namespace bench
