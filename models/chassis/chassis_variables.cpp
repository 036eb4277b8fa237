// The chassis value-reference map: two inputs, three outputs, then the 37 parameters in the
// map's own order.
#include "models/chassis/chassis_model.h"

namespace chassis {

namespace {

using P = ModelParameters;
constexpr const char* selector = "power-figure selector; no output or state depends on it";
constexpr const char* spare = "spare; read by no equation";

constexpr runtime::VariableDef variableDefs[] = {
    SIM_INPUT(ExternalInputs, brakeDemand, "%", "brake demand in percent of the full brake force"),
    SIM_INPUT(ExternalInputs, wheelTorque, "N.m", "driving torque at the wheels, positive drives forward"),
    SIM_OUTPUT(ExternalOutputs, wheelSpeed, "rad/s", "wheel angular speed", ""),
    SIM_OUTPUT(ExternalOutputs, vehicleSpeedKmh, "km/h", "vehicle speed in km/h", ""),
    SIM_OUTPUT(ExternalOutputs, vehicleSpeed, "m/s", "vehicle speed in m/s", ""),
    SIM_PARAMETER(P, frontalArea, "m2", "frontal area, factor of the drag"),
    SIM_PARAMETER(P, maxBrakeForce, "N", "brake force at a brake demand of 100 %"),
    SIM_PARAMETER(P, brakeTorqueGain, "", "sign of the brake torque against the driving torque"),
    SIM_PARAMETER(P, spare1, "", spare),
    SIM_PARAMETER(P, brakePowerValue, "", selector),
    SIM_PARAMETER(P, brakePowerControl, "", selector),
    SIM_PARAMETER(P, brakePowerThreshold, "", selector),
    SIM_PARAMETER(P, brakeLagA, "1/s", "brake force lag, state coefficient (-1/time constant)"),
    SIM_PARAMETER(P, brakeLagC, "1/s", "brake force lag, output coefficient (1/time constant)"),
    SIM_PARAMETER(P, directionLower, "m/s", "lower clip of the speed that scales rolling resistance"),
    SIM_PARAMETER(P, directionUpper, "m/s", "upper clip of the speed that scales rolling resistance"),
    SIM_PARAMETER(P, spare2, "", spare),
    SIM_PARAMETER(P, netPowerValue, "", selector),
    SIM_PARAMETER(P, netPowerControl, "", selector),
    SIM_PARAMETER(P, netPowerThreshold, "", selector),
    SIM_PARAMETER(P, spare3, "", spare),
    SIM_PARAMETER(P, tractionPowerValue, "", selector),
    SIM_PARAMETER(P, tractionPowerControl, "", selector),
    SIM_PARAMETER(P, tractionPowerThreshold, "", selector),
    SIM_PARAMETER(P, spare4, "", spare),
    SIM_PARAMETER(P, dragPowerValue, "", selector),
    SIM_PARAMETER(P, dragPowerControl, "", selector),
    SIM_PARAMETER(P, dragPowerThreshold, "", selector),
    SIM_PARAMETER(P, msPerKmh, "", "km/h to m/s conversion, for the drag speed cap"),
    SIM_PARAMETER(P, initialSpeed, "m/s", "initial vehicle speed (read by the initialisation)"),
    SIM_PARAMETER(P, speedLowerLimit, "m/s", "lower limit of the vehicle speed"),
    SIM_PARAMETER(P, speedUpperLimit, "m/s", "upper limit of the vehicle speed"),
    SIM_PARAMETER(P, dragCoefficient, "", "aerodynamic drag coefficient"),
    SIM_PARAMETER(P, vehicleMass, "kg", "vehicle mass"),
    SIM_PARAMETER(P, windSpeed, "m/s", "head wind speed, subtracted from the drag speed"),
    SIM_PARAMETER(P, extraResistance, "N", "constant extra resistance force"),
    SIM_PARAMETER(P, gravity, "m/s2", "gravitational acceleration"),
    SIM_PARAMETER(P, kmhPerMs, "", "m/s to km/h conversion, for the vehicleSpeedKmh output"),
    SIM_PARAMETER(P, rollingCoefficient, "", "rolling resistance coefficient"),
    SIM_PARAMETER(P, airDensity, "kg/m3", "air density"),
    SIM_PARAMETER(P, wheelRadius, "m", "wheel radius"),
    SIM_PARAMETER(P, dragSpeedCapKmh, "km/h", "speed above which the drag stops growing"),
};

static_assert(runtime::countVariables(variableDefs).reals == 42);
static_assert(runtime::describesTable(Model::info, variableDefs),
              "the information record counts the inputs and outputs of the table");

}  // namespace

std::span<const runtime::VariableDef> Model::variables() { return variableDefs; }

}  // namespace chassis
