// The chassis library's stored default parameter record.
#include "models/chassis/chassis_model.h"
#include "runtime/numerics.h"

namespace chassis {

namespace {
// Every field is named here; a field left out does not compile.
constinit ModelParameters storedDefaults = {
    .frontalArea = 1.5,
    .maxBrakeForce = 5000.0,
    .dragCoefficient = 0.4,
    .vehicleMass = 1200.0,
    .windSpeed = 0.0,
    .extraResistance = 0.0,
    .gravity = 9.8,
    .kmhPerMs = 3.6,
    .rollingCoefficient = 0.007,
    .airDensity = 1.205,
    .wheelRadius = 0.25,
    .dragSpeedCapKmh = 200.0,
    .spare1 = 3.0,
    .spare2 = 3.0,
    .spare3 = 3.0,
    .spare4 = 3.0,
    .initialSpeed = 0.0,
    .speedUpperLimit = 0.0,  // +infinity once an instance is created
    .speedLowerLimit = 0.0,
    .brakeLagA = -1.1764705882352942,  // -1/0.85
    .brakeLagC = 1.1764705882352942,  // 1/0.85
    .brakeTorqueGain = -1.0,
    .brakePowerValue = 1.0,
    .brakePowerControl = 0.0,
    .brakePowerThreshold = 0.5,
    .directionUpper = 1.0,
    .directionLower = -1.0,
    .netPowerValue = 1.0,
    .netPowerControl = 0.0,
    .netPowerThreshold = 0.5,
    .msPerKmh = 0.2777777777777778,  // 1/3.6
    .tractionPowerValue = 1.0,
    .tractionPowerControl = 0.0,
    .tractionPowerThreshold = 0.5,
    .dragPowerValue = 1.0,
    .dragPowerControl = 0.0,
    .dragPowerThreshold = 0.5,
};
}  // namespace

ModelParameters& Model::defaultParameters() { return storedDefaults; }

void Model::fixUpParameters(ModelParameters& p) { p.speedUpperLimit = runtime::infValue; }

}  // namespace chassis
