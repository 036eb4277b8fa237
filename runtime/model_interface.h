// The table of model operations: the only door between the interface layer and a model. One
// table per instance; registerFunctions fills the operation entries, fillModelInfo the
// information record, registerSimulationData the data fields.
#pragma once

#include <cstddef>
#include <cstdint>

#include "runtime/sim_model.h"
#include "runtime/variable_table.h"

namespace runtime {

struct ModelInfo {
  const char* modelName;
  const char* generatorVersion;
  const char* modelVersion;
  const char* generationDate;
  int32_t identityCountA;
  int32_t numInputs;
  int32_t numOutputs;
  int32_t numSampleTimes;
  int32_t identityCountB;
  int32_t numContinuousStates;
  double fixedStepSize;
  int64_t identityCountC;
};

struct ModelInterface {
  SimModel* model;                                            // 1
  void (*destroyIntegrationData)(SimModel*);                  // 2
  double (*getStartTime)(SimModel*);                          // 3
  void (*setFinalTime)(SimModel*, double);                    // 4
  void (*initializeSizes)(SimModel*);                         // 5
  void (*initializeSampleTimes)(SimModel*);                   // 6
  void (*createIntegrationData)(SimModel*);                   // 7
  const char* (*getErrorStatus)(SimModel*);                   // 8
  void (*setSolverName)(SimModel*, const char*);              // 9
  void (*initializeModel)(SimModel*);                         // 10
  double (*getNextSampleHitTime)(SimModel*);                  // 11
  void (*setSolverStopTime)(SimModel*, double);               // 12
  void (*computeOutputs)(SimModel*, int32_t);                 // 13
  void (*terminateModel)(SimModel*);                          // 14
  uint8_t (*getStopRequested)(SimModel*);                     // 15
  int32_t* (*getSampleHits)(SimModel*);                       // 16
  int32_t (*getNumSampleTimes)(SimModel*);                    // 17
  void (*updateStates)(SimModel*, int32_t);                   // 18
  double (*getSampleTime)(SimModel*, int32_t);                // 19
  void (*updateContinuousStates)(SimModel*);                  // 20
  void (*setTime)(SimModel*, double);                         // 21
  double (*getSolverStopTime)(SimModel*);                     // 22
  double (*getStepEndTime)(SimModel*);                        // 23
  void (*initializeNonFinites)(std::size_t);                  // 24
  SimModel* (*createModel)();                                 // 25
  int32_t (*registerSimulationData)(ModelInterface*);         // 26
  uint64_t numContinuousStates;                               // 27
  int32_t multiTasking;                                       // 28
  int32_t baseTaskId;                                         // 29
  double fixedStepSize;                                       // 30
  uint64_t sizeofIntT;                                        // 31: the seven type sizes
  uint64_t sizeofRealT;
  uint64_t sizeofTimeT;
  uint64_t sizeofDouble;
  uint64_t sizeofInt;
  uint64_t sizeofChar;
  uint64_t sizeofVoidPtr;
  double continuousSampleTime;                                // 32
  ModelInfo info;                                             // 33
  VariableTable variables;                                    // 34
  double (*readReal)(const VariableEntry*);                   // 35
  int32_t (*readInteger)(const VariableEntry*, int32_t* ok);  // 36
  uint8_t (*readBoolean)(const VariableEntry*);               // 37
  void (*writeReal)(const VariableEntry*, double);            // 38
  void (*writeInteger)(const VariableEntry*, int32_t, int32_t* ok);  // 39
  void (*writeBoolean)(const VariableEntry*, int32_t);        // 40
  int32_t (*buildVariableTable)(SimModel*, VariableTable*);   // 41
  void (*freeVariableTable)(VariableTable*);                  // 42
  // Guard of the integer parameters that index lookup tables, for the whole of one set call:
  // the reason why writing value[i] to integer value reference vr[i] would let a lookup leave its
  // table, with the position of the refused element in `refused`, or null when every write of the
  // call is safe. Values outside their element's declared range come first; then each value is
  // judged together with the values the call leaves in the other elements (so a call may move two
  // indices of one map at once). Models without such parameters accept every write.
  const char* (*checkIntegerWrites)(SimModel*, const uint32_t* vr, const int32_t* value,
                                    std::size_t count, std::size_t* refused);
  const char* (*readString)(const VariableEntry*);
  bool (*writeString)(const VariableEntry*, const char*);

  // Models that act at communication points instead of in fixed steps (the drive cycle and the
  // shift controller) set these; they stay null (and 0) for the fixed-step models, whose
  // behaviour they leave as it is.
  // The decoded resource folder of the instance, given once after registration.
  void (*setResourceFolder)(SimModel*, const char* folder);
  // Run at fmi2EnterInitializationMode and again at fmi2ExitInitializationMode: reads and checks
  // what the parameters name. Returns the reason for refusing them, or null; `note` receives
  // information for the master's log (empty when there is none).
  const char* (*prepare)(SimModel*, const char** note);
  // Replaces the fixed-step loop of fmi2DoStep: the model goes from communication point tc to
  // tc + hc (both finite). Returns the reason for refusing the step, or null.
  const char* (*communicationStep)(SimModel*, double tc, double hc);
  // 1 when outputs depend directly on inputs: every get call recomputes them, also in step mode.
  int32_t outputsFollowInputs;
};

}  // namespace runtime
