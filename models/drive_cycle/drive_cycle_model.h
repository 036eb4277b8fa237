// The drive cycle model as the runtime's plan sees it: no states and no fixed steps; it acts at
// the communication points.
#pragma once

#include <span>

#include "models/drive_cycle/drive_cycle_records.h"
#include "runtime/model_base.h"
#include "runtime/model_interface.h"
#include "runtime/variable_def.h"

namespace drive_cycle {

struct Model : runtime::ModelBase<Model, ModelParameters, BlockSignals, ExternalInputs,
                                 ExternalOutputs, WorkStates> {
  static constexpr int32_t numContinuousStates = 0;
  static constexpr runtime::ModelInfo info = runtime::describeModel({
      .modelName = "DriveCycle",
      .generationDate = "Mon Dec  7 18:30:00 2026",
      .numInputs = 0,
      .numOutputs = 3,
      .numContinuousStates = 0,
      .identityCountA = 3,
      .identityCountB = 0,
      .identityCountC = 5,
      .fixedStepSize = 0.01,
  });
  static constexpr const char* description =
      "Drive cycle: the target speed of a speed trace, linear between its rows, and its phase, at "
      "the communication point";

  static ModelParameters& defaultParameters();
  static std::span<const runtime::VariableDef> variables();
  static void initializeModel(Data& d);
  static void computeOutputs(Data& d);
  static void computeDerivatives(Data&) {}
  static void setResourceFolder(Data& d, const char* folder);
  static const char* prepare(Data& d, const char** note);
  static const char* communicationStep(Data& d, double tc, double hc);
  static void releaseWork(WorkStates& w);
};

}  // namespace drive_cycle
