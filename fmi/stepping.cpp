// The communication step: as many whole fixed model steps as end within the interval, with the
// carry of the previous interval.
#include <cmath>

#include "fmi/fixed_step.h"
#include "fmi/fmi_component.h"

namespace fmi {

namespace {

constexpr double machineEpsilon = 2.220446049250313e-16;  // 2^-52

// The most fixed steps one call takes: 10^8 steps are 250 000 s (about 69 hours) of model time,
// far more than any communication step needs. A master asking for more has run away, and an
// interval ending at +infinity would be stepped forever.
constexpr double maxStepsPerCall = 1e8;

// Checks made until the first step is accepted; false after reporting a refusal.
bool acceptFirstStep(FmuComponent& c, double tc, double hc) {
  InstanceLogger& log = *c.instanceLogger;
  if (!(tc == 0.0)) {
    reportStatus(log, fmi2Error,
                 "First step (Current communication point) %e must be set to start time %e", tc,
                 0.0);
    return false;
  }
  if (hc == 0.0) {
    reportStatus(log, fmi2Error,
                 "This FMU cannot handle events. Communication step size set to zero is not "
                 "supported");
    return false;
  }
  if (c.modelInterface->communicationStep == nullptr) {
    reportStatus(log, fmi2OK, "Fixed step size used by FMU is %e", c.modelInterface->fixedStepSize);
  }
  // A master that leaves out fmi2ExitInitializationMode still steps from what it wrote.
  settleInitialConditions(c);
  c.stepState->steppingStarted = 1;
  c.stepState->timeOffset = 0.0;
  return true;
}

// Refuses an interval that would need more than maxStepsPerCall fixed steps; nothing is stepped.
fmi2Status refuseInterval(FmuComponent& c, double tc, double hc, double end) {
  InstanceLogger& log = *c.instanceLogger;
  if (std::isinf(end)) {
    reportStatus(log, fmi2Error,
                 "The communication interval from %e with step size %e ends at infinity; no "
                 "step was taken",
                 tc, hc);
  } else {
    reportStatus(log, fmi2Error,
                 "The communication interval from %e with step size %e would need more than %.0f "
                 "fixed steps of %e s in one call; no step was taken",
                 tc, hc, maxStepsPerCall, c.modelInterface->fixedStepSize);
  }
  return takeStatus(log);
}

// A model that acts at communication points goes from tc to tc + hc in one call; an interval
// that does not end at a finite time is refused without a step.
fmi2Status communicationPointStep(FmuComponent& c, double tc, double hc) {
  InstanceLogger& log = *c.instanceLogger;
  const runtime::ModelInterface& mi = *c.modelInterface;
  if (!std::isfinite(tc) || !std::isfinite(hc) || !std::isfinite(tc + hc)) {
    reportStatus(log, fmi2Error,
                 "The communication interval from %e with step size %e does not end at a finite "
                 "time; no step was taken",
                 tc, hc);
    return takeStatus(log);
  }
  const char* refusal = mi.communicationStep(mi.model, tc, hc);
  if (refusal != nullptr) reportStatus(log, fmi2Error, "%s", refusal);
  return takeStatus(log);
}

}  // namespace

fmi2Status doStep(FmuComponent& c, fmi2Real currentCommunicationPoint,
                  fmi2Real communicationStepSize) {
  StepState& state = *c.stepState;
  if (state.steppingStarted == 0 &&
      !acceptFirstStep(c, currentCommunicationPoint, communicationStepSize)) {
    return takeStatus(*c.instanceLogger);
  }

  const runtime::ModelInterface& mi = *c.modelInterface;
  if (mi.communicationStep != nullptr) {
    return communicationPointStep(c, currentCommunicationPoint, communicationStepSize);
  }
  runtime::SimModel* const model = mi.model;
  const double h = mi.fixedStepSize;
  const double tEnd = currentCommunicationPoint + communicationStepSize;
  double reached = mi.getStepEndTime(model);
  // Step k (from 0) ends at reached + k h, so step number maxStepsPerCall + 1 would be taken when
  // the interval end lies that many steps beyond the first. True for +infinity; false for NaN
  // and -infinity, which take no step.
  if (tEnd + state.timeOffset - reached >= maxStepsPerCall * h) {
    return refuseInterval(c, currentCommunicationPoint, communicationStepSize,
                          tEnd + state.timeOffset);
  }
  bool stepped = false;
  for (;;) {
    const double t = mi.getStepEndTime(model);
    // Ten machine epsilons of relative tolerance; false for NaN, which ends the loop.
    if (!(tEnd + state.timeOffset >= t - (t * 10.0) * machineEpsilon)) break;
    reached = t;
    takeFixedStep(mi);
    stepped = true;
  }
  if (stepped) {
    // The carry is how far the model ended from the interval end, folded once into (-h, h).
    double d = reached - tEnd;
    if (d <= -h) {
      d = d + h;
    } else if (d >= h) {
      d = d - h;
    }
    state.timeOffset = d;
  }

  if (mi.getStopRequested(model) != 0) {
    reportStatus(*c.instanceLogger, fmi2Discard,
                 "Simulation stop requested by the model at time %g, could for example be caused "
                 "by a Stop Simulation block.",
                 reached);
    return takeStatus(*c.instanceLogger);
  }
  return fmi2OK;
}

}  // namespace fmi
