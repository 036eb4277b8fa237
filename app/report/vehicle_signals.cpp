#include "app/report/vehicle_signals.h"

#include <cstdlib>

#include "app/vehicle_conventions.h"

namespace report {

namespace {

// Where each signal comes from: the unit's model identifier and the variable's name.
struct Source {
  Column VehicleSignals::*column;
  const char* model;
  const char* variable;
  std::string VehicleSignals::*component;  // the component's name is kept for these
};

constexpr Source sources[] = {
    {&VehicleSignals::targetKmh, master::conventions::driveCycleUnit, master::conventions::targetSpeedOutput, &VehicleSignals::cycleComponent},
    {&VehicleSignals::phase, "DriveCycle", "phase", nullptr},
    {&VehicleSignals::speedKmh, master::conventions::chassisUnit, master::conventions::vehicleSpeedOutput, &VehicleSignals::chassisComponent},
    {&VehicleSignals::wheelSpeed, "TESSIK", "wheelSpeed", nullptr},
    {&VehicleSignals::fuelUsed, "KADMIR", "fuelUsed", &VehicleSignals::powertrainComponent},
    {&VehicleSignals::fuelRate, "KADMIR", "fuelRate", nullptr},
    {&VehicleSignals::engineRpm, "KADMIR", "engineRpm", nullptr},
    {&VehicleSignals::engineSpeed, "KADMIR", "engineSpeed", nullptr},
    {&VehicleSignals::driveshaftTorque, "KADMIR", "driveshaftTorque", nullptr},
    {&VehicleSignals::gearboxLossPower, "KADMIR", "gearboxLossPower", nullptr},
    {&VehicleSignals::engineLoadTorque, "KADMIR", "engineLoadTorque", nullptr},
    {&VehicleSignals::stateOfCharge, "ZORVEL", "stateOfCharge", &VehicleSignals::electricalComponent},
    {&VehicleSignals::busVoltage, "ZORVEL", "busVoltage", nullptr},
    {&VehicleSignals::alternatorLoadTorque, "ZORVEL", "alternatorLoadTorque", nullptr},
    {&VehicleSignals::beltLossPower, "ZORVEL", "driveLossPower", nullptr},
    {&VehicleSignals::accelerator, "Driver", "acceleratorPedal", nullptr},
    {&VehicleSignals::brake, "Driver", "brakePedal", nullptr},
    {&VehicleSignals::gear, "ShiftController", "gear", nullptr},
    {&VehicleSignals::lockup, "ShiftController", "lockupCommand", nullptr},
};

}  // namespace

VehicleSignals findSignals(const master::RunRecord& r) {
  VehicleSignals s;
  s.record = &r;
  for (const Source& source : sources) {
    const std::size_t i = r.find(source.model, source.variable);
    if (i == master::RunRecord::npos) continue;
    s.*source.column = &r.columns[i];
    if (source.component != nullptr) s.*source.component = r.variables[i].component;
  }
  return s;
}

bool VehicleSignals::boundValue(const std::string& component, const std::string& variable, double& value) const {
  if (record == nullptr || component.empty()) return false;
  const auto it = record->boundValues.find(component + "." + variable);
  if (it == record->boundValues.end()) return false;
  char* end = nullptr;
  const double v = std::strtod(it->second.c_str(), &end);
  if (end == it->second.c_str()) return false;
  value = v;
  return true;
}

}  // namespace report
