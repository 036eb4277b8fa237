// Driver equations, in their order of floating-point operations.
#include "models/driver/driver_model.h"
#include "runtime/numerics.h"

namespace driver {

using runtime::isNaN;
using runtime::maxNaN;
using runtime::minNaN;
using runtime::saturate;

namespace {

// Backward-difference rate of u at time t against the most recent sample stamped strictly
// before t; 0.0 while no sample lies before t.
double rateEstimate(const RateMemory& m, double u, double t) {
  if (m.stampA >= t && m.stampB >= t) return 0.0;
  bool useB;
  if (m.stampA < m.stampB) {
    useB = m.stampB < t;
  } else {
    useB = !(m.stampA < t);
  }
  const double stamp = useB ? m.stampB : m.stampA;
  const double value = useB ? m.valueB : m.valueA;
  return (u - value) / (t - stamp);
}

// Keeps the newest sample: fills an empty memory first, else overwrites the older one (B on a tie).
void storeSample(RateMemory& m, double u, double t) {
  if (m.stampA == runtime::infValue) {
    m.stampA = t;
    m.valueA = u;
  } else if (m.stampB == runtime::infValue) {
    m.stampB = t;
    m.valueB = u;
  } else if (m.stampA < m.stampB) {
    m.stampA = t;
    m.valueA = u;
  } else {
    m.stampB = t;
    m.valueB = u;
  }
}

}  // namespace

void Model::initializeModel(Data& d) {
  WorkStates& w = d.work;
  w.targetSpeedMemory = d.parameters.initialTargetSpeed;
  w.speedErrorMemory = d.parameters.initialSpeedError;
  w.errorMemories.stampA = runtime::infValue;
  w.errorMemories.stampB = runtime::infValue;
  d.states[speedErrorIntegral] = d.parameters.integralInitial;
  w.targetMemories.stampA = runtime::infValue;
  w.targetMemories.stampB = runtime::infValue;
  d.states[ratioLagState] = 0.0;
}

void Model::computeOutputs(Data& d) {
  const ModelParameters& p = d.parameters;
  BlockSignals& b = d.signals;
  const ExternalInputs& in = d.inputs;
  const WorkStates& w = d.work;
  const double* x = d.states;
  const double t = d.time();
  const bool major = d.majorStep();
  // The derivatives read only a held value (the speed error of the previous major step), the
  // ratio lag's own state and an input, and the memories are written from the major step's
  // signals: nothing computed here at an integrator's stage would be read before the major step
  // after the integration computes it again. So the stages compute nothing.
  if (!major) return;

  // Feedback on the speed error of the previous major step, shaped: quadratic below the upper
  // error limit, linear above it.
  if (major) {
    b.releasedBrakeHold = p.releasedBrake;
    b.targetSpeedHold = w.targetSpeedMemory;
    b.riseThresholdHold = p.targetRiseThreshold;
    b.speedErrorHold = w.speedErrorMemory;
    const double e = saturate(b.speedErrorHold, p.errorShapeLower, p.errorShapeUpper);
    b.proportionalTerm = (e * p.proportionalGain) * b.speedErrorHold;
  }
  b.errorRate = rateEstimate(w.errorMemories, b.speedErrorHold, t);
  b.errorRate = b.errorRate * p.derivativeGain;

  b.targetSpeed = p.speedMsPerKmh * in.targetSpeedKmh;
  b.targetAcceleration = rateEstimate(w.targetMemories, b.targetSpeed, t);

  // Road load at the target speed: drag on the capped speed less the wind, rolling resistance
  // scaled by the target speed clipped to the direction limits.
  if (major) {
    b.massHold = p.vehicleMass;
    b.dragSpeedCap = p.capMsPerKmh * p.dragSpeedCapKmh;
    b.windSpeedHold = p.windSpeed;
  }
  b.dragSpeed = minNaN(b.targetSpeed, b.dragSpeedCap);
  b.dragSpeed = b.dragSpeed - b.windSpeedHold;

  if (major) {
    b.dragFactor = ((p.frontalArea * 0.5) * p.dragCoefficient) * p.airDensity;
    b.rollingForce = (p.rollingCoefficient * p.vehicleMass) * p.gravity;
    b.directionUpperHold = p.directionUpper;
  }
  b.dragForce = (b.dragSpeed * b.dragSpeed) * b.dragFactor;
  b.rollingDirection = minNaN(b.targetSpeed, b.directionUpperHold);
  if (major) {
    b.directionLowerHold = p.directionLower;
    b.finalDriveHold = p.finalDriveRatio;
    b.radiusHold = p.wheelRadius;
  }
  b.rollingDirection = maxNaN(b.rollingDirection, b.directionLowerHold);

  // The lagged transmission ratio, never below its floor, and the engine's closed-pedal torque.
  b.effectiveRatio = p.ratioLagC * x[ratioLagState];
  if (major) {
    b.ratioFloorHold = p.ratioFloor;
    b.engineDragTorque =
        runtime::lookup2DClip(p.dragPedal, in.engineSpeedRpm, p.engineMapPedals, p.engineMapSpeeds,
                              p.engineTorqueMap, p.engineMapMaxIndex, engineMapStride);
  }
  b.effectiveRatio = maxNaN(b.effectiveRatio, b.ratioFloorHold);

  b.requiredTorque = ((((b.rollingDirection * b.rollingForce) +
                        (b.dragForce + (b.targetAcceleration * b.massHold))) /
                       b.finalDriveHold) *
                      b.radiusHold) /
                         b.effectiveRatio +
                     b.engineDragTorque;

  // Feed-forward through the inverse engine map, with a dead zone for a barely open pedal.
  b.feedForwardPedal =
      runtime::lookup2DClip(b.requiredTorque, in.engineSpeedRpm, p.pedalMapTorques, p.pedalMapSpeeds,
                            p.pedalMap, p.pedalMapMaxIndex, pedalMapStride);
  if (major) b.deadZoneHold = p.deadZoneValue;
  if (!(b.feedForwardPedal > p.deadZoneThreshold)) b.feedForwardPedal = b.deadZoneHold;

  b.acceleratorDemand = b.feedForwardPedal + ((b.errorRate + b.proportionalTerm) +
                                              (p.integralGain * x[speedErrorIntegral]));
  b.acceleratorDemand = saturate(b.acceleratorDemand, p.acceleratorLower, p.acceleratorUpper);

  if (major) {
    b.acceleratorBrakeHold = p.acceleratorBrakeThreshold;
    b.holdBrake = p.holdBrakeSign * p.brakeGain;
  }
  // Brake: released while the target rises and the accelerator is pressed; the hold brake at a
  // (nearly) zero target; otherwise proportional to the overspeed. A NaN fails every test.
  if ((in.targetSpeedKmh - b.targetSpeedHold) >= b.riseThresholdHold &&
      b.acceleratorDemand > b.acceleratorBrakeHold) {
    b.brakeForce = b.releasedBrakeHold;
  } else if (in.targetSpeedKmh <= p.standstillSpeedKmh || isNaN(in.targetSpeedKmh)) {
    b.brakeForce = b.holdBrake;
  } else {
    b.brakeForce = saturate((in.targetSpeedKmh - in.actualSpeedKmh) * p.brakeGain, p.brakeLower,
                            p.brakeUpper);
  }

  d.outputs.acceleratorPedal = b.acceleratorDemand;
  d.outputs.brakePedal = ((1.0 / p.brakeUpper) * 100.0) * b.brakeForce;

  b.speedError = in.targetSpeedKmh - in.actualSpeedKmh;
}

void Model::computeDerivatives(Data& d) {
  const double* x = d.states;
  double* dx = d.sim.stateDerivatives;
  dx[speedErrorIntegral] = d.signals.speedErrorHold;
  dx[ratioLagState] = ((d.parameters.ratioLagA * x[ratioLagState]) + 0.0) + d.inputs.transmissionRatio;
}

void Model::updateDiscreteStates(Data& d) {
  if (!d.majorStep()) return;
  WorkStates& w = d.work;
  const BlockSignals& b = d.signals;
  const double t = d.time();
  w.targetSpeedMemory = d.inputs.targetSpeedKmh;
  w.speedErrorMemory = b.speedError;
  storeSample(w.errorMemories, b.speedErrorHold, t);
  storeSample(w.targetMemories, b.targetSpeed, t);
}

}  // namespace driver
