// Names of a cycle's phases. A cycle file of the user's (the drive cycle unit's `cycle` parameter
// bound to an absolute path, as `--cycle FILE` binds it) names its own phases; a standard cycle
// bound by name has the names of its phases: WLTC (low, medium, high, extra-high), NEDC (urban,
// extra-urban), FTP-75 (cold-transient, stabilised, hot-transient); unbound, the standard cycles
// are told apart by their number of phases. Any other phase is "phase N".
#pragma once

#include <string>
#include <vector>

#include "app/report/vehicle_signals.h"

namespace report {

// The phase names of the cycle bound to the drive cycle unit (a file, or a standard name), or none.
std::vector<std::string> cycleFilePhaseNames(const VehicleSignals& signals);

// The name of 1-based `phase` of a cycle with `phaseCount` phases; `fileNames` first.
std::string phaseName(int phase, int phaseCount, const std::vector<std::string>& fileNames);

}  // namespace report
