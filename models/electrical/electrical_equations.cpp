// Electrical equations, in their order of floating-point operations.
#include "models/electrical/electrical_model.h"
#include "runtime/numerics.h"
#include "runtime/step_memo.h"

namespace electrical {

using runtime::maxNaN;
using runtime::minNaN;

namespace {

// The drag-torque map at (speed rpm, current A, voltage V): extrapolating searches on the three
// axes with fixed last indices, then trilinear interpolation with elements 1 and 2 of `strides`.
// The strides are kept within the map by Model::integerWriteError.
runtime::Interval dragSpeedInterval(const ModelParameters& p, double rpm) {
  runtime::Interval s;
  s.index = runtime::findIntervalExtrap(rpm, p.dragSpeedBreakpoints, dragMapSpeedCount - 1, &s.fraction);
  return s;
}
runtime::Interval dragVoltageInterval(const ModelParameters& p, double voltage) {
  runtime::Interval s;
  s.index = runtime::findIntervalExtrap(voltage, p.dragVoltageBreakpoints, dragMapVoltageCount - 1,
                                        &s.fraction);
  return s;
}
double lookupDragTorque(const ModelParameters& p, const runtime::Interval& speed, double current,
                        const runtime::Interval& voltage, const uint32_t (&strides)[3]) {
  uint32_t index[3];
  double fraction[3];
  index[0] = speed.index;
  fraction[0] = speed.fraction;
  index[1] = runtime::findIntervalExtrap(current, p.dragCurrentBreakpoints, dragMapCurrentCount - 1,
                                         &fraction[1]);
  index[2] = voltage.index;
  fraction[2] = voltage.fraction;
  return runtime::interpolate3D(index, fraction, p.dragTorqueMap, &strides[1]);
}
double lookupDragTorque(const ModelParameters& p, double rpm, double current, double voltage,
                        const uint32_t (&strides)[3]) {
  return lookupDragTorque(p, dragSpeedInterval(p, rpm), current, dragVoltageInterval(p, voltage),
                          strides);
}

// Open-circuit voltage over the state of charge: two points, held at the end values.
double lookupOpenCircuitVoltage(const ModelParameters& p, double soc) {
  const double* bp = p.openCircuitSocBreakpoints;
  const double* v = p.openCircuitVoltages;
  int lo = 0;
  int hi = 1;
  if (soc <= bp[0]) {
    hi = 0;
  } else if (soc >= bp[1]) {
    lo = 1;
  }
  const double fraction = bp[hi] > bp[lo] ? (soc - bp[lo]) / (bp[hi] - bp[lo]) : 0.0;
  return (v[hi] - v[lo]) * fraction + v[lo];
}

}  // namespace

void Model::initializeModel(Data& d) {
  const ModelParameters& p = d.parameters;
  WorkStates& w = d.work;
  double* x = d.states;
  w.alternatorSpeedMemory = p.initialAlternatorSpeed;
  x[errorLagState] = 0.0;
  x[setpointLagState] = 0.0;
  w.busVoltageMemory = p.initialBusVoltage;
  w.chargeTimeMemory = p.initialChargeTime;
  w.chargeChangeMemory = p.initialChargeChange;
  x[torqueLagState] = 0.0;
  x[polarizationState] = 0.0;
}

void Model::computeOutputs(Data& d) {
  const ModelParameters& p = d.parameters;
  BlockSignals& b = d.signals;
  const ExternalInputs& in = d.inputs;
  ExternalOutputs& out = d.outputs;
  const WorkStates& w = d.work;
  const double* x = d.states;
  const bool major = d.majorStep();
  // At the integrator's stages only the derivatives' inputs are computed: the regulator current,
  // the battery current, the two voltage errors and the drag torque. The charge, the state of
  // charge, the terminal voltage, the belt drive's load torque and loss and the alternator speed
  // feed outputs and the memories only, which the major step after the integration recomputes
  // before anything reads them; the memories are written from the major step's values.
  if (major) {
    d.signals.dragSpeedMemo.forget();
    d.signals.dragVoltageMemo.forget();
    d.signals.dragTorqueMemo.forget();
  }

  // Battery capacity, charge limits and the alternator's speed-dependent current limit.
  if (major) {
    b.capacityCharge = p.secondsPerHour * p.batteryCapacityAh;
    b.chargeUpperLimit = (p.chargeUpperPercent * p.percentToFraction) * b.capacityCharge;
    b.initialCharge = (p.initialChargePercent * p.percentToFraction) * b.capacityCharge;
    b.alternatorRpm = p.radPerSecToRpm * w.alternatorSpeedMemory;
    const double limit = runtime::lookup1DClip(b.alternatorRpm, p.maxCurrentSpeeds,
                                               p.maxCurrentTable, maxCurrentCount - 1);
    b.maxAlternatorCurrent = maxNaN(limit, p.maxCurrentFloor);
    b.regulatorFloorHold = p.regulatorFloor;
  }

  // Regulator: the lagged set-point excess over the nominal voltage through the ohmic resistance,
  // plus the gain on the lagged bus error, capped by the current limit.
  double r = p.setpointLagC * x[setpointLagState];
  if (r > p.setpointThreshold) {
    r = r * (1.0 / p.ohmicResistance);
  } else {
    r = b.regulatorFloorHold;
  }
  r = maxNaN(r, b.regulatorFloorHold);
  r = r + (p.errorLagC * x[errorLagState]) * p.regulatorGain;
  b.alternatorCurrent = minNaN(b.maxAlternatorCurrent, r);

  if (major) {
    out.busVoltage = w.busVoltageMemory;
    b.loadOffHold = p.loadOffVoltage;
    b.baseLoadCurrent = out.busVoltage / p.baseLoadResistance;
  }

  // Battery current, positive when charging.
  const double switchedVoltage =
      in.loadSwitch > p.loadSwitchThreshold ? out.busVoltage : b.loadOffHold;
  b.batteryCurrent = b.alternatorCurrent -
                     ((1.0 / p.switchedLoadResistance) * switchedVoltage + b.baseLoadCurrent);

  if (major) b.time = d.time();

  if (major) {
    b.chargeTimeHold = w.chargeTimeMemory;
    b.chargeChangeHold = w.chargeChangeMemory;
    b.chargeLowerLimit = (p.percentToFraction * p.chargeLowerPercent) * b.capacityCharge;
  }

  // Charge: the change summed up to the previous major step plus the current over the time since,
  // limited; the upper test looks at the raw charge.
  if (major) {
    b.chargeRaw =
        ((b.time - b.chargeTimeHold) * b.batteryCurrent + b.chargeChangeHold) + b.initialCharge;
    b.chargeFloored = b.chargeLowerLimit > b.chargeRaw ? b.chargeLowerLimit : b.chargeRaw;
    b.charge = b.chargeRaw > b.chargeUpperLimit ? b.chargeUpperLimit : b.chargeFloored;

    b.socSignal = (b.charge / b.capacityCharge) * p.percentScale;
    out.stateOfCharge = b.socSignal;
  }

  if (major) {
    b.efficiencyHold = p.driveEfficiency;
    b.ratioHold = p.pulleyRatio;
    b.inverseEfficiency = p.efficiencyNumerator / b.efficiencyHold;
  }

  // Belt drive: the lagged drag torque seen at the engine, with the efficiency of the direction
  // in which the power flows.
  if (major) {
    b.filteredDragTorque = (p.torqueLagC * x[torqueLagState]) + 0.0;
    b.engineSideTorque = b.filteredDragTorque * b.ratioHold;
    b.powerFlow = runtime::saturate(b.engineSideTorque * p.powerFlowGain, p.powerFlowLower,
                                    p.powerFlowUpper);
    b.efficiencyFactor =
        b.powerFlow > p.powerFlowThreshold ? b.efficiencyHold : b.inverseEfficiency;
    out.alternatorLoadTorque = (b.efficiencyFactor * b.engineSideTorque) * p.loadTorqueSign;

    out.constantOutput = p.loadOffVoltage;
    b.lossOutputValueHold = p.lossOutputValue;
    b.lossOutputControlHold = p.lossOutputControl;

    b.torqueLoss = b.engineSideTorque - b.efficiencyFactor * b.engineSideTorque;
    const double lossFactor =
        b.lossOutputControlHold >= p.lossOutputThreshold ? b.lossOutputValueHold : in.engineSpeed;
    out.driveLossPower = lossFactor * b.torqueLoss;
    out.stateOfChargeMirror = b.socSignal;
    b.alternatorSpeed = in.engineSpeed * b.ratioHold;
  }

  if (major) b.nominalVoltageHold = p.nominalVoltage;
  b.setpointError = in.voltageSetpoint - b.nominalVoltageHold;
  b.busError = in.voltageSetpoint - out.busVoltage;

  // Alternator drag torque from the map, capped by the map at the cap point and floored. Its
  // speed and voltage are held values: the stages after the first take their searches from it.
  double torque;
  if (major) {
    torque = lookupDragTorque(p, b.alternatorRpm, b.alternatorCurrent, out.busVoltage, p.dragStrides);
  } else {
    const runtime::Interval& speed = b.dragSpeedMemo.recall(
        b.alternatorRpm, [&] { return dragSpeedInterval(p, b.alternatorRpm); });
    const runtime::Interval& voltage = b.dragVoltageMemo.recall(
        out.busVoltage, [&] { return dragVoltageInterval(p, out.busVoltage); });
    // With the speed and the voltage held, the torque is a function of the current alone within
    // a step; a current held at its limit gives the same bits at every stage.
    torque = b.dragTorqueMemo.recall(b.alternatorCurrent, [&] {
      return lookupDragTorque(p, speed, b.alternatorCurrent, voltage, p.dragStrides);
    });
  }
  if (major) {
    b.dragTorqueCap =
        lookupDragTorque(p, b.alternatorRpm, p.dragCapCurrent, p.dragCapVoltage, p.dragCapStrides);
    b.dragTorqueFloorHold = p.dragTorqueFloor;
  }
  torque = minNaN(torque, b.dragTorqueCap);
  b.alternatorDragTorque = maxNaN(torque, b.dragTorqueFloorHold);

  if (!major) return;
  b.chargeChange = b.charge - b.initialCharge;

  // Terminal voltage: open-circuit voltage plus the RC branch and the ohmic drop.
  b.ohmicResistanceHold = p.ohmicResistance;
  b.voltageDrop =
      (p.polarizationC * x[polarizationState]) + (b.batteryCurrent * b.ohmicResistanceHold);
  b.openCircuitVoltage = lookupOpenCircuitVoltage(p, b.socSignal);
  b.terminalVoltage = b.openCircuitVoltage + b.voltageDrop;
}

void Model::computeDerivatives(Data& d) {
  const ModelParameters& p = d.parameters;
  const BlockSignals& b = d.signals;
  const double* x = d.states;
  double* dx = d.sim.stateDerivatives;
  dx[errorLagState] = ((p.errorLagA * x[errorLagState]) + 0.0) + b.busError;
  dx[setpointLagState] = ((p.setpointLagA * x[setpointLagState]) + 0.0) + b.setpointError;
  dx[torqueLagState] = ((p.torqueLagA * x[torqueLagState]) + 0.0) + b.alternatorDragTorque;
  dx[polarizationState] = ((p.polarizationA * x[polarizationState]) + 0.0) + b.batteryCurrent;
}

void Model::updateDiscreteStates(Data& d) {
  if (!d.majorStep()) return;
  const BlockSignals& b = d.signals;
  WorkStates& w = d.work;
  w.alternatorSpeedMemory = b.alternatorSpeed;
  w.busVoltageMemory = b.terminalVoltage;
  w.chargeTimeMemory = b.time;
  w.chargeChangeMemory = b.chargeChange;
}

}  // namespace electrical
