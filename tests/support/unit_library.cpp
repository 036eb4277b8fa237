#include "tests/support/unit_library.h"

#include <cstdio>
#include <fstream>
#include <sstream>

namespace test_support {

bool MessageLog::contains(const std::string& text) const {
  for (const LoggedMessage& m : messages) {
    if (m.message.find(text) != std::string::npos) return true;
  }
  return false;
}

void recordingLogger(fmi2ComponentEnvironment env, fmi2String instanceName, fmi2Status status,
                     fmi2String category, fmi2String message, ...) {
  auto* log = static_cast<MessageLog*>(env);
  if (log == nullptr) return;
  log->messages.push_back({instanceName != nullptr ? instanceName : "", status,
                           category != nullptr ? category : "", message != nullptr ? message : ""});
}

UnitLibrary::UnitLibrary(const std::string& path) {
  handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle_ == nullptr) throw std::runtime_error("cannot load " + path + ": " + dlerror());
#define TEST_SUPPORT_RESOLVE(name)                                                    \
  name = reinterpret_cast<name##TYPE*>(dlsym(handle_, #name));                        \
  if (name == nullptr) throw std::runtime_error(path + " does not export " #name);
  FMI2_FUNCTION_NAMES(TEST_SUPPORT_RESOLVE)
#undef TEST_SUPPORT_RESOLVE
}

UnitLibrary::~UnitLibrary() {
  if (handle_ != nullptr) dlclose(handle_);
}

std::string readGuid(const std::string& modelDescriptionPath) {
  std::ifstream in(modelDescriptionPath);
  if (!in) throw std::runtime_error("cannot read " + modelDescriptionPath);
  std::stringstream text;
  text << in.rdbuf();
  const std::string xml = text.str();
  const std::string key = "guid=\"";
  const std::size_t begin = xml.find(key);
  const std::size_t end = begin == std::string::npos ? begin : xml.find('"', begin + key.size());
  if (end == std::string::npos) throw std::runtime_error("no guid in " + modelDescriptionPath);
  return xml.substr(begin + key.size(), end - begin - key.size());
}

UnitInstance::UnitInstance(UnitLibrary& library, const std::string& guid, bool initialize,
                           const std::string& name, bool loggingOn,
                           const std::string& resources)
    : library_(library),
      callbacks_{recordingLogger, nullptr, nullptr, nullptr, &log_} {
  component_ = library_.fmi2Instantiate(name.c_str(), fmi2CoSimulation, guid.c_str(),
                                        resources.c_str(), &callbacks_, fmi2False,
                                        loggingOn ? fmi2True : fmi2False);
  if (component_ == nullptr) throw std::runtime_error("fmi2Instantiate returned NULL");
  if (initialize) {
    setup();
    exitInitialization();
  }
}

UnitInstance::~UnitInstance() {
  if (component_ != nullptr) library_.fmi2FreeInstance(component_);
}

void UnitInstance::setup() {
  if (library_.fmi2SetupExperiment(component_, fmi2False, 0.0, 0.0, fmi2False, 0.0) != fmi2OK) {
    throw std::runtime_error("fmi2SetupExperiment failed");
  }
}

void UnitInstance::exitInitialization() {
  library_.fmi2EnterInitializationMode(component_);
  library_.fmi2ExitInitializationMode(component_);
}

double UnitInstance::getReal(fmi2ValueReference vr) {
  double value = 0.0;
  if (library_.fmi2GetReal(component_, &vr, 1, &value) != fmi2OK) {
    throw std::runtime_error("fmi2GetReal failed for " + std::to_string(vr));
  }
  return value;
}

void UnitInstance::setReal(fmi2ValueReference vr, double value) {
  if (library_.fmi2SetReal(component_, &vr, 1, &value) != fmi2OK) {
    throw std::runtime_error("fmi2SetReal failed for " + std::to_string(vr));
  }
}

int UnitInstance::getInteger(fmi2ValueReference vr) {
  int value = 0;
  if (library_.fmi2GetInteger(component_, &vr, 1, &value) != fmi2OK) {
    throw std::runtime_error("fmi2GetInteger failed for " + std::to_string(vr));
  }
  return value;
}

fmi2Status UnitInstance::setInteger(fmi2ValueReference vr, int value) {
  return library_.fmi2SetInteger(component_, &vr, 1, &value);
}

bool UnitInstance::getBoolean(fmi2ValueReference vr) {
  fmi2Boolean value = fmi2False;
  if (library_.fmi2GetBoolean(component_, &vr, 1, &value) != fmi2OK) {
    throw std::runtime_error("fmi2GetBoolean failed for " + std::to_string(vr));
  }
  return value == fmi2True;
}

void UnitInstance::setBoolean(fmi2ValueReference vr, fmi2Boolean value) {
  if (library_.fmi2SetBoolean(component_, &vr, 1, &value) != fmi2OK) {
    throw std::runtime_error("fmi2SetBoolean failed for " + std::to_string(vr));
  }
}

fmi2Status UnitInstance::doStep(double stepSize) {
  const fmi2Status status = library_.fmi2DoStep(component_, time_, stepSize, fmi2True);
  time_ += stepSize;
  return status;
}

SharedUnit::SharedUnit(const std::string& libraryPath, const std::string& descriptionPath)
    : library_(libraryPath), guid_(readGuid(descriptionPath)), keeper_(library_, guid_, false, "keeper") {}

std::unique_ptr<UnitInstance> SharedUnit::create(const RealSettings& before, Stage stage) {
  auto u = std::make_unique<UnitInstance>(library_, guid_, false);
  for (const auto& [vr, value] : before) u->setReal(vr, value);
  if (stage != Stage::instantiated) u->setup();
  if (stage == Stage::initialized) u->exitInitialization();
  return u;
}

}  // namespace test_support
