// The instance record that the master holds as fmi2Component, the layer's per-instance progress
// flags, and the operations behind the exported FMI 2.0 functions. Each operation receives a
// live instance: the exports refuse a null handle before calling it (exports.cpp).
#pragma once

#include <cstddef>
#include <cstdint>

#include "fmi/fmi2_abi.h"
#include "fmi/instance_logger.h"
#include "runtime/model_interface.h"

namespace fmi {

// Progress of one instance as the interface layer sees it. All flags start at 0.
struct StepState {
  int32_t registered;          // model registration in fmi2Instantiate completed
  int32_t steppingStarted;     // the first fmi2DoStep passed its checks; never reset
  int32_t initializationDone;  // fmi2ExitInitializationMode ran; get calls stop recomputing
  double timeOffset;           // carry of the communication-step loop
  int32_t integrationDataCreated;
  // Values written after set-up, until the end of initialisation (initial_conditions.cpp).
  int32_t initialConditionsSet;  // fmi2SetupExperiment computed the initial conditions
  int32_t parameterWritten;      // a parameter was written since they were last computed
  int32_t valueWritten;          // a value was written since the outputs were last computed
};

struct FmuComponent {
  InstanceLogger* instanceLogger;
  runtime::ModelInterface* modelInterface;
  StepState* stepState;
};

// Lifecycle (lifecycle.cpp).
FmuComponent* instantiate(fmi2String instanceName, fmi2String fmuGUID,
                          fmi2String fmuResourceLocation, const fmi2CallbackFunctions* functions,
                          fmi2Boolean loggingOn);
void freeInstance(FmuComponent& c);
fmi2Status setupExperiment(FmuComponent& c, fmi2Real startTime, fmi2Boolean stopTimeDefined,
                           fmi2Real stopTime);
fmi2Status enterInitializationMode(FmuComponent& c);
fmi2Status exitInitializationMode(FmuComponent& c);
fmi2Status setDebugLogging(FmuComponent& c, fmi2Boolean loggingOn, std::size_t nCategories);

// Initial conditions and values written after set-up (initial_conditions.cpp).
void noteWrite(FmuComponent& c, const runtime::VariableEntry& entry);
void initialConditionsComputed(FmuComponent& c);
bool settleInitialConditions(FmuComponent& c);

// Communication step (stepping.cpp).
fmi2Status doStep(FmuComponent& c, fmi2Real currentCommunicationPoint,
                  fmi2Real communicationStepSize);

// Variable access (variable_access.cpp).
fmi2Status getReal(FmuComponent& c, const fmi2ValueReference vr[], std::size_t nvr,
                   fmi2Real value[]);
fmi2Status getInteger(FmuComponent& c, const fmi2ValueReference vr[], std::size_t nvr,
                      fmi2Integer value[]);
fmi2Status getBoolean(FmuComponent& c, const fmi2ValueReference vr[], std::size_t nvr,
                      fmi2Boolean value[]);
fmi2Status getString(FmuComponent& c, const fmi2ValueReference vr[], std::size_t nvr,
                     fmi2String value[]);
fmi2Status setReal(FmuComponent& c, const fmi2ValueReference vr[], std::size_t nvr,
                   const fmi2Real value[]);
fmi2Status setInteger(FmuComponent& c, const fmi2ValueReference vr[], std::size_t nvr,
                      const fmi2Integer value[]);
fmi2Status setBoolean(FmuComponent& c, const fmi2ValueReference vr[], std::size_t nvr,
                      const fmi2Boolean value[]);
fmi2Status setString(FmuComponent& c, const fmi2ValueReference vr[], std::size_t nvr,
                     const fmi2String value[]);

// Operations the units do not support (refusals.cpp): each reports its fixed message.
enum class Refusal : uint8_t {
  reset,
  getFMUstate,
  setFMUstate,
  freeFMUstate,
  serializedFMUstateSize,
  serializeFMUstate,
  deSerializeFMUstate,
  getDirectionalDerivative,
  cancelStep,
  getStatus,
  getRealStatus,
  getIntegerStatus,
  getBooleanStatus,
  getStringStatus,
};
fmi2Status refuse(FmuComponent& c, Refusal what);
fmi2Status setRealInputDerivatives(FmuComponent& c, std::size_t nvr);
fmi2Status getRealOutputDerivatives(FmuComponent& c, std::size_t nvr, fmi2Real value[]);

}  // namespace fmi
