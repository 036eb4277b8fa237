// Records of the powertrain model: engine with torque and fuel maps and cut-offs, torque
// converter with lock-up clutch, gearbox whose ratio follows a command through a lag, final
// drive, elastic driveshaft and fuel integral.
#pragma once

#include <cstddef>
#include <cstdint>

#include "runtime/step_memo.h"

namespace powertrain {

struct ExternalInputs {
  double wheelSpeed;     // rad/s, from the chassis
  double ratioCommand;   // commanded gearbox ratio (input side speed / output side speed)
  double lockupCommand;  // lock-up clutch engagement; exactly 0.0 releases the clutch
  double spareInput;     // read by no equation
  double throttle;       // percent
  uint8_t cutoffA;       // 1 cuts throttle and fuel
  uint8_t cutoffB;       // 1 cuts throttle and fuel
  double torqueFactorInput;
  double auxTorque1;  // N·m on the engine shaft
  double auxTorque2;  // N·m on the engine shaft
};

struct ExternalOutputs {
  double outputShaftRpm;
  double engineRpm;
  double driveshaftTorque;  // N·m at the wheels, for the chassis
  double fuelUsed;
  double fuelRate;
  double gearboxLossPower;  // W (or the loss torque when the loss-output selector is switched)
  double engineLoadTorque;  // N·m that converter and clutch put on the engine; negative loads it
  double engineSpeed;       // rad/s
};

// Continuous states (and their derivatives), by index.
enum State : int {
  outputShaftSpeedState = 0,
  engineSpeedState = 1,
  shaftTwistState = 2,
  fuelUsedState = 3,
  ratioLagState = 4,
  lockupLagState = 5,
  clutchTwistState = 6,
  numStates = 7,
};

// Sizes of the maps and tables. Both maps are stored with their first axis running fastest.
inline constexpr uint32_t fuelMapTorqueCount = 8;   // first axis
inline constexpr uint32_t fuelMapSpeedCount = 13;   // second axis
inline constexpr uint32_t fuelMapStride = fuelMapTorqueCount;
inline constexpr uint32_t fuelMapSize = fuelMapTorqueCount * fuelMapSpeedCount;
inline constexpr uint32_t torqueMapThrottleCount = 8;  // first axis
inline constexpr uint32_t torqueMapSpeedCount = 8;     // second axis
inline constexpr uint32_t torqueMapStride = torqueMapThrottleCount;
inline constexpr uint32_t torqueMapSize = torqueMapThrottleCount * torqueMapSpeedCount;
inline constexpr uint32_t torqueFactorCount = 11;
inline constexpr uint32_t converterRatioCount = 11;  // speed ratios of the converter's two tables

struct ModelParameters {
  double finalDriveRatio;
  double shaftDamping;
  double shaftTwistLower;
  double shaftTwistUpper;
  double shaftStiffness;
  double finalDriveEfficiency;
  double throttleMin;
  double throttleMax;
  double fuelMap[fuelMapSize];
  double fuelMapSpeeds[fuelMapSpeedCount];
  double fuelMapTorques[fuelMapTorqueCount];
  double torqueMap[torqueMapSize];
  double torqueMapSpeeds[torqueMapSpeedCount];
  double torqueMapThrottles[torqueMapThrottleCount];
  double torqueFactorTable[torqueFactorCount];
  double torqueFactorBreakpoints[torqueFactorCount];
  double capacityScale;
  double outputShaftInertia;
  double engineInertia;
  double initialEngineSpeed;
  double clutchDamping;
  double clutchStiffness;
  double gearboxEfficiency;
  double stallRpm;
  double speedRatioMin;
  double speedRatioMax;
  double capacityTable[converterRatioCount];
  double capacityRatios[converterRatioCount];
  double torqueRatioTable[converterRatioCount];
  double torqueRatioRatios[converterRatioCount];
  double ratioRpmFloor;
  double ratioRpmCeiling;
  double radPerSecToRpm;
  double driveSpare1;
  double driveSpare2;
  double driveSpare3;
  double driveSpare4;
  double driveSpare5;
  double driveSpare6;
  double driveSpare7;
  double driveSpare8;
  double driveSpare9;
  double driveSpare10;
  double driveSpare11;
  double initialOutputShaftSpeed;
  double outputShaftSpeedUpper;  // +infinity once an instance is created
  double outputShaftSpeedLower;
  double engineSpeedUpper;  // +infinity once an instance is created
  double engineSpeedLower;
  double initialShaftTwist;
  double initialFuelUsed;
  double throttleGateCutA;
  double throttleGateOnA;
  double throttleGateCutB;
  double throttleGateOnB;
  double torqueFactorInitial;
  double fuelGateCutA;
  double fuelGateOnA;
  double fuelGateCutB;
  double fuelGateOnB;
  double lossOutputValue;
  double lossOutputControl;
  double ratioLagA;
  double ratioLagC;
  double lossOutputThreshold;
  double lockupLagA;
  double lockupLagC;
  double clutchTwistReset;
  double clutchTwistUpper;
  double clutchTwistLower;
  double stallSpeedRatio;
  double converterDirectionUpper;
  double converterDirectionLower;
  double gearboxFlowUpper;
  double gearboxFlowLower;
  double engineLoadGain;
  double shaftPowerValue;
  double shaftPowerControl;
  double shaftPowerThreshold;
  double finalDriveFlowGain;
  double finalDriveFlowUpper;
  double finalDriveFlowLower;
  double finalDriveLossPowerValue;
  double finalDriveLossPowerControl;
  double finalDriveLossPowerThreshold;
  double enginePowerValue;
  double enginePowerControl;
  double enginePowerThreshold;
  double outputShaftPowerValue;
  double outputShaftPowerControl;
  double outputShaftPowerThreshold;
  double engineShaftPowerValue;
  double engineShaftPowerControl;
  double engineShaftPowerThreshold;
  double finalDrivePowerValue;
  double finalDrivePowerControl;
  double finalDrivePowerThreshold;
  double impellerPowerValue;
  double impellerPowerControl;
  double impellerPowerThreshold;
  double turbinePowerValue;
  double turbinePowerControl;
  double turbinePowerThreshold;
  double clutchEnginePowerValue;
  double clutchEnginePowerControl;
  double clutchEnginePowerThreshold;
  double clutchTurbinePowerValue;
  double clutchTurbinePowerControl;
  double clutchTurbinePowerThreshold;
  uint32_t torqueMapMaxIndex[2];  // last indices along throttle and speed
  uint32_t fuelMapMaxIndex[2];    // last indices along torque and speed
};
static_assert(sizeof(ModelParameters) == 368 * sizeof(double) + 4 * sizeof(uint32_t));
static_assert(offsetof(ModelParameters, capacityScale) == 235 * sizeof(double));
static_assert(offsetof(ModelParameters, driveSpare1) == 292 * sizeof(double));

// The lower and upper limit of a limited continuous state, as members of the parameter record.
struct StateLimits {
  State state;
  double ModelParameters::*lower;
  double ModelParameters::*upper;
};

inline constexpr StateLimits outputShaftSpeedLimits{
    outputShaftSpeedState, &ModelParameters::outputShaftSpeedLower,
    &ModelParameters::outputShaftSpeedUpper};
inline constexpr StateLimits engineSpeedLimits{engineSpeedState, &ModelParameters::engineSpeedLower,
                                               &ModelParameters::engineSpeedUpper};
inline constexpr StateLimits shaftTwistLimits{shaftTwistState, &ModelParameters::shaftTwistLower,
                                              &ModelParameters::shaftTwistUpper};
inline constexpr StateLimits clutchTwistLimits{clutchTwistState, &ModelParameters::clutchTwistLower,
                                               &ModelParameters::clutchTwistUpper};

struct BlockSignals {
  // Major-step values: copies of parameters taken only when computeOutputs runs in a major step,
  // held through the integrator's stages.
  double finalDriveRatioHold;
  double throttleGateCutAHold;
  double throttleGateOnAHold;
  double throttleGateCutBHold;
  double throttleGateOnBHold;
  double fuelGateCutAHold;
  double fuelGateOnAHold;
  double fuelGateCutBHold;
  double fuelGateOnBHold;
  double lossOutputValueHold;
  double lossOutputControlHold;
  double gearboxEfficiencyHold;
  double stallSpeedRatioHold;
  double stallRpmEngineHold;   // compared with the engine speed
  double stallRpmTurbineHold;  // compared with the turbine speed
  double finalDriveEfficiencyHold;
  double engineInertiaHold;
  double outputShaftInertiaHold;
  // Running values: recomputed on every call.
  double outputShaftSpeed;
  double engineSpeed;
  double engineRpm;
  double shaftRelativeSpeed;
  double throttleCommand;
  double torqueFactor;
  double engineMapTorque;
  double engineTorque;
  double fuelRate;
  double gearRatio;
  double turbineSpeed;
  double lockupEngagement;
  double lockupRelativeSpeed;
  double clutchTorque;
  double turbineRpm;
  double speedRatio;
  double converterDirection;
  double capacityFactor;
  double impellerTorque;
  double torqueRatio;
  double turbineTorque;
  double gearboxInputTorque;
  double gearboxFlow;
  double gearboxEfficiencyFactor;
  double transmittedTorque;
  double gearboxLossTorque;
  double finalDriveTorque;
  double finalDriveFlow;
  double finalDriveInputTorque;
  double engineShaftTorque;
  double outputShaftNetTorque;
  double engineAcceleration;
  double outputShaftAcceleration;
  // Written only in major steps: the lock-up command was exactly 0.0.
  uint8_t lockupReleased;
  // The torque factor and the torque map's throttle search, kept through one integration step's
  // stages; whether the converter's two tables have breakpoints of the same bits, likewise.
  runtime::StepMemo<double> torqueFactorMemo;
  runtime::StepMemo<runtime::Interval> throttleSearchMemo;
  runtime::StepMemo<bool> converterRatiosMemo;
};

// 34 slots; only slot 0 is used, the time of the first output of the initial-condition rule.
struct WorkStates {
  double firstOutputTime;
  double unused[33];
};
static_assert(sizeof(WorkStates) == 34 * 8);

}  // namespace powertrain
