// The chassis library's stored default parameter record.
#include "models/chassis/chassis_model.h"
#include "runtime/numerics.h"

namespace chassis {

namespace {
ModelParameters storedDefaults = {
    1.5,                  // frontalArea
    5000.0,               // maxBrakeForce
    0.4,                  // dragCoefficient
    1200.0,               // vehicleMass
    0.0,                  // windSpeed
    0.0,                  // extraResistance
    9.8,                  // gravity
    3.6,                  // kmhPerMs
    0.007,                // rollingCoefficient
    1.205,                // airDensity
    0.25,                 // wheelRadius
    200.0,                // dragSpeedCapKmh
    3.0,                  // spare1
    3.0,                  // spare2
    3.0,                  // spare3
    3.0,                  // spare4
    0.0,                  // initialSpeed
    0.0,                  // speedUpperLimit: +infinity once an instance is created
    0.0,                  // speedLowerLimit
    -1.1764705882352942,  // brakeLagA (-1/0.85)
    1.1764705882352942,   // brakeLagC (1/0.85)
    -1.0,                 // brakeTorqueGain
    1.0,                  // brakePowerValue
    0.0,                  // brakePowerControl
    0.5,                  // brakePowerThreshold
    1.0,                  // directionUpper
    -1.0,                 // directionLower
    1.0,                  // netPowerValue
    0.0,                  // netPowerControl
    0.5,                  // netPowerThreshold
    0.2777777777777778,   // msPerKmh (1/3.6)
    1.0,                  // tractionPowerValue
    0.0,                  // tractionPowerControl
    0.5,                  // tractionPowerThreshold
    1.0,                  // dragPowerValue
    0.0,                  // dragPowerControl
    0.5,                  // dragPowerThreshold
};
}  // namespace

ModelParameters& Model::defaultParameters() { return storedDefaults; }

void Model::fixUpParameters(ModelParameters& p) { p.speedUpperLimit = runtime::infValue; }

}  // namespace chassis
