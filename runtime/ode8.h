// One fixed step of the explicit thirteen-stage eighth-order Runge-Kutta method, specialised at
// compile time for a model's number of continuous states. It allocates nothing: its work vectors
// lie inside the model record.
#pragma once

#include "runtime/model_data.h"
#include "runtime/ode8_coefficients.h"
#include "runtime/sim_model.h"

namespace runtime {

// Advances the continuous states from the model time to IntegratorInfo.stopTime. The model's
// computeOutputs (a minor step: it takes the time from taskTimes[0]) runs before the derivatives
// of every stage but the first, which uses the signals of the preceding major step.
template <class M, void (*computeOutputs)(SimModel*, int32_t)>
void ode8Step(IntegratorInfo& info, SimModel& m) {
  constexpr int n = M::numContinuousStates;
  constexpr const ode8::Tableau& tab = ode8::tableau;

  *info.majorTimeStepPtr = 0;
  Ode8Data& data = *info.integrationDataPtr;
  double* x = *info.continuousStatesPtr;
  double* x0 = data.initialState;
  double* delta = data.delta;
  double* taskTimes = *info.taskTimesPtr;
  const double h = *info.stepSizePtr;
  const double t0 = taskTimes[0];
  const double tf = info.stopTime;

  for (int j = 0; j < n; ++j) {
    delta[j] = 0.0;
    x0[j] = x[j];
  }

  for (int i = 0; i < ode8::stages; ++i) {
    double* k = data.stageDerivatives[i];
    if (i == 0) {
      for (int j = 0; j < n; ++j) x[j] = x0[j];
      *info.stateDerivativesPtr = k;
    } else {
      for (int j = 0; j < n; ++j) {
        double s = 0.0;
        for (int p = 0; p < i; ++p) s = s + (h * tab.a[i][p]) * data.stageDerivatives[p][j];
        x[j] = s + x0[j];
      }
      taskTimes[0] = (i == ode8::stages - 1) ? tf : h * tab.c[i] + t0;
      *info.stateDerivativesPtr = k;
      computeOutputs(&m, 0);
    }
    typename M::Data d(m);
    M::computeDerivatives(d);
    const double weight = h * tab.b[i];
    for (int j = 0; j < n; ++j) delta[j] = weight * k[j] + delta[j];
  }

  for (int j = 0; j < n; ++j) x[j] = x0[j] + delta[j];
  *info.majorTimeStepPtr = 1;
}

}  // namespace runtime
