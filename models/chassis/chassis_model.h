// The chassis model as the runtime's plan sees it.
#pragma once

#include <span>

#include "models/chassis/chassis_records.h"
#include "runtime/model_base.h"
#include "runtime/model_interface.h"
#include "runtime/variable_def.h"

namespace chassis {

struct Model : runtime::ModelBase<Model, ModelParameters, BlockSignals, ExternalInputs,
                                 ExternalOutputs, WorkStates> {
  static constexpr int32_t numContinuousStates = numStates;
  static constexpr runtime::ModelInfo info = runtime::describeModel({
      .modelName = "TESSIK",
      .generationDate = "Fri Mar 30 00:14:01 2018",
      .numInputs = 2,
      .numOutputs = 3,
      .numContinuousStates = numStates,
      .identityCountA = 13,
      .identityCountB = 0,
      .identityCountC = 37,
  });
  static constexpr const char* description =
      "Chassis: longitudinal point mass driven by the wheel torque and slowed by a lagged brake "
      "force, rolling resistance and aerodynamic drag";

  static ModelParameters& defaultParameters();
  static std::span<const runtime::VariableDef> variables();
  static void fixUpParameters(ModelParameters& p);
  static void initializeModel(Data& d);
  static void computeOutputs(Data& d);
  static void computeDerivatives(Data& d);
};

}  // namespace chassis
