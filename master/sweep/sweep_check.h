// Checks a sweep's inputs before any case runs, each refusal naming the sweep file's line:
// a component.variable must exist in the system, be a parameter or an input, take a value of
// its type and lie within its declared range; a name without a dot is a master setting, which
// must be known and of its type, or else a parameter connector of the system (vehicleMass);
// a cycle given as a path (relative to the sweep file) must be a file.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "master/model_description.h"
#include "master/system_structure.h"
#include "master/sweep/sweep_file.h"

namespace master::sweep {

struct SystemComponent {
  std::string name;
  ModelDescription description;
};

struct SystemContents {
  std::vector<SystemComponent> components;
  std::vector<SsdConnector> parameters;  // the system's parameter connectors
};

// The components of a system (an .ssp archive, a folder holding SystemStructure.ssd, or an .ssd
// file) with their units' model descriptions, and its parameter connectors.
SystemContents readComponents(const std::filesystem::path& system);

// Throws MasterError at the first input the system cannot take.
void checkInputs(const SweepFile& file, const SystemContents& system);

// Whether `name` is one of the master settings (cycle, step, stop-time, ...).
bool isMasterSetting(const std::string& name);

}  // namespace master::sweep
