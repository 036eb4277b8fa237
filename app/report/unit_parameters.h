// Parameter values of the vehicle's units as the report needs them (road load, brake lag,
// battery capacity, engine maps), all from the run itself: the value bound to the component
// before the run where there is one, else the start value in the model description of the unit
// that ran. The outputs of the units do not expose these, and the report must not invent them.
#pragma once

#include <string>
#include <vector>

#include "app/report/vehicle_signals.h"

namespace report {

enum class UnitModel { chassis, powertrain, electrical };

// The Real parameter `name` (element `element`, 0-based, of an array `name[1]`, `name[2]`, ...),
// bound value first. Throws std::runtime_error naming the component and the parameter when the
// run has neither a bound value nor a start value for it.
double unitParameter(const VehicleSignals& signals, UnitModel unit, const char* name, int element = 0);
// Every element of an array parameter, bound values first.
std::vector<double> unitArray(const VehicleSignals& signals, UnitModel unit, const char* name);

}  // namespace report
