#include "app/cli/fmi_trace.h"

#include <array>
#include <charconv>
#include <mutex>
#include <string>
#include <unordered_map>
#include <utility>

#include "app/cli/log.h"
#include "engine/error.h"
#include "engine/fmu_unit.h"
#include "engine/unit_log.h"

namespace master::cli {

namespace {

// The original function pointers of one traced library.
struct Functions {
#define MASTER_TRACE_DECLARE(name) name##TYPE* name = nullptr;
  FMI2_FUNCTION_NAMES(MASTER_TRACE_DECLARE)
#undef MASTER_TRACE_DECLARE
};

// The tracing functions carry no state of their own, so each library gets a slot and a set of
// functions compiled for that slot.
constexpr std::size_t slotCount = 64;
std::array<Functions, slotCount> originals;
std::size_t slotsUsed = 0;  // libraries are loaded one at a time

std::mutex namesMutex;
std::unordered_map<fmi2Component, std::string> instanceNames;

std::string nameOf(fmi2Component c) {
  const std::lock_guard<std::mutex> lock(namesMutex);
  const auto it = instanceNames.find(c);
  return it != instanceNames.end() ? it->second : "?";
}

void put(std::string& s, double v) {
  char text[32];
  s.append(text, std::to_chars(text, text + sizeof text, v).ptr);
}
void put(std::string& s, int v) { s += std::to_string(v); }
void put(std::string& s, unsigned v) { s += std::to_string(v); }
void put(std::string& s, std::size_t v) { s += std::to_string(v); }
void put(std::string& s, const char* v) {
  if (v == nullptr) {
    s += "NULL";
    return;
  }
  s += '"';
  s += v;
  s += '"';
}

template <typename T>
void putArray(std::string& s, const T* values, std::size_t n) {
  if (values == nullptr) {
    s += "NULL";
    return;
  }
  s += '{';
  for (std::size_t i = 0; i < n; ++i) {
    if (i > 0) s += ", ";
    put(s, values[i]);
  }
  s += '}';
}

void emit(const std::string& instance, const std::string& call, fmi2Status status) {
  log().trace("[fmi] " + instance + ": " + call + " -> " + statusName(status));
}

const char* boolean(fmi2Boolean b) { return b != fmi2False ? "true" : "false"; }

template <std::size_t S>
struct Traced {
  static const Functions& f() { return originals[S]; }

  static fmi2Component instantiate(fmi2String name, fmi2Type type, fmi2String guid, fmi2String resources,
                                   const fmi2CallbackFunctions* callbacks, fmi2Boolean visible,
                                   fmi2Boolean loggingOn) {
    const fmi2Component c = f().fmi2Instantiate(name, type, guid, resources, callbacks, visible, loggingOn);
    std::string call = "fmi2Instantiate(instanceName=";
    put(call, name);
    call += type == fmi2CoSimulation ? ", fmuType=fmi2CoSimulation, fmuGUID=" : ", fmuType=fmi2ModelExchange, fmuGUID=";
    put(call, guid);
    call += ", fmuResourceLocation=";
    put(call, resources);
    call += std::string(", visible=") + boolean(visible) + ", loggingOn=" + boolean(loggingOn) + ")";
    if (c != nullptr) {
      const std::lock_guard<std::mutex> lock(namesMutex);
      instanceNames[c] = name != nullptr ? name : "?";
    }
    log().trace("[fmi] " + std::string(name != nullptr ? name : "?") + ": " + call + " -> " +
                (c != nullptr ? "instance" : "NULL"));
    return c;
  }
  static void freeInstance(fmi2Component c) {
    const std::string name = nameOf(c);
    f().fmi2FreeInstance(c);
    log().trace("[fmi] " + name + ": fmi2FreeInstance()");
    const std::lock_guard<std::mutex> lock(namesMutex);
    instanceNames.erase(c);
  }
  static fmi2Status setDebugLogging(fmi2Component c, fmi2Boolean on, size_t n, const fmi2String categories[]) {
    const fmi2Status s = f().fmi2SetDebugLogging(c, on, n, categories);
    std::string call = std::string("fmi2SetDebugLogging(loggingOn=") + boolean(on) + ", nCategories=";
    put(call, n);
    call += ", categories=";
    putArray(call, categories, n);
    emit(nameOf(c), call + ")", s);
    return s;
  }
  static fmi2Status setupExperiment(fmi2Component c, fmi2Boolean toleranceDefined, fmi2Real tolerance,
                                    fmi2Real startTime, fmi2Boolean stopTimeDefined, fmi2Real stopTime) {
    const fmi2Status s = f().fmi2SetupExperiment(c, toleranceDefined, tolerance, startTime, stopTimeDefined, stopTime);
    std::string call = std::string("fmi2SetupExperiment(toleranceDefined=") + boolean(toleranceDefined) + ", tolerance=";
    put(call, tolerance);
    call += ", startTime=";
    put(call, startTime);
    call += std::string(", stopTimeDefined=") + boolean(stopTimeDefined) + ", stopTime=";
    put(call, stopTime);
    emit(nameOf(c), call + ")", s);
    return s;
  }
  template <fmi2Status (*Functions::*Member)(fmi2Component)>
  static fmi2Status noArguments(fmi2Component c, const char* function) {
    const fmi2Status s = (f().*Member)(c);
    emit(nameOf(c), std::string(function) + "()", s);
    return s;
  }
  static fmi2Status enterInitializationMode(fmi2Component c) {
    return noArguments<&Functions::fmi2EnterInitializationMode>(c, "fmi2EnterInitializationMode");
  }
  static fmi2Status exitInitializationMode(fmi2Component c) {
    return noArguments<&Functions::fmi2ExitInitializationMode>(c, "fmi2ExitInitializationMode");
  }
  static fmi2Status terminate(fmi2Component c) { return noArguments<&Functions::fmi2Terminate>(c, "fmi2Terminate"); }
  static fmi2Status reset(fmi2Component c) { return noArguments<&Functions::fmi2Reset>(c, "fmi2Reset"); }
  static fmi2Status cancelStep(fmi2Component c) { return noArguments<&Functions::fmi2CancelStep>(c, "fmi2CancelStep"); }

  // Get and set calls of every type: the value references and the values (after a get call,
  // the values it returned).
  template <typename T, fmi2Status (*Functions::*Member)(fmi2Component, const fmi2ValueReference[], size_t, T)>
  static fmi2Status access(fmi2Component c, const fmi2ValueReference vr[], size_t n, T values, const char* function) {
    const fmi2Status s = (f().*Member)(c, vr, n, values);
    std::string call = std::string(function) + "(vr=";
    putArray(call, vr, n);
    call += ", nvr=";
    put(call, n);
    call += ", value=";
    putArray(call, values, n);
    emit(nameOf(c), call + ")", s);
    return s;
  }
#define MASTER_TRACE_ACCESS(method, function, T)                                      \
  static fmi2Status method(fmi2Component c, const fmi2ValueReference vr[], size_t n, T v) { \
    return access<T, &Functions::function>(c, vr, n, v, #function);                   \
  }
  MASTER_TRACE_ACCESS(getReal, fmi2GetReal, fmi2Real*)
  MASTER_TRACE_ACCESS(getInteger, fmi2GetInteger, fmi2Integer*)
  MASTER_TRACE_ACCESS(getBoolean, fmi2GetBoolean, fmi2Boolean*)
  MASTER_TRACE_ACCESS(getString, fmi2GetString, fmi2String*)
  MASTER_TRACE_ACCESS(setReal, fmi2SetReal, const fmi2Real*)
  MASTER_TRACE_ACCESS(setInteger, fmi2SetInteger, const fmi2Integer*)
  MASTER_TRACE_ACCESS(setBoolean, fmi2SetBoolean, const fmi2Boolean*)
  MASTER_TRACE_ACCESS(setString, fmi2SetString, const fmi2String*)
#undef MASTER_TRACE_ACCESS

  static fmi2Status doStep(fmi2Component c, fmi2Real t, fmi2Real h, fmi2Boolean noSetPrior) {
    const fmi2Status s = f().fmi2DoStep(c, t, h, noSetPrior);
    std::string call = "fmi2DoStep(currentCommunicationPoint=";
    put(call, t);
    call += ", communicationStepSize=";
    put(call, h);
    call += std::string(", noSetFMUStatePriorToCurrentPoint=") + boolean(noSetPrior) + ")";
    emit(nameOf(c), call, s);
    return s;
  }
  static fmi2Status getStatus(fmi2Component c, const fmi2StatusKind kind, fmi2Status* value) {
    const fmi2Status s = f().fmi2GetStatus(c, kind, value);
    emit(nameOf(c), "fmi2GetStatus(kind=" + std::to_string(static_cast<int>(kind)) + ")", s);
    return s;
  }

  static void install(FmuLibrary& library) {
    Functions& o = originals[S];
#define MASTER_TRACE_KEEP(name) o.name = library.name;
    FMI2_FUNCTION_NAMES(MASTER_TRACE_KEEP)
#undef MASTER_TRACE_KEEP
    // The calls a co-simulation master makes; the others (states, derivatives, the remaining
    // status queries) pass through untraced.
    library.fmi2Instantiate = instantiate;
    library.fmi2FreeInstance = freeInstance;
    library.fmi2SetDebugLogging = setDebugLogging;
    library.fmi2SetupExperiment = setupExperiment;
    library.fmi2EnterInitializationMode = enterInitializationMode;
    library.fmi2ExitInitializationMode = exitInitializationMode;
    library.fmi2Terminate = terminate;
    library.fmi2Reset = reset;
    library.fmi2CancelStep = cancelStep;
    library.fmi2GetReal = getReal;
    library.fmi2GetInteger = getInteger;
    library.fmi2GetBoolean = getBoolean;
    library.fmi2GetString = getString;
    library.fmi2SetReal = setReal;
    library.fmi2SetInteger = setInteger;
    library.fmi2SetBoolean = setBoolean;
    library.fmi2SetString = setString;
    library.fmi2DoStep = doStep;
    library.fmi2GetStatus = getStatus;
  }
};

using Installer = void (*)(FmuLibrary&);

template <std::size_t... S>
constexpr std::array<Installer, sizeof...(S)> installers(std::index_sequence<S...>) {
  return {&Traced<S>::install...};
}

}  // namespace

void traceCalls(FmuLibrary& library) {
  static constexpr auto table = installers(std::make_index_sequence<slotCount>());
  if (slotsUsed == slotCount) throw MasterError("--fmi-log traces at most 64 unit libraries in one run");
  table[slotsUsed++](library);
}

}  // namespace master::cli
