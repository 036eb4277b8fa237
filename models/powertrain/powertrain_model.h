// The powertrain model as the runtime's plan sees it.
#pragma once

#include <span>

#include "models/powertrain/powertrain_records.h"
#include "runtime/model_data.h"
#include "runtime/model_interface.h"
#include "runtime/variable_def.h"

namespace powertrain {

struct Model {
  using ModelParameters = powertrain::ModelParameters;
  using BlockSignals = powertrain::BlockSignals;
  using ExternalInputs = powertrain::ExternalInputs;
  using ExternalOutputs = powertrain::ExternalOutputs;
  using WorkStates = powertrain::WorkStates;
  using Data = runtime::ModelData<Model>;

  static constexpr int32_t numContinuousStates = numStates;
  // One edge memory: the lock-up release condition at the last major step (3 = none yet).
  static constexpr int32_t numTriggerStates = 1;
  static constexpr runtime::ModelInfo info = {"KADMIR", "5.02 (G2029c) 09-Oct-2029", "1.372",
                                              "Fri Mar 30 00:14:29 2018", 34, 10, 8, 2, 1,
                                              numStates, 0.0025, 111};
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
  static void updateDiscreteStates(Data&) {}
  // Refuses a write of a map's last index that would let its lookup read outside the map or
  // its breakpoints.
  static const char* integerWriteError(const ModelParameters& p, uint32_t vr, uint32_t value);
};

}  // namespace powertrain
