// The columns of a run record the vehicle report reads, found by model identifier and variable
// name. Each is null when the system does not have it; the three the report cannot do without
// are checked by `complete()`.
#pragma once

#include <string>
#include <vector>

#include "engine/run_record.h"

namespace report {

using Column = const std::vector<double>*;

struct VehicleSignals {
  const master::RunRecord* record = nullptr;
  // DriveCycle
  Column targetKmh = nullptr, phase = nullptr;
  std::string cycleComponent;
  // TESSIK
  Column speedKmh = nullptr, wheelSpeed = nullptr;
  std::string chassisComponent;
  // KADMIR
  Column fuelUsed = nullptr, fuelRate = nullptr, engineRpm = nullptr, engineSpeed = nullptr,
         driveshaftTorque = nullptr, gearboxLossPower = nullptr, engineLoadTorque = nullptr;
  std::string powertrainComponent;
  // ZORVEL
  Column stateOfCharge = nullptr, busVoltage = nullptr, alternatorLoadTorque = nullptr,
         beltLossPower = nullptr;
  std::string electricalComponent;
  // Driver
  Column accelerator = nullptr, brake = nullptr;
  // ShiftController
  Column gear = nullptr, lockup = nullptr;

  bool complete() const { return targetKmh && speedKmh && fuelUsed; }
  // The value bound to `variable` of `component` before the run, if it was bound and reads as
  // a number.
  bool boundValue(const std::string& component, const std::string& variable, double& value) const;
};

VehicleSignals findSignals(const master::RunRecord& record);

}  // namespace report
