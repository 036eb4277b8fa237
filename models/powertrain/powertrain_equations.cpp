// Powertrain equations, in their order of floating-point operations.
#include <cstring>

#include "models/powertrain/powertrain_lookups.h"
#include "models/powertrain/powertrain_model.h"
#include "runtime/numerics.h"
#include "runtime/step_memo.h"

namespace powertrain {

namespace {

using runtime::minNaN;
using runtime::saturate;

// The runtime's limited-state rules on a state whose limits are parameters.
void limitState(double* x, const ModelParameters& p, const StateLimits& limits) {
  runtime::limitState(x[limits.state], p.*limits.lower, p.*limits.upper);
}
double limitedDerivative(const double* x, const ModelParameters& p, const StateLimits& limits,
                         double u) {
  return runtime::limitedDerivative(x[limits.state], p.*limits.lower, p.*limits.upper, u);
}

// The clip of the speeds that form the converter's speed ratio (ceiling first).
double clipRatioRpm(double rpm, const ModelParameters& p) {
  return saturate(rpm, p.ratioRpmFloor, p.ratioRpmCeiling);
}

constexpr uint8_t noPreviousValue = 3;

}  // namespace

void Model::initializeModel(Data& d) {
  const ModelParameters& p = d.parameters;
  double* x = d.states;
  d.work.firstOutputTime = runtime::minusInfValue;
  x[outputShaftSpeedState] = p.initialOutputShaftSpeed;
  x[engineSpeedState] = p.initialEngineSpeed;
  x[shaftTwistState] = p.initialShaftTwist;
  x[fuelUsedState] = p.initialFuelUsed;
  x[ratioLagState] = 0.0;
  x[lockupLagState] = 0.0;
  x[clutchTwistState] = p.clutchTwistReset;
}

void Model::computeOutputs(Data& d) {
  const ModelParameters& p = d.parameters;
  const ExternalInputs& in = d.inputs;
  ExternalOutputs& out = d.outputs;
  BlockSignals& b = d.signals;
  double* x = d.states;
  const bool major = d.majorStep();
  // At the integrator's stages the outputs that no derivative reads (the speeds in rpm and rad/s,
  // the fuel used and its rate, the gearbox loss power) are left to the major step after the
  // integration, which writes every output before anything reads one. The states are clamped and
  // every signal a derivative reads is computed at every stage. The torque factor and the
  // throttle's search in the torque map have inputs that cannot change within a step; the stages
  // after the first take them from the first.
  if (major) {
    b.torqueFactorMemo.forget();
    b.throttleSearchMemo.forget();
    b.converterRatiosMemo.forget();
  }

  // Shaft speeds and the driveshaft.
  limitState(x, p, outputShaftSpeedLimits);
  b.outputShaftSpeed = x[outputShaftSpeedState];
  if (major) out.outputShaftRpm = b.outputShaftSpeed * p.radPerSecToRpm;
  limitState(x, p, engineSpeedLimits);
  b.engineSpeed = x[engineSpeedState];
  b.engineRpm = b.engineSpeed * p.radPerSecToRpm;
  if (major) out.engineRpm = b.engineRpm;
  limitState(x, p, shaftTwistLimits);
  if (major) {
    b.finalDriveRatioHold = p.finalDriveRatio;
    b.throttleGateCutAHold = p.throttleGateCutA;
    b.throttleGateOnAHold = p.throttleGateOnA;
    b.throttleGateCutBHold = p.throttleGateCutB;
    b.throttleGateOnBHold = p.throttleGateOnB;
  }
  b.shaftRelativeSpeed = b.outputShaftSpeed / b.finalDriveRatioHold - in.wheelSpeed;
  out.driveshaftTorque =
      (p.shaftStiffness * x[shaftTwistState]) + (b.shaftRelativeSpeed * p.shaftDamping);
  if (major) out.fuelUsed = x[fuelUsedState];

  // Initial-condition rule: the parameter on every call at the first output time, the input at
  // every later time (the first step's integrator stages included).
  const double t = d.time();
  double v;
  if (d.work.firstOutputTime == runtime::minusInfValue || d.work.firstOutputTime == t) {
    d.work.firstOutputTime = t;
    v = p.torqueFactorInitial;
  } else {
    v = in.torqueFactorInput;
  }

  // Engine torque from the throttle after the cut-offs.
  const double gA = in.cutoffA != 0 ? b.throttleGateCutAHold : b.throttleGateOnAHold;
  const double gB = in.cutoffB != 0 ? b.throttleGateCutBHold : b.throttleGateOnBHold;
  b.throttleCommand = saturate((gB * gA) * in.throttle, p.throttleMin, p.throttleMax);
  auto torqueFactorOf = [&p](double u) {
    return runtime::lookup1DExtrap(u, p.torqueFactorBreakpoints, p.torqueFactorTable,
                                   torqueFactorCount - 1);
  };
  auto throttleSearch = [&p](double u) {
    runtime::Interval s;
    s.index = runtime::findIntervalClip(u, p.torqueMapThrottles, p.torqueMapMaxIndex[0], &s.fraction);
    return s;
  };
  if (major) {
    b.torqueFactor = torqueFactorOf(v);
    b.engineMapTorque = runtime::lookup2DClip(b.throttleCommand, b.engineRpm, p.torqueMapThrottles,
                                              p.torqueMapSpeeds, p.torqueMap, p.torqueMapMaxIndex,
                                              torqueMapStride);
  } else {
    b.torqueFactor = b.torqueFactorMemo.recall(v, [&] { return torqueFactorOf(v); });
    const runtime::Interval& throttle =
        b.throttleSearchMemo.recall(b.throttleCommand, [&] { return throttleSearch(b.throttleCommand); });
    double speedFraction;
    const uint32_t speedIndex = runtime::findIntervalClip(b.engineRpm, p.torqueMapSpeeds,
                                                          p.torqueMapMaxIndex[1], &speedFraction);
    b.engineMapTorque =
        runtime::interpolate2DClip(throttle.index, throttle.fraction, speedIndex, speedFraction,
                                   p.torqueMap, p.torqueMapMaxIndex, torqueMapStride);
  }
  b.engineTorque = b.engineMapTorque * b.torqueFactor;

  // Fuel rate from the map torque (a zero torque factor makes it 0/0) after the cut-offs.
  if (major) {
    b.fuelGateCutAHold = p.fuelGateCutA;
    b.fuelGateOnAHold = p.fuelGateOnA;
    b.fuelGateCutBHold = p.fuelGateCutB;
    b.fuelGateOnBHold = p.fuelGateOnB;
  }
  const double m = runtime::lookup2DExtrap(b.engineTorque / b.torqueFactor, b.engineRpm,
                                           p.fuelMapTorques, p.fuelMapSpeeds, p.fuelMap,
                                           p.fuelMapMaxIndex, fuelMapStride);
  const double fA = in.cutoffA != 0 ? b.fuelGateCutAHold : b.fuelGateOnAHold;
  const double fB = in.cutoffB != 0 ? b.fuelGateCutBHold : b.fuelGateOnBHold;
  b.fuelRate = (m * fA) * fB;
  if (major) out.fuelRate = b.fuelRate;

  // Gearbox input side and lock-up clutch.
  if (major) {
    b.lossOutputValueHold = p.lossOutputValue;
    b.lossOutputControlHold = p.lossOutputControl;
    b.gearboxEfficiencyHold = p.gearboxEfficiency;
  }
  b.gearRatio = p.ratioLagC * x[ratioLagState];
  b.turbineSpeed = b.gearRatio * b.outputShaftSpeed;
  b.lockupEngagement = p.lockupLagC * x[lockupLagState];
  b.lockupRelativeSpeed =
      (b.lockupEngagement * b.engineSpeed) - (b.turbineSpeed * b.lockupEngagement);
  if (major) {
    // The twist is held at its reset value while the clutch is released, and reset once more on
    // the step where the command leaves 0.0.
    b.lockupReleased = in.lockupCommand == 0.0 ? 1 : 0;
    uint8_t& previous = d.sim.triggerStates[0];
    const bool edge = previous != noPreviousValue && ((previous == 1) != (b.lockupReleased == 1));
    previous = b.lockupReleased;
    if (edge || b.lockupReleased == 1) x[clutchTwistState] = p.clutchTwistReset;
  }
  limitState(x, p, clutchTwistLimits);
  b.clutchTorque = (p.clutchStiffness * x[clutchTwistState]) +
                   (p.clutchDamping * b.lockupRelativeSpeed);

  // Torque converter.
  if (major) {
    b.stallSpeedRatioHold = p.stallSpeedRatio;
    b.stallRpmEngineHold = p.stallRpm;
    b.stallRpmTurbineHold = p.stallRpm;
  }
  b.turbineRpm = b.turbineSpeed * p.radPerSecToRpm;
  if (b.stallRpmEngineHold >= b.engineRpm || b.stallRpmTurbineHold >= b.turbineRpm) {
    b.speedRatio = b.stallSpeedRatioHold;
  } else {
    const double e = clipRatioRpm(b.engineRpm, p);
    const double tr = clipRatioRpm(b.turbineRpm, p);
    const double a = e / tr;
    const double c = tr / e;
    // The smaller of the two ratios; a NaN engine-over-turbine ratio gives the other one.
    b.speedRatio = saturate(minNaN(c, a), p.speedRatioMin, p.speedRatioMax);
  }
  b.converterDirection = saturate(b.engineRpm - b.turbineRpm, p.converterDirectionLower,
                                  p.converterDirectionUpper);
  // The capacity factor and the torque ratio are both looked up at the speed ratio: an
  // extrapolating lookup, and the lookup that clips to its last segment, whose search strictly
  // inside the range is the extrapolating one. Where the two tables' breakpoints (two parameters,
  // by default the same values) hold the same bits, that search gives the same interval for both,
  // so at the stages the torque ratio takes the capacity factor's. The major step searches anew:
  // a parameter written after it is seen at the next step's first stage.
  constexpr uint32_t lastRatio = converterRatioCount - 1;
  static_assert(sizeof(p.capacityRatios) == sizeof(p.torqueRatioRatios));
  auto ratioSearch = [&b](const double* bp) {
    runtime::Interval s;
    s.index = runtime::findIntervalExtrap(b.speedRatio, bp, lastRatio, &s.fraction);
    return s;
  };
  const runtime::Interval capacity = ratioSearch(p.capacityRatios);
  b.capacityFactor = runtime::interpolate1D(p.capacityTable, capacity.index, capacity.fraction);
  b.impellerTorque = ((b.capacityFactor * p.capacityScale) * b.converterDirection) *
                     (b.engineRpm * b.engineRpm);
  const bool sameRatios = !major && b.converterRatiosMemo.recall([&p] {
    return std::memcmp(p.capacityRatios, p.torqueRatioRatios, sizeof(p.capacityRatios)) == 0;
  });
  const runtime::Interval torqueRatio =
      clipLastSegmentInterval(b.speedRatio, p.torqueRatioRatios, lastRatio, [&] {
        return sameRatios ? capacity : ratioSearch(p.torqueRatioRatios);
      });
  b.torqueRatio = runtime::interpolate1D(p.torqueRatioTable, torqueRatio.index, torqueRatio.fraction);
  b.turbineTorque = b.torqueRatio * b.impellerTorque;

  // Gearbox: the efficiency is raised to the saturated torque flow, so that forward torque loses
  // and backward torque gains, with a power law between the saturation limits.
  b.gearboxInputTorque = b.turbineTorque + b.clutchTorque;
  b.gearboxFlow = saturate(b.gearboxInputTorque, p.gearboxFlowLower, p.gearboxFlowUpper);
  b.gearboxEfficiencyFactor = signedPower(b.gearboxEfficiencyHold, b.gearboxFlow);
  b.transmittedTorque = b.gearboxEfficiencyFactor * b.gearboxInputTorque;
  if (major) {
    b.gearboxLossTorque = b.gearboxInputTorque - b.transmittedTorque;
    const double s = b.lossOutputControlHold >= p.lossOutputThreshold ? b.lossOutputValueHold
                                                                       : b.turbineSpeed;
    out.gearboxLossPower = b.gearboxLossTorque * s;
  }
  out.engineLoadTorque = (b.clutchTorque + b.impellerTorque) * p.engineLoadGain;
  if (major) out.engineSpeed = b.engineSpeed;

  // Final drive: the gearbox output shaft supplies the final drive's loss as well.
  b.finalDriveTorque = out.driveshaftTorque / b.finalDriveRatioHold;
  if (major) b.finalDriveEfficiencyHold = p.finalDriveEfficiency;
  b.finalDriveFlow = saturate(b.finalDriveTorque * p.finalDriveFlowGain, p.finalDriveFlowLower,
                              p.finalDriveFlowUpper);
  b.finalDriveInputTorque =
      signedPower(b.finalDriveEfficiencyHold, b.finalDriveFlow) * b.finalDriveTorque;

  // Shaft accelerations.
  if (major) b.engineInertiaHold = p.engineInertia;
  b.engineShaftTorque = (b.engineTorque + in.auxTorque1) + in.auxTorque2;
  b.outputShaftNetTorque = (b.gearRatio * b.transmittedTorque) - b.finalDriveInputTorque;
  b.engineAcceleration = (b.engineShaftTorque + out.engineLoadTorque) / b.engineInertiaHold;
  if (major) b.outputShaftInertiaHold = p.outputShaftInertia;
  b.outputShaftAcceleration = b.outputShaftNetTorque / b.outputShaftInertiaHold;
}

void Model::computeDerivatives(Data& d) {
  const ModelParameters& p = d.parameters;
  const ExternalInputs& in = d.inputs;
  const BlockSignals& b = d.signals;
  const double* x = d.states;
  double* dx = d.sim.stateDerivatives;

  dx[outputShaftSpeedState] =
      limitedDerivative(x, p, outputShaftSpeedLimits, b.outputShaftAcceleration);
  dx[engineSpeedState] = limitedDerivative(x, p, engineSpeedLimits, b.engineAcceleration);
  dx[shaftTwistState] = limitedDerivative(x, p, shaftTwistLimits, b.shaftRelativeSpeed);
  dx[fuelUsedState] = b.fuelRate;
  dx[ratioLagState] = ((p.ratioLagA * x[ratioLagState]) + 0.0) + in.ratioCommand;
  dx[lockupLagState] = ((p.lockupLagA * x[lockupLagState]) + 0.0) + in.lockupCommand;
  dx[clutchTwistState] = b.lockupReleased == 1
                             ? 0.0
                             : limitedDerivative(x, p, clutchTwistLimits, b.lockupRelativeSpeed);
}

}  // namespace powertrain
