// Records of the drive cycle model: the target speed of a speed trace read from a cycle file,
// at the communication point.
#pragma once

#include <cstdint>

#include "runtime/variable_table.h"

namespace drive_cycle {

struct CycleTrace;

struct ExternalInputs {};

struct ExternalOutputs {
  double targetSpeedKmh;  // km/h at the communication point
  uint32_t phase;         // 1-based phase number; 0 for a trace without phases
  uint8_t finished;       // the time has reached the end of the trace
  // Calculated parameters, known once the trace is read.
  double duration;        // s
  double distance;        // km, trapezoid of the trace
  uint32_t phaseCount;
};

struct BlockSignals {};

// What an instance has read; owned by the instance, released with it.
struct LoadedCycle;

struct WorkStates {
  double time;            // the communication point the outputs belong to
  LoadedCycle* loaded;    // null until a trace has been read
  char resourceFolder[runtime::stringCapacity];  // the instance's own resources folder
};

struct ModelParameters {
  runtime::StringStorage cycle;  // a standard cycle name, a file in the resources folder, or a path
};

}  // namespace drive_cycle
