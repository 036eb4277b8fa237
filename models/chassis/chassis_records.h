// Records of the chassis model: a point mass on wheels of one radius, driven by the wheel torque
// and slowed by a lagged brake force, rolling resistance and aerodynamic drag.
#pragma once

#include <cstdint>

namespace chassis {

struct ExternalInputs {
  double brakeDemand;  // percent of full brake force
  double wheelTorque;  // N·m at the wheels, positive drives forward
};

struct ExternalOutputs {
  double wheelSpeed;       // rad/s
  double vehicleSpeedKmh;  // km/h
  double vehicleSpeed;     // m/s
};

// Continuous states (and their derivatives), by index.
enum State : int { speedState = 0, brakeLagState = 1, numStates = 2 };

struct BlockSignals {
  // Major-step values: refreshed only when computeOutputs runs in a major step.
  double invWheelRadius;
  double radiusHold;
  double rollingForce;
  double directionUpperHold;
  double directionLowerHold;
  double extraResistanceHold;
  double dragSpeedCap;
  double windSpeedHold;
  double dragFactor;
  double massHold;
  // Running values: recomputed on every call.
  double speed;
  double wheelSpeed;
  double brakeTorque;
  double brakeForceDemand;
  double rollingDirection;
  double tractionForce;
  double dragForce;
  double netForce;
  double acceleration;
};

// Thirteen slots that no operation of the model reads or writes.
struct WorkStates {
  double slots[13];
};

struct ModelParameters {
  double frontalArea;
  double maxBrakeForce;
  double dragCoefficient;
  double vehicleMass;
  double windSpeed;
  double extraResistance;
  double gravity;
  double kmhPerMs;
  double rollingCoefficient;
  double airDensity;
  double wheelRadius;
  double dragSpeedCapKmh;
  double spare1;
  double spare2;
  double spare3;
  double spare4;
  double initialSpeed;
  double speedUpperLimit;
  double speedLowerLimit;
  double brakeLagA;
  double brakeLagC;
  double brakeTorqueGain;
  double brakePowerValue;
  double brakePowerControl;
  double brakePowerThreshold;
  double directionUpper;
  double directionLower;
  double netPowerValue;
  double netPowerControl;
  double netPowerThreshold;
  double msPerKmh;
  double tractionPowerValue;
  double tractionPowerControl;
  double tractionPowerThreshold;
  double dragPowerValue;
  double dragPowerControl;
  double dragPowerThreshold;
};
static_assert(sizeof(ModelParameters) == 37 * sizeof(double));

}  // namespace chassis
