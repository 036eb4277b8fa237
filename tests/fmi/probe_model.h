// The interface layer linked directly with the chassis model behind instrumented table entries:
// a test switches faults on, and reads how often the layer called the model's release entries.
// The instance also carries two integer variables (an unsigned one behind the model's integer
// guard, a signed enumeration) and two booleans that the chassis model itself does not have.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "fmi/fmi2_abi.h"
#include "fmi/fmi_component.h"

extern "C" {
#define PROBE_DECLARE(name) name##TYPE name;
FMI2_FUNCTION_NAMES(PROBE_DECLARE)
#undef PROBE_DECLARE
}

namespace probe {

struct Faults {
  bool registerFunctionsFails = false;
  bool createModelReturnsNull = false;
  bool createModelRecordsError = false;  // as when a record cannot be allocated
  bool simulationDataFails = false;
  bool variableTableFails = false;       // after its arrays were allocated
  uint64_t sizeofChar = 1;
  double startTime = 0.0;
  bool integrationDataError = false;
  const char* initializeError = nullptr;
  bool noContinuousStates = false;
  bool stopRequested = false;
};

struct Calls {
  int createModel = 0;
  int terminateModel = 0;
  int freeVariableTable = 0;
  int destroyIntegrationData = 0;
  int updateStates = 0;
};

extern Faults faults;
extern Calls calls;

// Value references of the probe's extra variables.
inline constexpr fmi2ValueReference guardedInteger = 0;  // the guard refuses values above 10
inline constexpr fmi2ValueReference enumInteger = 1;     // negative values are invalid; 99 reads back invalid
inline constexpr uint32_t numProbeIntegers = 2;
inline constexpr uint32_t numProbeBooleans = 2;

// Storage of the extra variables of the most recently built table.
struct ExtraStorage {
  uint32_t guarded;
  int32_t enumeration;
  uint8_t flags[numProbeBooleans];
};
extern ExtraStorage extra;

void reset();

struct Message {
  fmi2Status status;
  std::string text;
};
extern std::vector<Message> messages;
extern const fmi2CallbackFunctions callbacks;

// The GUID of the chassis model.
std::string guid();

fmi::FmuComponent* instantiate(bool loggingOn = true);

}  // namespace probe
