// One fixed model step, in the order the interface layer's communication step takes it (and the
// tests and benchmarks that drive a model directly take it the same way).
#pragma once

#include "runtime/model_interface.h"

namespace fmi {

inline void takeFixedStep(const runtime::ModelInterface& mi) {
  runtime::SimModel* const model = mi.model;
  mi.updateStates(model, 0);
  if (mi.getSampleTime(model, 0) == mi.continuousSampleTime) {
    if (mi.numContinuousStates > 0) {
      mi.updateContinuousStates(model);
    } else {
      mi.setTime(model, mi.getSolverStopTime(model));
    }
  }
  mi.setSolverStopTime(model, -1.0);
  mi.computeOutputs(model, 0);
}

}  // namespace fmi
