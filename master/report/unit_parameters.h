// Parameter values of the vehicle's units as the report needs them (road load, brake lag,
// battery capacity, engine maps): the value bound to the component before the run where there
// is one, else the unit's own default from its model's parameter table. The outputs of the
// units do not expose these, and the report must not invent them.
#pragma once

#include <string>
#include <vector>

#include "master/report/vehicle_signals.h"

namespace report {

enum class UnitModel { chassis, powertrain, electrical };

// The parameter `name` (element `element`, 0-based, of an array), bound value first.
double unitParameter(const VehicleSignals& signals, UnitModel unit, const char* name, int element = 0);
// Every element of an array parameter, bound values first.
std::vector<double> unitArray(const VehicleSignals& signals, UnitModel unit, const char* name);

}  // namespace report
