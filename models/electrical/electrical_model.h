// The electrical model as the runtime's plan sees it.
#pragma once

#include <cstdint>
#include <span>

#include "models/electrical/electrical_records.h"
#include "runtime/model_base.h"
#include "runtime/model_interface.h"
#include "runtime/variable_def.h"

namespace electrical {

struct Model : runtime::ModelBase<Model, ModelParameters, BlockSignals, ExternalInputs,
                                 ExternalOutputs, WorkStates> {
  static constexpr int32_t numContinuousStates = numStates;
  static constexpr runtime::ModelInfo info = runtime::describeModel({
      .modelName = "ZORVEL",
      .generationDate = "Fri Mar 30 00:13:44 2018",
      .numInputs = 3,
      .numOutputs = 6,
      .numContinuousStates = numStates,
      .identityCountA = 28,
      .identityCountB = 0,
      .identityCountC = 77,
  });
  static constexpr const char* description =
      "Electrical system: belt-driven alternator with voltage regulator and speed-dependent "
      "current limit, 48 Ah battery with ohmic resistance and one RC branch, base and switched "
      "loads, belt-drive torque and loss";

  static ModelParameters& defaultParameters();
  static std::span<const runtime::VariableDef> variables();
  static void initializeModel(Data& d);
  static void computeOutputs(Data& d);
  static void computeDerivatives(Data& d);
  static void updateDiscreteStates(Data& d);
  // Refuses a stride that would let a map lookup read outside the map, given the other stride.
  static const char* integerWriteError(const ModelParameters& current, uint32_t vr, uint32_t value);
};

}  // namespace electrical
