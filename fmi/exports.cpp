// The 34 functions of FMI 2.0 Co-Simulation, exported under their standard names. Every
// function that receives an instance refuses a null one with fmi2Error and no message (there is
// no logger to report to), except fmi2FreeInstance, which ignores it.
#include <type_traits>

#include "fmi/fmi_component.h"

#define FMI2_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

// Calls `operation` on the instance behind `c`, or refuses a null handle.
template <auto operation, class... Args>
inline fmi2Status onInstance(fmi2Component c, Args... args) {
  if (c == nullptr) return fmi2Error;
  return operation(*static_cast<fmi::FmuComponent*>(c), args...);
}

template <fmi::Refusal what>
inline fmi2Status refusal(fmi::FmuComponent& c) {
  return fmi::refuse(c, what);
}

// Instance operations that only check the handle.
inline fmi2Status acknowledge(fmi::FmuComponent&) { return fmi2OK; }

}  // namespace

FMI2_EXPORT const char* fmi2GetTypesPlatform(void) { return "default"; }

FMI2_EXPORT const char* fmi2GetVersion(void) { return "2.0"; }

FMI2_EXPORT fmi2Status fmi2SetDebugLogging(fmi2Component c, fmi2Boolean loggingOn,
                                           size_t nCategories, const fmi2String[]) {
  return onInstance<fmi::setDebugLogging>(c, loggingOn, nCategories);
}

FMI2_EXPORT fmi2Component fmi2Instantiate(fmi2String instanceName, fmi2Type, fmi2String fmuGUID,
                                          fmi2String fmuResourceLocation,
                                          const fmi2CallbackFunctions* functions, fmi2Boolean,
                                          fmi2Boolean loggingOn) {
  return fmi::instantiate(instanceName, fmuGUID, fmuResourceLocation, functions, loggingOn);
}

FMI2_EXPORT void fmi2FreeInstance(fmi2Component c) {
  if (c != nullptr) fmi::freeInstance(*static_cast<fmi::FmuComponent*>(c));
}

FMI2_EXPORT fmi2Status fmi2SetupExperiment(fmi2Component c, fmi2Boolean, fmi2Real,
                                           fmi2Real startTime, fmi2Boolean stopTimeDefined,
                                           fmi2Real stopTime) {
  return onInstance<fmi::setupExperiment>(c, startTime, stopTimeDefined, stopTime);
}

FMI2_EXPORT fmi2Status fmi2EnterInitializationMode(fmi2Component c) {
  return onInstance<fmi::enterInitializationMode>(c);
}

FMI2_EXPORT fmi2Status fmi2ExitInitializationMode(fmi2Component c) {
  return onInstance<fmi::exitInitializationMode>(c);
}

FMI2_EXPORT fmi2Status fmi2Terminate(fmi2Component c) { return onInstance<acknowledge>(c); }

FMI2_EXPORT fmi2Status fmi2Reset(fmi2Component c) {
  return onInstance<refusal<fmi::Refusal::reset>>(c);
}

FMI2_EXPORT fmi2Status fmi2GetReal(fmi2Component c, const fmi2ValueReference vr[], size_t nvr,
                                   fmi2Real value[]) {
  return onInstance<fmi::getReal>(c, vr, nvr, value);
}

FMI2_EXPORT fmi2Status fmi2GetInteger(fmi2Component c, const fmi2ValueReference vr[], size_t nvr,
                                      fmi2Integer value[]) {
  return onInstance<fmi::getInteger>(c, vr, nvr, value);
}

FMI2_EXPORT fmi2Status fmi2GetBoolean(fmi2Component c, const fmi2ValueReference vr[], size_t nvr,
                                      fmi2Boolean value[]) {
  return onInstance<fmi::getBoolean>(c, vr, nvr, value);
}

FMI2_EXPORT fmi2Status fmi2GetString(fmi2Component c, const fmi2ValueReference vr[], size_t nvr,
                                     fmi2String value[]) {
  return onInstance<fmi::getString>(c, vr, nvr, value);
}

FMI2_EXPORT fmi2Status fmi2SetReal(fmi2Component c, const fmi2ValueReference vr[], size_t nvr,
                                   const fmi2Real value[]) {
  return onInstance<fmi::setReal>(c, vr, nvr, value);
}

FMI2_EXPORT fmi2Status fmi2SetInteger(fmi2Component c, const fmi2ValueReference vr[], size_t nvr,
                                      const fmi2Integer value[]) {
  return onInstance<fmi::setInteger>(c, vr, nvr, value);
}

FMI2_EXPORT fmi2Status fmi2SetBoolean(fmi2Component c, const fmi2ValueReference vr[], size_t nvr,
                                      const fmi2Boolean value[]) {
  return onInstance<fmi::setBoolean>(c, vr, nvr, value);
}

FMI2_EXPORT fmi2Status fmi2SetString(fmi2Component c, const fmi2ValueReference vr[], size_t nvr,
                                     const fmi2String value[]) {
  return onInstance<fmi::setString>(c, vr, nvr, value);
}

FMI2_EXPORT fmi2Status fmi2GetFMUstate(fmi2Component c, fmi2FMUstate*) {
  return onInstance<refusal<fmi::Refusal::getFMUstate>>(c);
}

FMI2_EXPORT fmi2Status fmi2SetFMUstate(fmi2Component c, fmi2FMUstate) {
  return onInstance<refusal<fmi::Refusal::setFMUstate>>(c);
}

FMI2_EXPORT fmi2Status fmi2FreeFMUstate(fmi2Component c, fmi2FMUstate*) {
  return onInstance<refusal<fmi::Refusal::freeFMUstate>>(c);
}

FMI2_EXPORT fmi2Status fmi2SerializedFMUstateSize(fmi2Component c, fmi2FMUstate, size_t*) {
  return onInstance<refusal<fmi::Refusal::serializedFMUstateSize>>(c);
}

FMI2_EXPORT fmi2Status fmi2SerializeFMUstate(fmi2Component c, fmi2FMUstate, fmi2Byte[], size_t) {
  return onInstance<refusal<fmi::Refusal::serializeFMUstate>>(c);
}

FMI2_EXPORT fmi2Status fmi2DeSerializeFMUstate(fmi2Component c, const fmi2Byte[], size_t,
                                               fmi2FMUstate*) {
  return onInstance<refusal<fmi::Refusal::deSerializeFMUstate>>(c);
}

FMI2_EXPORT fmi2Status fmi2GetDirectionalDerivative(fmi2Component c, const fmi2ValueReference[],
                                                    size_t, const fmi2ValueReference[], size_t,
                                                    const fmi2Real[], fmi2Real[]) {
  return onInstance<refusal<fmi::Refusal::getDirectionalDerivative>>(c);
}

FMI2_EXPORT fmi2Status fmi2SetRealInputDerivatives(fmi2Component c, const fmi2ValueReference[],
                                                   size_t nvr, const fmi2Integer[],
                                                   const fmi2Real[]) {
  return onInstance<fmi::setRealInputDerivatives>(c, nvr);
}

FMI2_EXPORT fmi2Status fmi2GetRealOutputDerivatives(fmi2Component c, const fmi2ValueReference[],
                                                    size_t nvr, const fmi2Integer[],
                                                    fmi2Real value[]) {
  return onInstance<fmi::getRealOutputDerivatives>(c, nvr, value);
}

FMI2_EXPORT fmi2Status fmi2DoStep(fmi2Component c, fmi2Real currentCommunicationPoint,
                                  fmi2Real communicationStepSize, fmi2Boolean) {
  return onInstance<fmi::doStep>(c, currentCommunicationPoint, communicationStepSize);
}

FMI2_EXPORT fmi2Status fmi2CancelStep(fmi2Component c) {
  return onInstance<refusal<fmi::Refusal::cancelStep>>(c);
}

FMI2_EXPORT fmi2Status fmi2GetStatus(fmi2Component c, const fmi2StatusKind, fmi2Status*) {
  return onInstance<refusal<fmi::Refusal::getStatus>>(c);
}

FMI2_EXPORT fmi2Status fmi2GetRealStatus(fmi2Component c, const fmi2StatusKind, fmi2Real*) {
  return onInstance<refusal<fmi::Refusal::getRealStatus>>(c);
}

FMI2_EXPORT fmi2Status fmi2GetIntegerStatus(fmi2Component c, const fmi2StatusKind,
                                            fmi2Integer*) {
  return onInstance<refusal<fmi::Refusal::getIntegerStatus>>(c);
}

FMI2_EXPORT fmi2Status fmi2GetBooleanStatus(fmi2Component c, const fmi2StatusKind,
                                            fmi2Boolean*) {
  return onInstance<refusal<fmi::Refusal::getBooleanStatus>>(c);
}

FMI2_EXPORT fmi2Status fmi2GetStringStatus(fmi2Component c, const fmi2StatusKind, fmi2String*) {
  return onInstance<refusal<fmi::Refusal::getStringStatus>>(c);
}

// The exported signatures must be the standard ones.
#define FMI2_CHECK_SIGNATURE(name) \
  static_assert(std::is_same_v<decltype(name), name##TYPE>, #name " has a non-standard signature");
FMI2_FUNCTION_NAMES(FMI2_CHECK_SIGNATURE)
#undef FMI2_CHECK_SIGNATURE
