// The electrical model as the runtime's plan sees it.
#pragma once

#include <cstdint>
#include <span>

#include "models/electrical/electrical_records.h"
#include "runtime/model_base.h"
#include "runtime/model_interface.h"
#include "runtime/variable_def.h"

namespace electrical {

// The drag-torque map lookup reads the entries i0 + s1 * i1 + s2 * i2 and their neighbours one
// further along each axis. The extrapolating searches return at most the second-to-last index of
// each axis (also for inputs beyond the range and NaN), so the highest entry it reads for the
// strides s1 and s2 is the one below. Evaluated in 64 bits so that huge strides cannot wrap.
constexpr uint64_t highestMapRead(uint64_t s1, uint64_t s2) {
  return (dragSpeedPoints - 1) + (dragCurrentPoints - 1) * s1 + (dragVoltagePoints - 1) * s2;
}
constexpr bool mapReadInside(uint64_t s1, uint64_t s2) {
  return highestMapRead(s1, s2) < dragMapEntries;
}

// The largest value each read stride may take, with the other one at 0.
inline constexpr uint32_t maxCurrentStride =
    (dragMapEntries - dragSpeedPoints) / (dragCurrentPoints - 1);
inline constexpr uint32_t maxVoltageStride =
    (dragMapEntries - dragSpeedPoints) / (dragVoltagePoints - 1);
static_assert(mapReadInside(maxCurrentStride, 0) && !mapReadInside(maxCurrentStride + 1, 0));
static_assert(mapReadInside(0, maxVoltageStride) && !mapReadInside(0, maxVoltageStride + 1));
// The default strides fill the map exactly.
static_assert(highestMapRead(dragSpeedPoints, dragSpeedPoints * dragCurrentPoints) ==
              dragMapEntries - 1);

// Integer value references of the read strides.
inline constexpr uint32_t vrDragCurrentStride = 1;
inline constexpr uint32_t vrDragVoltageStride = 2;
inline constexpr uint32_t vrDragCapCurrentStride = 7;
inline constexpr uint32_t vrDragCapVoltageStride = 8;

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
