// The per-instance model record and its integrator view. Every model builds this record to one
// plan (model_plan.h); the interface layer never touches its fields, only the operations of the
// ModelInterface table.
#pragma once

#include <cstdint>

namespace runtime {

struct SimModel;

using ModelRoutine = void (*)(SimModel*);
using TaskRoutine = void (*)(SimModel*, int32_t taskId);

// The model's method block; `owner` is passed as the argument when a method is called.
struct ModelMethods {
  SimModel* owner;
  ModelRoutine initializeSizes;
  ModelRoutine initializeSampleTimes;
  ModelRoutine initializeModel;
  TaskRoutine computeOutputs;
  TaskRoutine updateStates;
  ModelRoutine terminateModel;
};

inline constexpr int ode8Stages = 13;

// Pointers to the integrator's work vectors, which lie back to back in this order in the
// model record's integration storage.
struct Ode8Data {
  double* delta;
  double* stageDerivatives[ode8Stages];
  double* initialState;
};
inline constexpr int ode8Vectors = ode8Stages + 2;

struct IntegratorInfo {
  int32_t* majorTimeStepPtr;
  Ode8Data* integrationDataPtr;
  const char* solverName;
  double stopTime;  // end of the major step in progress
  double* stepSizePtr;
  double fixedStepSize;
  double** stateDerivativesPtr;
  double** taskTimesPtr;
  double** continuousStatesPtr;
};

struct SimModel {
  const char* errorStatus;
  ModelMethods methods;
  IntegratorInfo* integrator;
  void* blockSignals;
  void* parameters;
  uint8_t* triggerStates;
  double* continuousStates;
  double* stateDerivatives;
  void* inputs;
  void* outputs;
  uint8_t ownsParameters;
  // ode8Vectors x numContinuousStates doubles, in the same heap block right behind the record.
  double* integrationVectors;
  Ode8Data integrationData;
  void* workStates;
  int32_t numContinuousStates;
  int32_t numSampleTimes;
  uint32_t clockTick0;
  uint32_t clockTickHigh0;
  double stepSize0;
  double startTime;
  double finalTime;
  int32_t majorTimeStep;
  uint8_t stopRequested;
  double* sampleTimes;
  int32_t* sampleHits;
  double* taskTimes;
  double sampleTimesStorage[2];
  int32_t sampleHitsStorage[2];
  double taskTimesStorage[2];
};

inline constexpr double fixedStepSize = 0.0025;
inline constexpr int32_t numSampleTimes = 2;  // the continuous task and the discrete task of period h
inline constexpr const char* memoryAllocationError = "memory allocation error";

// Major-step prologue of every computeOutputs: in a major step the end of the step about to be
// taken is computed from the integer tick count (never by summing steps).
inline void majorStepPrologue(SimModel& m) {
  if (m.majorTimeStep != 1) return;
  const uint32_t next = m.clockTick0 + 1u;
  if (next == 0u) {
    m.integrator->stopTime =
        static_cast<double>(m.clockTickHigh0 + 1u) * m.stepSize0 * 4294967296.0;
  } else {
    m.integrator->stopTime = static_cast<double>(m.clockTickHigh0) * m.stepSize0 * 4294967296.0 +
                             static_cast<double>(next) * m.stepSize0;
  }
}

// The clock advance that ends every updateStates.
inline void advanceClock(SimModel& m) {
  m.clockTick0 += 1u;
  if (m.clockTick0 == 0u) m.clockTickHigh0 += 1u;
  m.taskTimes[0] = m.integrator->stopTime;
}

}  // namespace runtime
