// The chassis model as the runtime's plan sees it.
#pragma once

#include <span>

#include "models/chassis/chassis_records.h"
#include "runtime/model_data.h"
#include "runtime/model_interface.h"
#include "runtime/variable_def.h"

namespace chassis {

struct Model {
  using ModelParameters = chassis::ModelParameters;
  using BlockSignals = chassis::BlockSignals;
  using ExternalInputs = chassis::ExternalInputs;
  using ExternalOutputs = chassis::ExternalOutputs;
  using WorkStates = chassis::WorkStates;
  using Data = runtime::ModelData<Model>;

  static constexpr int32_t numContinuousStates = numStates;
  static constexpr int32_t numTriggerStates = 0;
  static constexpr runtime::ModelInfo info = {"TESSIK", "5.02 (G2029c) 09-Oct-2029", "1.372",
                                              "Fri Mar 30 00:14:01 2018", 13, 2, 3, 2, 0,
                                              numStates, 0.0025, 37};
  static constexpr const char* description =
      "Chassis: longitudinal point mass driven by the wheel torque and slowed by a lagged brake "
      "force, rolling resistance and aerodynamic drag";

  static ModelParameters& defaultParameters();
  static std::span<const runtime::VariableDef> variables();
  static void fixUpParameters(ModelParameters& p);
  static void initializeModel(Data& d);
  static void computeOutputs(Data& d);
  static void computeDerivatives(Data& d);
  static void updateDiscreteStates(Data&) {}
};

}  // namespace chassis
