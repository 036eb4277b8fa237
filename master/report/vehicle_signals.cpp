#include "master/report/vehicle_signals.h"

#include <cstdlib>

namespace report {

namespace {

Column column(const master::RunRecord& r, const char* model, const char* variable, std::string* component = nullptr) {
  const std::size_t i = r.find(model, variable);
  if (i == master::RunRecord::npos) return nullptr;
  if (component != nullptr) *component = r.variables[i].component;
  return &r.columns[i];
}

}  // namespace

VehicleSignals findSignals(const master::RunRecord& r) {
  VehicleSignals s;
  s.record = &r;
  s.targetKmh = column(r, "DriveCycle", "targetSpeedKmh", &s.cycleComponent);
  s.phase = column(r, "DriveCycle", "phase");
  s.speedKmh = column(r, "TESSIK", "vehicleSpeedKmh", &s.chassisComponent);
  s.wheelSpeed = column(r, "TESSIK", "wheelSpeed");
  s.fuelUsed = column(r, "KADMIR", "fuelUsed", &s.powertrainComponent);
  s.fuelRate = column(r, "KADMIR", "fuelRate");
  s.engineRpm = column(r, "KADMIR", "engineRpm");
  s.engineSpeed = column(r, "KADMIR", "engineSpeed");
  s.driveshaftTorque = column(r, "KADMIR", "driveshaftTorque");
  s.gearboxLossPower = column(r, "KADMIR", "gearboxLossPower");
  s.engineLoadTorque = column(r, "KADMIR", "engineLoadTorque");
  s.stateOfCharge = column(r, "ZORVEL", "stateOfCharge", &s.electricalComponent);
  s.busVoltage = column(r, "ZORVEL", "busVoltage");
  s.alternatorLoadTorque = column(r, "ZORVEL", "alternatorLoadTorque");
  s.beltLossPower = column(r, "ZORVEL", "driveLossPower");
  s.accelerator = column(r, "Driver", "acceleratorPedal");
  s.brake = column(r, "Driver", "brakePedal");
  s.gear = column(r, "ShiftController", "gear");
  s.lockup = column(r, "ShiftController", "lockupCommand");
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
