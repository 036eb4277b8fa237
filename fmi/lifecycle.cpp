// Creation, set-up and release of an instance, and the logging switch.
#include <cstdlib>

#include "fmi/fmi_component.h"
#include "fmi/identity.h"
#include "fmi/resource_location.h"
#include "fmi/unit_model.h"

namespace fmi {

namespace {

// Releases the model and its value-reference table. Also used when fmi2Instantiate fails after
// createModel, so it keys on the model handle rather than on the registered flag (the two agree
// for every instance a master holds).
void releaseModel(FmuComponent& c) {
  runtime::ModelInterface& mi = *c.modelInterface;
  if (mi.model == nullptr) return;
  if (c.stepState->integrationDataCreated == 1) mi.destroyIntegrationData(mi.model);
  mi.freeVariableTable(&mi.variables);
  mi.terminateModel(mi.model);
  mi.model = nullptr;
}

void releaseInstance(FmuComponent* c) {
  if (c->modelInterface != nullptr && c->stepState != nullptr) releaseModel(*c);
  std::free(c->stepState);
  releaseInstanceLogger(c->instanceLogger);
  std::free(c->modelInterface);
  std::free(c);
}

// The type sizes the model was compiled with, checked in this order.
struct TypeSize {
  uint64_t runtime::ModelInterface::*field;
  uint64_t expected;
  const char* name;
};
constexpr TypeSize typeSizes[] = {
    {&runtime::ModelInterface::sizeofRealT, 8, "real_T"},
    {&runtime::ModelInterface::sizeofIntT, 4, "int_T"},
    {&runtime::ModelInterface::sizeofTimeT, 8, "time_T"},
    {&runtime::ModelInterface::sizeofDouble, 8, "double"},
    {&runtime::ModelInterface::sizeofInt, 4, "int"},
    {&runtime::ModelInterface::sizeofChar, 1, "char"},
    {&runtime::ModelInterface::sizeofVoidPtr, 8, "void_ptr"},
};

// Model registration through the table; false (after its message, if it has one) on failure.
bool registerModel(FmuComponent& c) {
  InstanceLogger& log = *c.instanceLogger;
  runtime::ModelInterface& mi = *c.modelInterface;
  mi.model = nullptr;
  mi.variables.reals = nullptr;
  mi.variables.integers = nullptr;
  mi.variables.booleans = nullptr;
  if (registerFunctions(&mi) == 0) {
    reportStatus(log, fmi2Error,
                 "An error occured during model registration. Failed to register functions.");
    return false;
  }
  mi.model = mi.createModel();
  if (mi.model == nullptr) {
    reportStatus(log, fmi2Error,
                 "An error occured during model registration. Failed to get model.");
    return false;
  }
  if (mi.registerSimulationData(&mi) == 0) {
    reportStatus(log, fmi2Error,
                 "An error occured during model registration. Failed to register simulation "
                 "data.");
    return false;
  }
  // A model whose records could not all be allocated gets no table; nor does one whose table
  // could not be allocated. Either way the master is told why it gets no instance.
  if (mi.buildVariableTable(mi.model, &mi.variables) == 0) {
    const char* error = mi.getErrorStatus(mi.model);
    reportStatus(log, fmi2Error,
                 "An error occured during model registration. Failed to build the table of "
                 "variables: %s",
                 error != nullptr ? error : runtime::memoryAllocationError);
    return false;
  }
  for (const TypeSize& t : typeSizes) {
    if (mi.*t.field != t.expected) {
      reportStatus(log, fmi2Error,
                   "Data type sizes mismatch. Runtime code was compiled with a different sizes "
                   "for \"%s\"",
                   t.name);
      return false;
    }
  }
  mi.initializeNonFinites(8);
  c.stepState->registered = 1;
  return true;
}

// Reports the model's error status, if it has one; true when there was none.
bool modelHealthy(FmuComponent& c) {
  runtime::ModelInterface& mi = *c.modelInterface;
  const char* error = mi.getErrorStatus(mi.model);
  if (error == nullptr) return true;
  reportStatus(*c.instanceLogger, fmi2Error, "%s", error);
  return false;
}

}  // namespace

FmuComponent* instantiate(fmi2String instanceName, fmi2String fmuGUID,
                          fmi2String fmuResourceLocation, const fmi2CallbackFunctions* functions,
                          fmi2Boolean loggingOn) {
  // Without a logger there is no one to tell; without a name there is nothing to tell it with.
  if (functions == nullptr || functions->logger == nullptr || instanceName == nullptr) {
    return nullptr;
  }
  InstanceLogger* log = createInstanceLogger(instanceName, *functions, loggingOn);
  if (log == nullptr) {
    functions->logger(nullptr, instanceName, fmi2Error, "", "Out of memory");
    return nullptr;
  }

  // A missing location is refused like a malformed one (and shown as an empty text). A path that
  // does not fit is told first, so that the user does not look for a fault in the URI.
  std::size_t decodedLength = 0;
  const LocationDecoding decoding =
      decodeResourceLocation(fmuResourceLocation, resourcePath, decodedLength);
  if (decoding != LocationDecoding::accepted) {
    if (decoding == LocationDecoding::tooLong) {
      reportStatus(*log, fmi2Error,
                   "The resource path decoded from fmuResourceLocation has %zu characters; at "
                   "most %zu fit",
                   decodedLength, resourcePathSize - 1);
    }
    reportStatus(*log, fmi2Error,
                 "Invalid fmuResourceLocation <URI:%s>. Expected format: "
                 "'file:///absolute/path/resources'",
                 fmuResourceLocation != nullptr ? fmuResourceLocation : "");
    releaseInstanceLogger(log);
    return nullptr;
  }
  reportStatus(*log, fmi2OK,
               "The path to the resource folder, that will be used if any resources are needed, "
               "is: %s",
               resourcePath);

  auto* c = static_cast<FmuComponent*>(std::calloc(1, sizeof(FmuComponent)));
  auto* mi = static_cast<runtime::ModelInterface*>(std::calloc(1, sizeof(runtime::ModelInterface)));
  auto* step = static_cast<StepState*>(std::calloc(1, sizeof(StepState)));
  if (c == nullptr || mi == nullptr || step == nullptr) {
    std::free(c);
    std::free(mi);
    std::free(step);
    reportStatus(*log, fmi2Error, "Out of memory");
    releaseInstanceLogger(log);
    return nullptr;
  }
  c->instanceLogger = log;
  c->modelInterface = mi;
  c->stepState = step;

  fillModelInfo(&mi->info);
  if (!identityMatches(mi->info, fmuGUID)) {
    reportStatus(*log, fmi2Error, "GUID mismatch '%s'", fmuGUID != nullptr ? fmuGUID : "");
    releaseInstance(c);
    return nullptr;
  }
  if (!registerModel(*c)) {
    releaseInstance(c);
    return nullptr;
  }
  // The process-wide path belongs to the most recent instantiation; a model that reads
  // resources keeps its own copy.
  if (mi->setResourceFolder != nullptr) mi->setResourceFolder(mi->model, resourcePath);
  // What was reported so far belongs to this call: the next call starts from fmi2OK.
  takeStatus(*log);
  return c;
}

void freeInstance(FmuComponent& c) { releaseInstance(&c); }

fmi2Status setupExperiment(FmuComponent& c, fmi2Real startTime, fmi2Boolean stopTimeDefined,
                           fmi2Real stopTime) {
  InstanceLogger& log = *c.instanceLogger;
  runtime::ModelInterface& mi = *c.modelInterface;
  runtime::SimModel* model = mi.model;
  if (!(startTime == 0.0)) {
    reportStatus(log, fmi2Error,
                 "Only start time %e is supported. Cannot start with star time set to %e", 0.0,
                 startTime);
    return takeStatus(log);
  }
  if (stopTimeDefined != fmi2False && stopTime < 0.0) {
    reportStatus(log, fmi2Error, "Stop time cannot be negative %e", stopTime);
    return takeStatus(log);
  }
  mi.setFinalTime(model, stopTimeDefined != fmi2False ? stopTime : -1.0);
  mi.initializeSizes(model);
  mi.initializeSampleTimes(model);
  if (mi.getStartTime(model) != 0.0) {
    reportStatus(log, fmi2Error, "Start time must be zero for real-time systems.");
    return takeStatus(log);
  }
  if (mi.numContinuousStates > 0) {
    mi.createIntegrationData(model);
    c.stepState->integrationDataCreated = 1;
    if (mi.getErrorStatus(model) != nullptr) {
      reportStatus(log, fmi2Error, "Error creating integration data");
      return takeStatus(log);
    }
  } else {
    mi.setSolverName(model, "FixedStepDiscrete");
  }
  mi.initializeModel(model);
  if (!modelHealthy(c)) return takeStatus(log);
  mi.setSolverStopTime(model, -1.0);
  mi.computeOutputs(model, 0);
  initialConditionsComputed(c);
  modelHealthy(c);
  return takeStatus(log);
}

namespace {

// A model that reads or checks what its parameters name does so on entering and on leaving
// initialisation mode (a parameter may still change in between); the outputs then show what it
// read. False after reporting the model's refusal.
bool prepareModel(FmuComponent& c) {
  runtime::ModelInterface& mi = *c.modelInterface;
  if (mi.prepare == nullptr) return true;
  const char* note = "";
  const char* refusal = mi.prepare(mi.model, &note);
  if (refusal != nullptr) {
    reportStatus(*c.instanceLogger, fmi2Error, "%s", refusal);
    return false;
  }
  if (note != nullptr && note[0] != '\0') reportStatus(*c.instanceLogger, fmi2OK, "%s", note);
  mi.setSolverStopTime(mi.model, -1.0);
  mi.computeOutputs(mi.model, 0);
  return true;
}

}  // namespace

fmi2Status enterInitializationMode(FmuComponent& c) {
  prepareModel(c);
  return takeStatus(*c.instanceLogger);
}

fmi2Status exitInitializationMode(FmuComponent& c) {
  settleInitialConditions(c);
  // A refused model stays in initialisation: its get calls keep recomputing.
  if (prepareModel(c)) c.stepState->initializationDone = 1;
  return takeStatus(*c.instanceLogger);
}

fmi2Status setDebugLogging(FmuComponent& c, fmi2Boolean loggingOn, std::size_t nCategories) {
  InstanceLogger& log = *c.instanceLogger;
  if (nCategories != 0) {
    reportStatus(log, fmi2Error, "FMU does not support any log categories.");
    return takeStatus(log);
  }
  log.loggingOn = loggingOn != fmi2False ? 1 : 0;
  reportStatus(log, fmi2OK, "Debug logging was successfully set to: %s",
               loggingOn != fmi2False ? "fmi2_true" : "fmi2_false");
  return takeStatus(log);
}

}  // namespace fmi
