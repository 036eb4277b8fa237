// The driver model as the runtime's plan sees it.
#pragma once

#include <cstdint>
#include <span>

#include "models/driver/driver_records.h"
#include "runtime/model_base.h"
#include "runtime/model_interface.h"
#include "runtime/variable_def.h"

namespace driver {

struct Model : runtime::ModelBase<Model, ModelParameters, BlockSignals, ExternalInputs,
                                 ExternalOutputs, WorkStates> {
  static constexpr int32_t numContinuousStates = numStates;
  static constexpr runtime::ModelInfo info = runtime::describeModel({
      .modelName = "Driver",
      .generationDate = "Fri Mar 30 00:09:39 2018",
      .numInputs = 4,
      .numOutputs = 2,
      .numContinuousStates = numStates,
      .identityCountA = 11,
      .identityCountB = 0,
      .identityCountC = 55,
  });
  static constexpr const char* description =
      "Driver: follows a target speed with road-load feed-forward through an inverse engine map, "
      "shaped proportional feedback, and brake logic with a hold brake at standstill";

  static ModelParameters& defaultParameters();
  static std::span<const runtime::VariableDef> variables();
  static void initializeModel(Data& d);
  static void computeOutputs(Data& d);
  static void computeDerivatives(Data& d);
  static void updateDiscreteStates(Data& d);
  // Why writing `value` to integer reference `vr` would let a map lookup read outside its table
  // or breakpoints, given the other current last index of that map; null when it stays inside.
  static const char* integerWriteError(const ModelParameters& p, uint32_t vr, uint32_t value);
};

}  // namespace driver
