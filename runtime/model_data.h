// The typed view of one instance that a model's equations work on: references to its records,
// resolved from the untyped pointers of the SimModel.
#pragma once

#include "runtime/sim_model.h"

namespace runtime {

template <class M>
struct ModelData {
  SimModel& sim;
  typename M::ModelParameters& parameters;
  typename M::BlockSignals& signals;
  typename M::ExternalInputs& inputs;
  typename M::ExternalOutputs& outputs;
  typename M::WorkStates& work;
  double* states;       // ContinuousStates, indexed by the model's state names
  double* derivatives;  // the StateDerivatives vector being filled

  explicit ModelData(SimModel& m)
      : sim(m),
        parameters(*static_cast<typename M::ModelParameters*>(m.parameters)),
        signals(*static_cast<typename M::BlockSignals*>(m.blockSignals)),
        inputs(*static_cast<typename M::ExternalInputs*>(m.inputs)),
        outputs(*static_cast<typename M::ExternalOutputs*>(m.outputs)),
        work(*static_cast<typename M::WorkStates*>(m.workStates)),
        states(m.continuousStates),
        derivatives(m.stateDerivatives) {}

  bool majorStep() const { return sim.majorTimeStep == 1; }
  double time() const { return sim.taskTimes[0]; }
};

}  // namespace runtime
