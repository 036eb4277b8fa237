// The FMI 2.0 Co-Simulation binary interface: platform types, the callback record and the
// signatures of the exported functions, written from the standard ABI.
#pragma once

#include <cstddef>

extern "C" {

typedef void* fmi2Component;
typedef void* fmi2ComponentEnvironment;
typedef void* fmi2FMUstate;
typedef unsigned int fmi2ValueReference;
typedef double fmi2Real;
typedef int fmi2Integer;
typedef int fmi2Boolean;
typedef char fmi2Char;
typedef const fmi2Char* fmi2String;
typedef char fmi2Byte;

#define fmi2True 1
#define fmi2False 0

typedef enum { fmi2OK, fmi2Warning, fmi2Discard, fmi2Error, fmi2Fatal, fmi2Pending } fmi2Status;
typedef enum { fmi2ModelExchange, fmi2CoSimulation } fmi2Type;
typedef enum {
  fmi2DoStepStatus,
  fmi2PendingStatus,
  fmi2LastSuccessfulTime,
  fmi2Terminated
} fmi2StatusKind;

typedef void (*fmi2CallbackLogger)(fmi2ComponentEnvironment, fmi2String, fmi2Status, fmi2String,
                                   fmi2String, ...);
typedef void* (*fmi2CallbackAllocateMemory)(size_t, size_t);
typedef void (*fmi2CallbackFreeMemory)(void*);
typedef void (*fmi2StepFinished)(fmi2ComponentEnvironment, fmi2Status);

typedef struct {
  const fmi2CallbackLogger logger;
  const fmi2CallbackAllocateMemory allocateMemory;
  const fmi2CallbackFreeMemory freeMemory;
  const fmi2StepFinished stepFinished;
  const fmi2ComponentEnvironment componentEnvironment;
} fmi2CallbackFunctions;

// Signatures of the 34 exported functions.
typedef const char* fmi2GetTypesPlatformTYPE(void);
typedef const char* fmi2GetVersionTYPE(void);
typedef fmi2Status fmi2SetDebugLoggingTYPE(fmi2Component, fmi2Boolean, size_t, const fmi2String[]);
typedef fmi2Component fmi2InstantiateTYPE(fmi2String, fmi2Type, fmi2String, fmi2String,
                                          const fmi2CallbackFunctions*, fmi2Boolean, fmi2Boolean);
typedef void fmi2FreeInstanceTYPE(fmi2Component);
typedef fmi2Status fmi2SetupExperimentTYPE(fmi2Component, fmi2Boolean, fmi2Real, fmi2Real,
                                           fmi2Boolean, fmi2Real);
typedef fmi2Status fmi2EnterInitializationModeTYPE(fmi2Component);
typedef fmi2Status fmi2ExitInitializationModeTYPE(fmi2Component);
typedef fmi2Status fmi2TerminateTYPE(fmi2Component);
typedef fmi2Status fmi2ResetTYPE(fmi2Component);
typedef fmi2Status fmi2GetRealTYPE(fmi2Component, const fmi2ValueReference[], size_t, fmi2Real[]);
typedef fmi2Status fmi2GetIntegerTYPE(fmi2Component, const fmi2ValueReference[], size_t,
                                      fmi2Integer[]);
typedef fmi2Status fmi2GetBooleanTYPE(fmi2Component, const fmi2ValueReference[], size_t,
                                      fmi2Boolean[]);
typedef fmi2Status fmi2GetStringTYPE(fmi2Component, const fmi2ValueReference[], size_t,
                                     fmi2String[]);
typedef fmi2Status fmi2SetRealTYPE(fmi2Component, const fmi2ValueReference[], size_t,
                                   const fmi2Real[]);
typedef fmi2Status fmi2SetIntegerTYPE(fmi2Component, const fmi2ValueReference[], size_t,
                                      const fmi2Integer[]);
typedef fmi2Status fmi2SetBooleanTYPE(fmi2Component, const fmi2ValueReference[], size_t,
                                      const fmi2Boolean[]);
typedef fmi2Status fmi2SetStringTYPE(fmi2Component, const fmi2ValueReference[], size_t,
                                     const fmi2String[]);
typedef fmi2Status fmi2GetFMUstateTYPE(fmi2Component, fmi2FMUstate*);
typedef fmi2Status fmi2SetFMUstateTYPE(fmi2Component, fmi2FMUstate);
typedef fmi2Status fmi2FreeFMUstateTYPE(fmi2Component, fmi2FMUstate*);
typedef fmi2Status fmi2SerializedFMUstateSizeTYPE(fmi2Component, fmi2FMUstate, size_t*);
typedef fmi2Status fmi2SerializeFMUstateTYPE(fmi2Component, fmi2FMUstate, fmi2Byte[], size_t);
typedef fmi2Status fmi2DeSerializeFMUstateTYPE(fmi2Component, const fmi2Byte[], size_t,
                                               fmi2FMUstate*);
typedef fmi2Status fmi2GetDirectionalDerivativeTYPE(fmi2Component, const fmi2ValueReference[],
                                                    size_t, const fmi2ValueReference[], size_t,
                                                    const fmi2Real[], fmi2Real[]);
typedef fmi2Status fmi2SetRealInputDerivativesTYPE(fmi2Component, const fmi2ValueReference[],
                                                   size_t, const fmi2Integer[], const fmi2Real[]);
typedef fmi2Status fmi2GetRealOutputDerivativesTYPE(fmi2Component, const fmi2ValueReference[],
                                                    size_t, const fmi2Integer[], fmi2Real[]);
typedef fmi2Status fmi2DoStepTYPE(fmi2Component, fmi2Real, fmi2Real, fmi2Boolean);
typedef fmi2Status fmi2CancelStepTYPE(fmi2Component);
typedef fmi2Status fmi2GetStatusTYPE(fmi2Component, const fmi2StatusKind, fmi2Status*);
typedef fmi2Status fmi2GetRealStatusTYPE(fmi2Component, const fmi2StatusKind, fmi2Real*);
typedef fmi2Status fmi2GetIntegerStatusTYPE(fmi2Component, const fmi2StatusKind, fmi2Integer*);
typedef fmi2Status fmi2GetBooleanStatusTYPE(fmi2Component, const fmi2StatusKind, fmi2Boolean*);
typedef fmi2Status fmi2GetStringStatusTYPE(fmi2Component, const fmi2StatusKind, fmi2String*);

}  // extern "C"

// The 34 exported names, for code that resolves or checks them all.
#define FMI2_FUNCTION_NAMES(X)                                                                 \
  X(fmi2GetTypesPlatform) X(fmi2GetVersion) X(fmi2SetDebugLogging) X(fmi2Instantiate)         \
  X(fmi2FreeInstance) X(fmi2SetupExperiment) X(fmi2EnterInitializationMode)                    \
  X(fmi2ExitInitializationMode) X(fmi2Terminate) X(fmi2Reset) X(fmi2GetReal) X(fmi2GetInteger) \
  X(fmi2GetBoolean) X(fmi2GetString) X(fmi2SetReal) X(fmi2SetInteger) X(fmi2SetBoolean)        \
  X(fmi2SetString) X(fmi2GetFMUstate) X(fmi2SetFMUstate) X(fmi2FreeFMUstate)                   \
  X(fmi2SerializedFMUstateSize) X(fmi2SerializeFMUstate) X(fmi2DeSerializeFMUstate)            \
  X(fmi2GetDirectionalDerivative) X(fmi2SetRealInputDerivatives)                               \
  X(fmi2GetRealOutputDerivatives) X(fmi2DoStep) X(fmi2CancelStep) X(fmi2GetStatus)             \
  X(fmi2GetRealStatus) X(fmi2GetIntegerStatus) X(fmi2GetBooleanStatus) X(fmi2GetStringStatus)
