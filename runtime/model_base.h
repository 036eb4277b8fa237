// What a model type inherits from its records alone: the record names the runtime's plan looks
// up, the typed view its equations receive, and the defaults of the optional parts of the plan
// (no edge memories, no parameter fix-ups, no discrete updates). A model declares its own
// version of any of these to replace it.
#pragma once

#include <cstdint>

#include "runtime/model_data.h"

namespace runtime {

template <class Self, class Parameters, class Signals, class Inputs, class Outputs, class Work>
struct ModelBase {
  using ModelParameters = Parameters;
  using BlockSignals = Signals;
  using ExternalInputs = Inputs;
  using ExternalOutputs = Outputs;
  using WorkStates = Work;
  using Data = ModelData<Self>;

  static constexpr int32_t numTriggerStates = 0;
  static void fixUpParameters(Parameters&) {}
  static void updateDiscreteStates(Data&) {}
};

// The version texts that every model's information record carries.
inline constexpr const char* generatorVersion = "5.02 (G2029c) 09-Oct-2029";
inline constexpr const char* modelVersion = "1.372";

}  // namespace runtime
