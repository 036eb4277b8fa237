// The drive cycle value-reference map.
#include "models/drive_cycle/drive_cycle_model.h"

namespace drive_cycle {

namespace {

using O = ExternalOutputs;

constexpr runtime::VariableDef variableDefs[] = {
    SIM_OUTPUT(O, targetSpeedKmh, "km/h", "target speed at the communication point, linear between the rows of the trace and holding its last value after the end", ""),
    SIM_OUTPUT(O, phase, "", "number of the cycle's phase at the communication point, from 1; 0 for a cycle without phases", ""),
    SIM_OUTPUT(O, finished, "", "true once the communication point has reached the end of the trace", ""),
    SIM_PARAMETER(ModelParameters, cycle, "", "the trace: a standard cycle (wltc, nedc, udds, ftp75, hwfet, us06), a file in the resources folder, or an absolute path; read at initialisation"),
    SIM_CALCULATED_PARAMETER(O, duration, "s", "duration of the trace"),
    SIM_CALCULATED_PARAMETER(O, distance, "km", "distance of the trace (trapezoid of its speed over time)"),
    SIM_CALCULATED_PARAMETER(O, phaseCount, "", "number of phases of the trace; 0 for a trace without phases"),
};

static_assert(runtime::describesTable(Model::info, variableDefs),
              "the information record counts the inputs and outputs of the table");

}  // namespace

std::span<const runtime::VariableDef> Model::variables() { return variableDefs; }

}  // namespace drive_cycle
