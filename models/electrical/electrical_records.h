// Records of the electrical model: a belt-driven alternator with a voltage regulator and a
// speed-dependent current limit, a 48 Ah battery with an ohmic resistance and one RC branch, an
// always-on base load and one switched load, and the torque and loss of the belt drive.
#pragma once

#include <cstddef>
#include <cstdint>

#include "runtime/step_memo.h"

namespace electrical {

struct ExternalInputs {
  double voltageSetpoint;  // regulator set-point voltage, V
  double loadSwitch;       // switched load on when above loadSwitchThreshold
  double engineSpeed;      // rad/s
};

struct ExternalOutputs {
  double stateOfCharge;         // percent
  double alternatorLoadTorque;  // N·m taken from the engine; negative is a load on the engine
  double constantOutput;        // the value of loadOffVoltage
  double driveLossPower;        // W lost in the belt drive (or the torque loss, when selected)
  double stateOfChargeMirror;   // the same value as stateOfCharge
  double busVoltage;            // battery terminal voltage of the previous major step, V
};

// Continuous states (and their derivatives), by index. All start at 0.0.
enum State : int {
  errorLagState = 0,      // lag of (voltageSetpoint - busVoltage)
  setpointLagState = 1,   // lag of (voltageSetpoint - nominalVoltage)
  torqueLagState = 2,     // lag of the alternator drag torque
  polarizationState = 3,  // the battery's RC branch; its voltage is polarizationC * state
  numStates = 4
};

// Memories copied once per major step, before the integration.
struct WorkStates {
  double alternatorSpeedMemory;  // alternatorSpeed, rad/s
  double busVoltageMemory;       // terminalVoltage, V
  double chargeTimeMemory;       // time of the major step, s
  double chargeChangeMemory;     // chargeChange, A·s
};

struct BlockSignals {
  // Major-step values: refreshed only when computeOutputs runs in a major step.
  double capacityCharge;
  double chargeUpperLimit;
  double initialCharge;
  double chargeLowerLimit;
  double alternatorRpm;
  double maxAlternatorCurrent;
  double regulatorFloorHold;
  double loadOffHold;
  double baseLoadCurrent;
  double chargeTimeHold;
  double chargeChangeHold;
  double efficiencyHold;
  double ratioHold;
  double inverseEfficiency;
  double lossOutputValueHold;
  double lossOutputControlHold;
  double nominalVoltageHold;
  double dragTorqueCap;
  double dragTorqueFloorHold;
  double ohmicResistanceHold;
  // Running values: recomputed on every call.
  double alternatorCurrent;
  double batteryCurrent;
  double time;
  double chargeRaw;
  double chargeFloored;
  double charge;
  double socSignal;
  double filteredDragTorque;
  double engineSideTorque;
  double powerFlow;
  double efficiencyFactor;
  double torqueLoss;
  double alternatorSpeed;
  double setpointError;
  double busError;
  double alternatorDragTorque;
  double chargeChange;
  double voltageDrop;
  double openCircuitVoltage;
  double terminalVoltage;
  // The drag map's searches along its held axes, kept through one integration step's stages, and
  // its torque at the last current.
  runtime::StepMemo<runtime::Interval> dragSpeedMemo;
  runtime::StepMemo<runtime::Interval> dragVoltageMemo;
  runtime::StepMemo<double> dragTorqueMemo;
};

// Sizes of the model's tables.
inline constexpr uint32_t maxCurrentCount = 14;
inline constexpr uint32_t dragMapSpeedCount = 18;
inline constexpr uint32_t dragMapCurrentCount = 12;
inline constexpr uint32_t dragMapVoltageCount = 3;
inline constexpr uint32_t dragMapSize = dragMapSpeedCount * dragMapCurrentCount * dragMapVoltageCount;

struct ModelParameters {
  double dragCapCurrent;
  double dragCapVoltage;
  double maxCurrentTable[maxCurrentCount];
  double maxCurrentSpeeds[maxCurrentCount];
  double dragTorqueMap[dragMapSize];  // speed index fastest, then current, then voltage
  double dragSpeedBreakpoints[dragMapSpeedCount];
  double dragCurrentBreakpoints[dragMapCurrentCount];
  double dragVoltageBreakpoints[dragMapVoltageCount];
  double regulatorGain;
  double driveEfficiency;
  double pulleyRatio;
  double dragTorqueFloor;
  double batteryCapacityAh;
  double ohmicResistance;
  double chargeUpperPercent;
  double chargeLowerPercent;
  double initialChargePercent;
  double initialBusVoltage;
  double openCircuitVoltages[2];
  double openCircuitSocBreakpoints[2];
  double baseLoadResistance;
  double loadOffVoltage;
  double switchedLoadResistance;
  double secondsPerHour;
  double percentScale;
  double percentToFraction;
  double radPerSecToRpm;
  double reserved1;
  double reserved2;
  double reserved3;
  double reserved4;
  double reserved5;
  double reserved6;
  double alternatorPowerValue;
  double batteryPowerValue;
  double spareSelectValue;
  double initialAlternatorSpeed;
  double maxCurrentFloor;
  double errorLagA;
  double errorLagC;
  double setpointLagA;
  double setpointLagC;
  double regulatorFloor;
  double setpointThreshold;
  double loadSwitchThreshold;
  double initialChargeTime;
  double initialChargeChange;
  double torqueLagA;
  double torqueLagC;
  double powerFlowGain;
  double powerFlowUpper;
  double powerFlowLower;
  double efficiencyNumerator;
  double powerFlowThreshold;
  double loadTorqueSign;
  double lossOutputValue;
  double lossOutputControl;
  double lossOutputThreshold;
  double mechPowerValue;
  double mechPowerControl;
  double mechPowerThreshold;
  double alternatorPowerControl;
  double alternatorPowerThreshold;
  double nominalVoltage;
  double batteryPowerControl;
  double batteryPowerThreshold;
  double polarizationA;
  double polarizationC;
  double lossPowerValue;
  double lossPowerControl;
  double lossPowerThreshold;
  double spareSelectControl;
  double spareSelectThreshold;
  // Map indexing: last index of each axis (not read: the searches use fixed bounds) and the
  // strides of the running and the cap lookup (elements 1 and 2 are read).
  uint32_t dragMaxIndex[3];
  uint32_t dragStrides[3];
  uint32_t dragCapMaxIndex[3];
  uint32_t dragCapStrides[3];
};
static_assert(offsetof(ModelParameters, dragMaxIndex) == 778 * sizeof(double));
static_assert(sizeof(ModelParameters) == 778 * sizeof(double) + 12 * sizeof(uint32_t));

}  // namespace electrical
