// Names of the phases of the standard cycles, by their number of phases: WLTC (low, medium,
// high, extra-high), NEDC (urban, extra-urban), FTP-75 (cold transient, stabilised, hot
// transient). A cycle with another count gets "phase N".
#pragma once

#include <string>

namespace report {

std::string phaseName(int phase, int phaseCount);

}  // namespace report
