// Chassis equations, in their order of floating-point operations.
#include "models/chassis/chassis_model.h"
#include "runtime/numerics.h"

namespace chassis {

using runtime::maxNaN;
using runtime::minNaN;

void Model::initializeModel(Data& d) {
  d.states[speedState] = d.parameters.initialSpeed;
  d.states[brakeLagState] = 0.0;
}

void Model::computeOutputs(Data& d) {
  const ModelParameters& p = d.parameters;
  BlockSignals& b = d.signals;
  double* x = d.states;
  const bool major = d.majorStep();

  // The limited speed integrator is clamped in place, in minor steps too; NaN stays NaN.
  runtime::limitState(x[speedState], p.speedLowerLimit, p.speedUpperLimit);
  b.speed = x[speedState];

  if (major) {
    b.invWheelRadius = 1.0 / p.wheelRadius;
    b.radiusHold = p.wheelRadius;
  }
  // The outputs are not read at the integrator's stages; the major step after the integration
  // writes them.
  if (major) {
    b.wheelSpeed = b.invWheelRadius * b.speed;
    d.outputs.wheelSpeed = b.wheelSpeed;
    d.outputs.vehicleSpeedKmh = p.kmhPerMs * b.speed;
    d.outputs.vehicleSpeed = b.speed;
  }

  b.brakeTorque = (p.brakeLagC * x[brakeLagState]) * b.radiusHold;

  if (major) {
    b.rollingForce = (p.rollingCoefficient * p.vehicleMass) * p.gravity;
    b.directionUpperHold = p.directionUpper;
    b.directionLowerHold = p.directionLower;
  }
  b.brakeForceDemand = (p.maxBrakeForce / 100.0) * d.inputs.brakeDemand;

  // Rolling resistance grows with speed up to its full value at the direction clips.
  b.rollingDirection = maxNaN(minNaN(b.speed, b.directionUpperHold), b.directionLowerHold);

  b.tractionForce = ((p.brakeTorqueGain * b.brakeTorque) + d.inputs.wheelTorque) * b.invWheelRadius -
                    b.rollingDirection * b.rollingForce;

  if (major) {
    b.extraResistanceHold = p.extraResistance;
    b.dragSpeedCap = p.msPerKmh * p.dragSpeedCapKmh;
    b.windSpeedHold = p.windSpeed;
    b.dragFactor = ((p.frontalArea * 0.5) * p.dragCoefficient) * p.airDensity;
  }
  // Drag uses the capped speed less the wind, squared: it always opposes forward motion.
  const double w = minNaN(b.speed, b.dragSpeedCap) - b.windSpeedHold;
  b.dragForce = (w * w) * b.dragFactor;

  b.netForce = (b.tractionForce - b.dragForce) - b.extraResistanceHold;

  if (major) b.massHold = p.vehicleMass;
  b.acceleration = (1.0 / b.massHold) * b.netForce;
}

void Model::computeDerivatives(Data& d) {
  const ModelParameters& p = d.parameters;
  const BlockSignals& b = d.signals;
  const double* x = d.states;
  double* dx = d.sim.stateDerivatives;

  dx[speedState] = runtime::limitedDerivative(x[speedState], p.speedLowerLimit,
                                              p.speedUpperLimit, b.acceleration);
  dx[brakeLagState] = (0.0 + p.brakeLagA * x[brakeLagState]) + b.brakeForceDemand;
}

}  // namespace chassis
