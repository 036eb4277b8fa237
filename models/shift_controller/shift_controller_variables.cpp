// The shift controller value-reference map: the speed input, the three outputs (each depending
// directly on the speed), then the schedule's parameters.
#include "models/shift_controller/shift_controller_model.h"

namespace shift_controller {

namespace {

using P = ModelParameters;
using O = ExternalOutputs;

constexpr runtime::VariableDef variableDefs[] = {
    SIM_INPUT(ExternalInputs, vehicleSpeedKmh, "km/h", "vehicle speed"),
    SIM_OUTPUT(O, gear, "", "engaged gear, from 1", "vehicleSpeedKmh"),
    SIM_OUTPUT(O, gearRatio, "", "ratio of the engaged gear (input speed / output speed)", "vehicleSpeedKmh"),
    SIM_OUTPUT(O, lockupCommand, "", "converter lock-up command: 1 engaged, 0 released", "vehicleSpeedKmh"),
    SIM_INTEGER_PARAMETER(P, gearCount, maxGears, "number of gears (1 to 8)"),
    SIM_PARAMETER(P, ratio, "", "gear ratio from first gear up; only the first gearCount are used"),
    SIM_PARAMETER(P, upshiftKmh, "km/h", "upshift speed: [i] from gear i to i+1 above this speed"),
    SIM_PARAMETER(P, downshiftKmh, "km/h", "downshift speed: [i] from gear i+1 to i below this speed; below upshiftKmh[i]"),
    SIM_PARAMETER(P, minTimeInGear, "s", "minimum time between two shifts"),
    SIM_INTEGER_PARAMETER(P, lockupGear, maxGears + 1, "lowest gear in which the lock-up engages (gearCount + 1: never)"),
    SIM_PARAMETER(P, lockupOnKmh, "km/h", "the lock-up engages at or above this speed"),
    SIM_PARAMETER(P, lockupOffKmh, "km/h", "the lock-up releases below this speed (below lockupOnKmh)"),
};

static_assert(runtime::describesTable(Model::info, variableDefs),
              "the information record counts the inputs and outputs of the table");

}  // namespace

std::span<const runtime::VariableDef> Model::variables() { return variableDefs; }

// The integer parameters above their maxima (value references 1 and 2; 0 is the gear output).
const char* Model::integerAboveMaximum(uint32_t vr) {
  static_assert(maxGears == 8, "the texts name the largest gear count");
  return vr == 1 ? "gearCount is at most 8, the number of gears the schedule holds"
                 : "lockupGear is at most 9 (one above the largest gear count: never)";
}

}  // namespace shift_controller
