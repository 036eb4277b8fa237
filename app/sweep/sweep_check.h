// Checks a sweep's inputs before any case runs, each refusal naming the sweep file's line:
// a component.variable (or a parameter connector of the system, named without a dot) must exist in the system, be a parameter or an input, take a value of
// its type and lie within its declared range; a master setting must be known and of its type;
// a cycle is a standard cycle's name or a readable, well-formed cycle file (relative to the sweep
// file), and a system that takes it.
#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "engine/model_description.h"
#include "engine/value_transform.h"
#include "app/sweep/sweep_cases.h"
#include "app/sweep/sweep_file.h"

namespace master::sweep {

// A component with its unit's model description; the system's own parameter connectors (a
// value bound once for every parameter they feed, such as the vehicle's mass) are the
// parameters of the one with no name.
struct SystemComponent {
  // A parameter a parameter connector of the system sets, and how its value gets there.
  struct Feed {
    std::string component, variable;
    ValueTransform transform;  // the connection's transformation and unit conversion
  };
  std::string name;
  ModelDescription description;
  // Of the one with no name: for each parameter connector, the parameters it sets.
  std::map<std::string, std::vector<Feed>> feeds;
};

// The components of a system (an .ssp archive, a folder holding SystemStructure.ssd, or an .ssd
// file) with their units' model descriptions, and the system's parameter connectors.
std::vector<SystemComponent> readComponents(const std::filesystem::path& system);

// Whether a name without a dot is one of the master settings (cycle, step, stop-time,
// start-time, output-interval) rather than a parameter of the system.
bool isMasterSetting(const std::string& name);

// Throws MasterError at the first input the system cannot take, or a results pattern that
// matches none of its outputs.
void checkInputs(const SweepFile& file, const std::vector<SystemComponent>& components);

// Throws MasterError, naming the line, where a case's value would never be used because a later
// value of the case sets all its variables again under another name (a parameter connector of
// the system and the parameters it feeds; the same name twice the sweep file refuses itself).
void checkOverrides(const SweepFile& file, const CaseSet& cases, const std::vector<SystemComponent>& components);

// The cases distinct (no two the same run), and the master settings of each case together: an
// output interval a whole multiple of the step, a stop time after the start time. Throws
// MasterError with the line and the case.
void checkCases(const SweepFile& file, const CaseSet& cases);

// "component.variable" of every output a results file can hold, in the system's order.
std::vector<std::string> outputColumns(const std::vector<SystemComponent>& components);

}  // namespace master::sweep
