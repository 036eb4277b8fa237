// Relay: a small FMI 2.0 Co-Simulation unit written as a unit from elsewhere would be, for the
// importer's tests only. It keeps its instance in memory from the master's allocateMemory (and
// refuses memory that is not zeroed), frees it with freeMemory, and logs through the master's
// logger with printf arguments (%s, %g, %d). Each step copies its inputs to its outputs: the
// value a connection delivered, with any transformation, is in the results. It counts its
// steps, outputs the time reached, fails on request at a time, and says when it is terminated.
#include <cstring>

#include "fmi/fmi2_abi.h"

namespace {

// Value references, per type.
enum Real { u, y, ramp, mass, massSeen, failAt, realCount };
enum Integer { k, kOut, count, integerCount };
enum Boolean { b, bOut, odd, booleanCount };

struct Instance {
  fmi2CallbackFunctions callbacks;
  char* name;
  double real[realCount];
  int integer[integerCount];
  int boolean[booleanCount];
  double time;
  bool initialized;  // until then a get recomputes the outputs from the values set so far
};

template <typename... Args>
void say(const Instance* s, fmi2Status status, const char* format, Args... args) {
  if (s->callbacks.logger != nullptr) s->callbacks.logger(s->callbacks.componentEnvironment, s->name, status, "relay", format, args...);
}

void outputs(Instance* s) {
  s->real[y] = s->real[u];
  s->real[ramp] = s->time;
  s->real[massSeen] = s->real[mass];
  s->integer[kOut] = s->integer[k];
  s->boolean[bOut] = s->boolean[b];
  s->boolean[odd] = s->integer[count] % 2;
}

template <typename T>
fmi2Status get(fmi2Component c, const fmi2ValueReference vr[], size_t n, T out[], const T* values, unsigned size) {
  auto* s = static_cast<Instance*>(c);
  if (!s->initialized) outputs(s);
  for (size_t i = 0; i < n; ++i) {
    if (vr[i] >= size) return fmi2Error;
    out[i] = values[vr[i]];
  }
  return fmi2OK;
}

template <typename T>
fmi2Status set(const fmi2ValueReference vr[], size_t n, const T in[], T* values, unsigned size) {
  for (size_t i = 0; i < n; ++i) {
    if (vr[i] >= size) return fmi2Error;
    values[vr[i]] = in[i];
  }
  return fmi2OK;
}

bool zeroed(const void* memory, size_t bytes) {
  const auto* p = static_cast<const unsigned char*>(memory);
  for (size_t i = 0; i < bytes; ++i) {
    if (p[i] != 0) return false;
  }
  return true;
}

}  // namespace

extern "C" {

const char* fmi2GetTypesPlatform(void) { return "default"; }
const char* fmi2GetVersion(void) { return "2.0"; }

fmi2Component fmi2Instantiate(fmi2String name, fmi2Type, fmi2String guid, fmi2String, const fmi2CallbackFunctions* f,
                              fmi2Boolean, fmi2Boolean) {
  if (f == nullptr || f->allocateMemory == nullptr || f->freeMemory == nullptr || name == nullptr) return nullptr;
  if (guid == nullptr || std::strcmp(guid, "{relay-1}") != 0) return nullptr;
  auto* s = static_cast<Instance*>(f->allocateMemory(1, sizeof(Instance)));
  if (s == nullptr) return nullptr;
  const size_t length = std::strlen(name) + 1;
  char* copy = static_cast<char*>(f->allocateMemory(length, 1));
  if (copy == nullptr || !zeroed(s, sizeof *s) || !zeroed(copy, length)) {
    f->freeMemory(copy);
    f->freeMemory(s);
    return nullptr;
  }
  std::memcpy(copy, name, length);
  std::memcpy(static_cast<void*>(&s->callbacks), f, sizeof *f);  // its members are const: no assignment
  s->name = copy;
  s->real[mass] = 1200.0;
  s->real[failAt] = -1.0;
  say(s, fmi2OK, "instance %s took %d bytes for a mass of %g kg", name, static_cast<int>(sizeof *s + length), s->real[mass]);
  return s;
}

void fmi2FreeInstance(fmi2Component c) {
  if (c == nullptr) return;
  auto* s = static_cast<Instance*>(c);
  const fmi2CallbackFreeMemory release = s->callbacks.freeMemory;
  release(s->name);
  release(s);
}

fmi2Status fmi2SetupExperiment(fmi2Component, fmi2Boolean, fmi2Real, fmi2Real, fmi2Boolean, fmi2Real) { return fmi2OK; }
fmi2Status fmi2EnterInitializationMode(fmi2Component) { return fmi2OK; }
fmi2Status fmi2ExitInitializationMode(fmi2Component c) {
  auto* s = static_cast<Instance*>(c);
  outputs(s);
  s->initialized = true;
  return fmi2OK;
}
fmi2Status fmi2Terminate(fmi2Component c) {
  const auto* s = static_cast<Instance*>(c);
  say(s, fmi2OK, "%s terminated at %g s after %d steps", s->name, s->time, s->integer[count]);
  return fmi2OK;
}

fmi2Status fmi2GetReal(fmi2Component c, const fmi2ValueReference vr[], size_t n, fmi2Real v[]) {
  return get(c, vr, n, v, static_cast<Instance*>(c)->real, realCount);
}
fmi2Status fmi2GetInteger(fmi2Component c, const fmi2ValueReference vr[], size_t n, fmi2Integer v[]) {
  return get(c, vr, n, v, static_cast<Instance*>(c)->integer, integerCount);
}
fmi2Status fmi2GetBoolean(fmi2Component c, const fmi2ValueReference vr[], size_t n, fmi2Boolean v[]) {
  return get(c, vr, n, v, static_cast<Instance*>(c)->boolean, booleanCount);
}
fmi2Status fmi2SetReal(fmi2Component c, const fmi2ValueReference vr[], size_t n, const fmi2Real v[]) {
  return set(vr, n, v, static_cast<Instance*>(c)->real, realCount);
}
fmi2Status fmi2SetInteger(fmi2Component c, const fmi2ValueReference vr[], size_t n, const fmi2Integer v[]) {
  return set(vr, n, v, static_cast<Instance*>(c)->integer, integerCount);
}
fmi2Status fmi2SetBoolean(fmi2Component c, const fmi2ValueReference vr[], size_t n, const fmi2Boolean v[]) {
  return set(vr, n, v, static_cast<Instance*>(c)->boolean, booleanCount);
}

fmi2Status fmi2DoStep(fmi2Component c, fmi2Real t, fmi2Real h, fmi2Boolean) {
  auto* s = static_cast<Instance*>(c);
  if (s->real[failAt] >= 0.0 && t >= s->real[failAt]) {
    say(s, fmi2Error, "%s fails as asked at t = %g s", s->name, t);
    return fmi2Error;
  }
  s->time = t + h;
  ++s->integer[count];
  outputs(s);
  return fmi2OK;
}

// What this unit does not do.
#define RELAY_REFUSED(name) \
  fmi2Status name(...) { return fmi2Error; }
RELAY_REFUSED(fmi2SetDebugLogging)
RELAY_REFUSED(fmi2Reset)
RELAY_REFUSED(fmi2GetString)
RELAY_REFUSED(fmi2SetString)
RELAY_REFUSED(fmi2GetFMUstate)
RELAY_REFUSED(fmi2SetFMUstate)
RELAY_REFUSED(fmi2FreeFMUstate)
RELAY_REFUSED(fmi2SerializedFMUstateSize)
RELAY_REFUSED(fmi2SerializeFMUstate)
RELAY_REFUSED(fmi2DeSerializeFMUstate)
RELAY_REFUSED(fmi2GetDirectionalDerivative)
RELAY_REFUSED(fmi2SetRealInputDerivatives)
RELAY_REFUSED(fmi2GetRealOutputDerivatives)
RELAY_REFUSED(fmi2CancelStep)
RELAY_REFUSED(fmi2GetStatus)
RELAY_REFUSED(fmi2GetRealStatus)
RELAY_REFUSED(fmi2GetIntegerStatus)
RELAY_REFUSED(fmi2GetBooleanStatus)
RELAY_REFUSED(fmi2GetStringStatus)

}  // extern "C"
