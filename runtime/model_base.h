// What a model type inherits from its records alone: the record names the runtime's plan looks
// up, the typed view its equations receive, and the defaults of the optional parts of the plan
// (no edge memories, no parameter fix-ups, no discrete updates, every input starting at 0). A
// model declares its own version of any of these to replace it.
#pragma once

#include <cstdint>
#include <span>

#include "runtime/model_data.h"
#include "runtime/model_interface.h"
#include "runtime/sim_model.h"
#include "runtime/variable_def.h"

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
  static void startInputs(Inputs&) {}
};

// The version texts that every model's information record carries.
inline constexpr const char* generatorVersion = "5.02 (G2029c) 09-Oct-2029";
inline constexpr const char* modelVersion = "1.372";

// What a model's information record says that only the model knows. The identity counts are
// model constants that only the identity check reads; the input and output counts are checked
// against the model's definition table (describesTable).
struct ModelFacts {
  const char* modelName;
  const char* generationDate;
  int32_t numInputs;
  int32_t numOutputs;
  int32_t numContinuousStates;
  int32_t identityCountA;
  int32_t identityCountB;
  int64_t identityCountC;
  // The step the record states; models that act at communication points state their own.
  double fixedStepSize = runtime::fixedStepSize;
};

// The information record: the model's facts and what every model shares (versions, the two
// sample times, the fixed step).
constexpr ModelInfo describeModel(const ModelFacts& f) {
  return ModelInfo{
      .modelName = f.modelName,
      .generatorVersion = generatorVersion,
      .modelVersion = modelVersion,
      .generationDate = f.generationDate,
      .identityCountA = f.identityCountA,
      .numInputs = f.numInputs,
      .numOutputs = f.numOutputs,
      .numSampleTimes = numSampleTimes,
      .identityCountB = f.identityCountB,
      .numContinuousStates = f.numContinuousStates,
      .fixedStepSize = f.fixedStepSize,
      .identityCountC = f.identityCountC,
  };
}

// The number of value references of one causality in a definition table.
constexpr int32_t countCausality(std::span<const VariableDef> defs, Causality causality) {
  int32_t n = 0;
  for (const VariableDef& d : defs) {
    if (d.causality == causality) n += static_cast<int32_t>(d.count);
  }
  return n;
}

// True when the information record counts the inputs and outputs that the table defines.
constexpr bool describesTable(const ModelInfo& info, std::span<const VariableDef> defs) {
  return info.numInputs == countCausality(defs, Causality::input) &&
         info.numOutputs == countCausality(defs, Causality::output);
}

}  // namespace runtime
