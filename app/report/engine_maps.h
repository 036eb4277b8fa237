// The engine's torque and fuel maps as the report uses them: the full-load torque over speed,
// the fuel rate at a torque and speed (bilinear, extrapolated beyond the map like the unit's
// lookup), the torque that gives a fuel rate at a speed (the engine's torque is not an output
// of the powertrain; at a torque factor of 1 the fuel map inverts to it), and the
// brake-specific consumption.
#pragma once

#include <vector>

#include "app/report/vehicle_signals.h"

namespace report {

struct EngineMaps {
  std::vector<double> throttles, torqueSpeeds, torqueMap;  // torque map: element i + n j
  std::vector<double> fuelTorques, fuelSpeeds, fuelMap;    // fuel map: element i + n j, g/s

  double fullLoadTorque(double rpm) const;  // N.m, at the largest throttle, clipped in speed
  double closedThrottleTorque(double rpm) const;
  double fuelRate(double torque, double rpm) const;  // g/s
  // The torque whose fuel rate is `gramsPerSecond` at `rpm`, over the map's torque range
  // extended linearly at both ends; NaN where the fuel rate does not rise with the torque.
  double torqueForFuel(double gramsPerSecond, double rpm) const;
  // g/kWh; NaN at zero or negative power.
  double brakeSpecificConsumption(double torque, double rpm) const;
};

EngineMaps engineMaps(const VehicleSignals& signals);

}  // namespace report
