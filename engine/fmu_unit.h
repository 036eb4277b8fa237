// One loaded unit: its shared library opened with dlopen (RTLD_LOCAL, so units with the same
// symbol names live side by side) and its 34 functions resolved, and one instance of it. Every
// call is checked: a status of fmi2Discard or worse ends the run with a message that names the
// instance, the function and the unit's own last message.
//
// The instance is served as FMI 2.0 promises: memory callbacks (calloc and free), a logger that
// formats the unit's message with its arguments (unit_log.h), and its state followed so that it
// gets its fmi2Terminate whenever the state allows it (after initialisation, also when the run
// fails or is interrupted; not after it answered fmi2Error), and no call at all, not even
// fmi2FreeInstance, after it answered fmi2Fatal.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "fmi/fmi2_abi.h"
#include "engine/unit_log.h"

namespace master {

class ModelDescription;

class FmuLibrary {
 public:
  explicit FmuLibrary(const std::filesystem::path& file);
  ~FmuLibrary();
  FmuLibrary(const FmuLibrary&) = delete;
  FmuLibrary& operator=(const FmuLibrary&) = delete;

#define MASTER_DECLARE_FUNCTION(name) name##TYPE* name = nullptr;
  FMI2_FUNCTION_NAMES(MASTER_DECLARE_FUNCTION)
#undef MASTER_DECLARE_FUNCTION

 private:
  void* handle_ = nullptr;
};

class FmuInstance {
 public:
  // fmi2Instantiate as co-simulation with logging on (the master filters the messages);
  // throws when the unit refuses, for example on a GUID mismatch.
  FmuInstance(const FmuLibrary& library, const std::string& instanceName,
              const ModelDescription& description, const std::string& resourceUri, UnitLog& log);
  ~FmuInstance();
  FmuInstance(const FmuInstance&) = delete;
  FmuInstance& operator=(const FmuInstance&) = delete;

  const std::string& name() const { return context_->instanceName; }

  void setupExperiment(double startTime, std::optional<double> stopTime) {
    check(library_.fmi2SetupExperiment(component_, fmi2False, 0.0, startTime, stopTime ? fmi2True : fmi2False,
                                       stopTime.value_or(0.0)),
          "fmi2SetupExperiment");
  }
  void enterInitializationMode() {
    check(library_.fmi2EnterInitializationMode(component_), "fmi2EnterInitializationMode");
  }
  void exitInitializationMode() {
    check(library_.fmi2ExitInitializationMode(component_), "fmi2ExitInitializationMode");
    if (state_ == State::instantiated) state_ = State::initialized;
  }
  // fmi2Terminate if the instance's state allows it (else nothing).
  void terminate();

  void getReal(const fmi2ValueReference* vr, std::size_t n, double* values) {
    check(library_.fmi2GetReal(component_, vr, n, values), "fmi2GetReal");
  }
  void getInteger(const fmi2ValueReference* vr, std::size_t n, int* values) {
    check(library_.fmi2GetInteger(component_, vr, n, values), "fmi2GetInteger");
  }
  void getBoolean(const fmi2ValueReference* vr, std::size_t n, int* values) {
    check(library_.fmi2GetBoolean(component_, vr, n, values), "fmi2GetBoolean");
  }
  void setString(const fmi2ValueReference* vr, std::size_t n, const fmi2String* values) {
    check(library_.fmi2SetString(component_, vr, n, values), "fmi2SetString");
  }
  void setReal(const fmi2ValueReference* vr, std::size_t n, const double* values) {
    check(library_.fmi2SetReal(component_, vr, n, values), "fmi2SetReal");
  }
  void setInteger(const fmi2ValueReference* vr, std::size_t n, const int* values) {
    check(library_.fmi2SetInteger(component_, vr, n, values), "fmi2SetInteger");
  }
  void setBoolean(const fmi2ValueReference* vr, std::size_t n, const int* values) {
    check(library_.fmi2SetBoolean(component_, vr, n, values), "fmi2SetBoolean");
  }
  void doStep(double currentTime, double stepSize) {
    check(library_.fmi2DoStep(component_, currentTime, stepSize, fmi2True), "fmi2DoStep");
  }

 private:
  // Where the instance is in the standard's state machine, as far as the master needs it.
  enum class State { instantiated, initialized, terminated, error, fatal };

  void check(fmi2Status status, const char* function) {
    if (status != fmi2OK && status != fmi2Warning) fail(status, function);
  }
  [[noreturn]] void fail(fmi2Status status, const char* function);

  const FmuLibrary& library_;
  std::unique_ptr<InstanceContext> context_;
  std::unique_ptr<fmi2CallbackFunctions> callbacks_;
  fmi2Component component_ = nullptr;
  State state_ = State::instantiated;  // setup and initialisation mode count as instantiated
};

}  // namespace master
