// The co-simulation engine: runs any SSP system of FMI 2.0 Co-Simulation units. It loads the
// system (an .ssp archive, an unpacked folder or an .ssd file), checks it against the units'
// model descriptions, instantiates the units one after the other, binds the values, initialises
// them together, and steps them from the same communication point (components with declared
// direct feedthrough evaluated first, in dependency order; then every unit's step side by side
// on a pool of threads). Every output of every component at every communication point goes
// into a RunRecord, which the observers watch while the run goes on. Nothing here knows what
// the system models.
//
// The engine's conventions, which the command line, the report and the sweep rely on, are named
// in engine/conventions.h: the Real calculated parameter `duration` gives the stop time of a
// system without one, and the run ends once every Boolean output `finished` is raised. The
// names the applications agree on beyond the engine are theirs: app/vehicle_conventions.h (the
// drive cycle, the monitored signals) and app/summary_conventions.h (the keys of summary.json
// that the sweep reads).
#pragma once

#include <csignal>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/coupling.h"
#include "engine/fmu_archive.h"
#include "engine/model_description.h"
#include "engine/run_record.h"
#include "engine/step_annotation.h"
#include "engine/system_package.h"
#include "engine/system_structure.h"
#include "engine/value_override.h"

namespace master {

class FmuLibrary;

// Set asynchronously (SIGINT, SIGTERM) to end the run at the next communication point.
extern volatile std::sig_atomic_t stopRequested;

// A system read and checked against its units, nothing instantiated.
struct LoadedSystem {
  std::unique_ptr<SystemPackage> package;
  SystemStructure structure;
  std::vector<std::unique_ptr<ExtractedFmu>> archives;  // one per component
  std::vector<ModelDescription> descriptions;           // one per component
  CouplingPlan coupling;
  DeclaredStepping stepping;  // the components' own steps and the power bonds the system declares
  // Inputs of any component left unconnected and unbound, system inputs nothing supplies.
  std::vector<std::string> warnings;

  std::vector<const ModelDescription*> descriptionPointers() const;
};

// Throws MasterError on any problem with the system, its files or its units.
LoadedSystem loadSystem(const std::filesystem::path& system, const std::vector<ValueOverride>& overrides = {});
// Checks the coupling again with values from outside the system (and lists the open inputs
// again); throws MasterError on a value that cannot be bound.
void applyOverrides(LoadedSystem& system, const std::vector<ValueOverride>& overrides);

struct EngineOptions {
  std::optional<double> startTime, stopTime;  // else the system's default experiment
  double step = 0.01;                         // communication step, s
  unsigned threads = 0;                       // 0: one per core
  bool allowNonFinite = false;
  // Components with declared direct feedthrough evaluated first in dependency order; false
  // delays every connection by one communication step (plain Jacobi).
  bool feedthrough = true;
  // Groups of components step faster where the system declares them (and `groups` adds them);
  // false steps every component at `step`.
  bool multiRate = true;
  std::vector<DeclaredStepping::Group> groups;
  bool progress = true;  // on stderr, and only when it is a terminal
  bool verbose = false;  // every message of the units, not only warnings and errors
  // Called with each unit's library right after it is loaded, before any instance exists (the
  // command line's FMI call trace hooks in here).
  void (*libraryLoaded)(FmuLibrary& library) = nullptr;
  // Asked on the calling thread before each communication point; false ends the run there as
  // interrupted, as a stop signal does (an embedding's own interrupt, such as Python's Ctrl-C).
  std::function<bool()> keepGoing;
};

struct RunOutcome {
  enum class Status { ok, healthCheckFailed, nonFinite, interrupted };
  Status status = Status::ok;
  std::string message;     // why the run ended early
  double stopTime = 0.0;   // the planned stop time
  unsigned threads = 1;
  std::vector<std::string> warnings;  // about the run: a step that is no multiple of a unit's step
  std::vector<std::string> notes;     // how the system is stepped: feedthrough order and loops
};

// Runs the system and fills `record`; observers are called in order. Throws MasterError when a
// unit fails or the run cannot start, after freeing the instances.
RunOutcome runSystem(LoadedSystem& system, const EngineOptions& options, RunRecord& record,
                     const std::vector<RunObserver*>& observers);

}  // namespace master
