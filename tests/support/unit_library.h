// Test support: loads a built unit library with dlopen and drives it through its exported FMI
// functions only, the way a master does.
#pragma once

#include <dlfcn.h>

#include <cstdarg>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "fmi/fmi2_abi.h"

namespace test_support {

// Every message a unit sent to the logger, with its status.
struct LoggedMessage {
  std::string instanceName;
  fmi2Status status;
  std::string category;
  std::string message;
};

struct MessageLog {
  std::vector<LoggedMessage> messages;
  void clear() { messages.clear(); }
  bool contains(const std::string& text) const;
  const LoggedMessage* last() const { return messages.empty() ? nullptr : &messages.back(); }
};

// A logger that appends to the MessageLog passed as componentEnvironment.
void recordingLogger(fmi2ComponentEnvironment env, fmi2String instanceName, fmi2Status status,
                     fmi2String category, fmi2String message, ...);

class UnitLibrary {
 public:
  // Loads <dir>/<identifier>.so; RTLD_LOCAL so that several units can be loaded side by side.
  explicit UnitLibrary(const std::string& path);
  ~UnitLibrary();
  UnitLibrary(const UnitLibrary&) = delete;
  UnitLibrary& operator=(const UnitLibrary&) = delete;

#define TEST_SUPPORT_DECLARE(name) name##TYPE* name = nullptr;
  FMI2_FUNCTION_NAMES(TEST_SUPPORT_DECLARE)
#undef TEST_SUPPORT_DECLARE

  void* handle() const { return handle_; }

 private:
  void* handle_ = nullptr;
};

// The guid attribute of a generated modelDescription.xml.
std::string readGuid(const std::string& modelDescriptionPath);

// An instance created with the recording logger, the GUID from the unit's model description and
// the resources folder `resources` (a file: URI); set up and out of initialisation when
// `initialize` is true.
class UnitInstance {
 public:
  UnitInstance(UnitLibrary& library, const std::string& guid, bool initialize = true,
               const std::string& name = "instance", bool loggingOn = true,
               const std::string& resources = "file:///tmp/resources");
  ~UnitInstance();
  UnitInstance(const UnitInstance&) = delete;
  UnitInstance& operator=(const UnitInstance&) = delete;

  fmi2Component component() const { return component_; }
  MessageLog& log() { return log_; }

  double getReal(fmi2ValueReference vr);
  void setReal(fmi2ValueReference vr, double value);
  int getInteger(fmi2ValueReference vr);
  fmi2Status setInteger(fmi2ValueReference vr, int value);
  bool getBoolean(fmi2ValueReference vr);
  void setBoolean(fmi2ValueReference vr, fmi2Boolean value);
  // Steps from the instance's own communication point; returns the status.
  fmi2Status doStep(double stepSize);
  double time() const { return time_; }

  void setup();                // fmi2SetupExperiment at 0
  void exitInitialization();  // enter and exit initialisation mode

 private:
  UnitLibrary& library_;
  MessageLog log_;
  fmi2CallbackFunctions callbacks_;
  fmi2Component component_ = nullptr;
  double time_ = 0.0;
};

// A unit library loaded for a whole test suite. The first instance of a library works on the
// stored default parameters in place, so this one keeps a first instance alive and never writes
// it: every instance a test creates then works on a private copy of the defaults.
class SharedUnit {
 public:
  using RealSettings = std::vector<std::pair<fmi2ValueReference, double>>;
  enum class Stage { instantiated, setUp, initialized };

  SharedUnit(const std::string& libraryPath, const std::string& descriptionPath);

  // A new instance with `before` written right after instantiation, brought to `stage`.
  std::unique_ptr<UnitInstance> create(const RealSettings& before = {},
                                       Stage stage = Stage::initialized);

  UnitLibrary& library() { return library_; }
  const std::string& guid() const { return guid_; }

 private:
  UnitLibrary library_;
  std::string guid_;
  UnitInstance keeper_;
};

}  // namespace test_support
