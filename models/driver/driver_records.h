// Records of the driver model: a speed-following driver that turns a target and an actual speed
// into an accelerator and a brake pedal, with road-load feed-forward through an inverse engine
// map, shaped proportional feedback and brake logic with a hold brake at standstill.
#pragma once

#include <cstddef>
#include <cstdint>

namespace driver {

struct ExternalInputs {
  double transmissionRatio;  // gear ratio; the wheel torque is divided by its lagged value
  double engineSpeedRpm;     // rpm
  double targetSpeedKmh;     // km/h
  double actualSpeedKmh;     // km/h
};

struct ExternalOutputs {
  double brakePedal;        // percent of brakeUpper
  double acceleratorPedal;  // percent
};

// Continuous states (and their derivatives), by index.
enum State : int { speedErrorIntegral = 0, ratioLagState = 1, numStates = 2 };

// Two time-stamped samples of one signal, from which a backward-difference rate is estimated.
// The stamps start at +infinity, meaning "no sample yet".
struct RateMemory {
  double stampA;
  double valueA;
  double stampB;
  double valueB;
};

struct WorkStates {
  double targetSpeedMemory;       // targetSpeedKmh at the previous major step
  double speedErrorMemory;        // speedError at the previous major step
  RateMemory errorMemories;       // samples of speedErrorHold, for the error rate
  RateMemory targetMemories;      // samples of targetSpeed, for the target acceleration
};
static_assert(sizeof(WorkStates) == 10 * sizeof(double));

struct BlockSignals {
  // Major-step values: refreshed only when computeOutputs runs in a major step.
  double releasedBrakeHold;
  double targetSpeedHold;
  double riseThresholdHold;
  double speedErrorHold;
  double proportionalTerm;
  double massHold;
  double dragSpeedCap;
  double windSpeedHold;
  double dragFactor;
  double rollingForce;
  double directionUpperHold;
  double directionLowerHold;
  double finalDriveHold;
  double radiusHold;
  double ratioFloorHold;
  double engineDragTorque;
  double deadZoneHold;
  double acceleratorBrakeHold;
  double holdBrake;
  // Running values: recomputed on every call.
  double errorRate;
  double targetSpeed;
  double targetAcceleration;
  double dragSpeed;
  double dragForce;
  double rollingDirection;
  double effectiveRatio;
  double requiredTorque;
  double feedForwardPedal;
  double acceleratorDemand;
  double brakeForce;
  double speedError;
};

// Sizes of the two maps. Both are stored with their first axis running fastest.
inline constexpr uint32_t engineMapPedalCount = 8;  // first axis
inline constexpr uint32_t engineMapSpeedCount = 8;  // second axis
inline constexpr uint32_t engineMapStride = engineMapPedalCount;
inline constexpr uint32_t engineMapSize = engineMapPedalCount * engineMapSpeedCount;
inline constexpr uint32_t pedalMapTorqueCount = 49;  // first axis
inline constexpr uint32_t pedalMapSpeedCount = 8;    // second axis
inline constexpr uint32_t pedalMapStride = pedalMapTorqueCount;
inline constexpr uint32_t pedalMapSize = pedalMapTorqueCount * pedalMapSpeedCount;

struct ModelParameters {
  double frontalArea;
  double derivativeGain;
  double integralGain;
  double proportionalGain;
  double brakeLower;
  double brakeGain;
  double brakeUpper;
  double dragCoefficient;
  double finalDriveRatio;
  double holdBrakeSign;
  double releasedBrake;
  double standstillSpeedKmh;
  double targetRiseThreshold;
  double acceleratorLower;
  double acceleratorUpper;
  double engineTorqueMap[engineMapSize];
  double engineMapSpeeds[engineMapSpeedCount];
  double engineMapPedals[engineMapPedalCount];
  double pedalMapSpeeds[pedalMapSpeedCount];
  double pedalMap[pedalMapSize];
  double pedalMapTorques[pedalMapTorqueCount];
  double vehicleMass;
  double ratioFloor;
  double spareConstant1;
  double windSpeed;
  double spareConstant2;
  double spareConstant3;
  double spareConstant4;
  double spareConstant5;
  double spareConstant6;
  double gravity;
  double speedMsPerKmh;
  double rollingCoefficient;
  double airDensity;
  double spareConstant7;
  double wheelRadius;
  double dragSpeedCapKmh;
  double spareConstant8;
  double initialTargetSpeed;
  double initialSpeedError;
  double errorShapeUpper;
  double errorShapeLower;
  double integralInitial;
  double capMsPerKmh;
  double directionUpper;
  double directionLower;
  double ratioLagA;
  double ratioLagC;
  double dragPedal;
  double deadZoneValue;
  double deadZoneThreshold;
  double acceleratorBrakeThreshold;
  double spareInitial;
  uint32_t engineMapMaxIndex[2];  // last index of the engine map's pedal and speed axes
  uint32_t pedalMapMaxIndex[2];   // last index of the pedal map's torque and speed axes
};
static_assert(offsetof(ModelParameters, engineMapMaxIndex) == 576 * sizeof(double));
static_assert(sizeof(ModelParameters) == 576 * sizeof(double) + 4 * sizeof(uint32_t));

}  // namespace driver
