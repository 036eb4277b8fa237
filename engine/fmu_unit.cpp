#include "engine/fmu_unit.h"

#include <dlfcn.h>

#include <cstdlib>

#include "engine/error.h"
#include "engine/model_description.h"

namespace master {

FmuLibrary::FmuLibrary(const std::filesystem::path& file) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(file, ec)) {
    throw MasterError("the unit's binary '" + file.string() + "' is missing from its archive");
  }
  handle_ = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle_ == nullptr) {
    const char* reason = dlerror();
    throw MasterError("cannot load '" + file.string() + "': " + (reason != nullptr ? reason : "?"));
  }
#define MASTER_RESOLVE_FUNCTION(name)                                                         \
  name = reinterpret_cast<name##TYPE*>(dlsym(handle_, #name));                                \
  if (name == nullptr) {                                                                      \
    dlclose(handle_);                                                                         \
    throw MasterError("'" + file.string() + "' does not export " #name);                      \
  }
  FMI2_FUNCTION_NAMES(MASTER_RESOLVE_FUNCTION)
#undef MASTER_RESOLVE_FUNCTION
}

FmuLibrary::~FmuLibrary() { dlclose(handle_); }

namespace {

// The memory callbacks of the standard: zeroed space for `count` objects of `size` bytes (calloc
// refuses a product that overflows), and its release.
extern "C" void* allocateUnitMemory(size_t count, size_t size) { return std::calloc(count, size); }
extern "C" void freeUnitMemory(void* memory) { std::free(memory); }

}  // namespace

FmuInstance::FmuInstance(const FmuLibrary& library, const std::string& instanceName,
                         const ModelDescription& description, const std::string& resourceUri,
                         UnitLog& log)
    : library_(library), context_(std::make_unique<InstanceContext>()) {
  context_->log = &log;
  context_->instanceName = instanceName;
  // Kept for the instance's lifetime: a unit may hold on to the record.
  callbacks_.reset(new fmi2CallbackFunctions{forwardUnitMessage, allocateUnitMemory, freeUnitMemory, nullptr,
                                             context_.get()});
  component_ = library_.fmi2Instantiate(instanceName.c_str(), fmi2CoSimulation,
                                        description.guid.c_str(), resourceUri.c_str(), callbacks_.get(),
                                        fmi2False, fmi2True);
  if (component_ == nullptr) {
    std::string message = "unit '" + instanceName + "' (" + description.modelIdentifier +
                          ") could not be instantiated";
    if (!context_->lastProblem.empty()) message += ": " + context_->lastProblem;
    throw MasterError(message);
  }
}

FmuInstance::~FmuInstance() {
  if (state_ == State::fatal) return;  // the standard allows no call at all
  if (state_ == State::initialized) library_.fmi2Terminate(component_);  // owed, even to a failed run
  library_.fmi2FreeInstance(component_);
}

void FmuInstance::terminate() {
  if (state_ != State::initialized) return;
  state_ = State::terminated;
  check(library_.fmi2Terminate(component_), "fmi2Terminate");
}

void FmuInstance::fail(fmi2Status status, const char* function) {
  // After fmi2Discard from a step the instance may still be terminated; after fmi2Error only
  // freed.
  if (status == fmi2Fatal) state_ = State::fatal;
  else if (status != fmi2Discard && state_ != State::fatal) state_ = State::error;
  std::string message = "unit '" + context_->instanceName + "': " + function + " returned " +
                        statusName(status);
  if (!context_->lastProblem.empty()) message += ": " + context_->lastProblem;
  throw MasterError(message);
}

}  // namespace master
