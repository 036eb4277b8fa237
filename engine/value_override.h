// A value given to one component variable from outside the system (the command line's
// --start-value C.V=X, or a --parameters file whose names are component.variable). It is applied
// after the system's own bindings and checked by the same code (unknown variable, causality,
// type, declared range) before anything runs.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "engine/model_description.h"

namespace master {

struct ValueOverride {
  std::string component, variable, value;  // an empty component: a parameter connector of the system
  int line = 0;                       // in `origin` when it came from a file, else 0
  std::string origin;                 // for messages: "--start-value" or the file
  std::optional<VariableType> type;   // as a file wrote it; else the variable's own type
};

// The values of a .ssv file whose parameter names are "component.variable" (or name a
// parameter connector of the system).
std::vector<ValueOverride> readValueOverrides(const std::filesystem::path& file);

}  // namespace master
