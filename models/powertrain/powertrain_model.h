// The powertrain model as the runtime's plan sees it.
#pragma once

#include <span>

#include "models/powertrain/powertrain_records.h"
#include "runtime/model_base.h"
#include "runtime/model_interface.h"
#include "runtime/variable_def.h"

namespace powertrain {

struct Model : runtime::ModelBase<Model, ModelParameters, BlockSignals, ExternalInputs,
                                 ExternalOutputs, WorkStates> {
  static constexpr int32_t numContinuousStates = numStates;
  // One edge memory: the lock-up release condition at the last major step (3 = none yet).
  static constexpr int32_t numTriggerStates = 1;
  static constexpr runtime::ModelInfo info = runtime::describeModel({
      .modelName = "KADMIR",
      .generationDate = "Fri Mar 30 00:14:29 2018",
      .numInputs = 10,
      .numOutputs = 8,
      .numContinuousStates = numStates,
      .identityCountA = 34,
      .identityCountB = 1,
      .identityCountC = 111,
  });
  static constexpr const char* description =
      "Powertrain: combustion engine with torque and fuel maps and cut-offs, torque converter "
      "with lock-up clutch, gearbox following a ratio command through a lag, final drive, "
      "elastic driveshaft and fuel integral";

  static ModelParameters& defaultParameters();
  static std::span<const runtime::VariableDef> variables();
  static void fixUpParameters(ModelParameters& p);
  static void initializeModel(Data& d);
  static void computeOutputs(Data& d);
  static void computeDerivatives(Data& d);
  // The torque factor input starts at the neutral factor: at 0 the fuel map would be read at
  // 0/0 and the fuel outputs would be NaN.
  static void startInputs(ExternalInputs& in) { in.torqueFactorInput = 1.0; }
  // Refuses a write of a map's last index that would let its lookup read outside the map or
  // its breakpoints.
  static const char* integerWriteError(const ModelParameters& p, uint32_t vr, uint32_t value);
};

}  // namespace powertrain
