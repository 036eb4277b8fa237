// What a unit's built model description says about its variables: name, value reference, type
// and causality, so that a test that drives the built library names the variables it uses.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "fmi/fmi2_abi.h"

namespace test_support {

// One scalar variable of a model description.
struct Variable {
  std::string name;  // array elements as name[1], name[2], ...
  fmi2ValueReference vr;
  std::string causality;  // "input", "output", "parameter", ...
  std::string type;       // "Real", "Integer", "Boolean", "String"
};

struct Catalogue {
  std::string guid;
  std::vector<Variable> variables;

  // The number of value references of a type (they are numbered from 0 without gaps).
  uint32_t count(const std::string& type) const;
  std::vector<fmi2ValueReference> references(const std::string& type,
                                             const std::string& causality) const;
  // The value reference of the variable called `name`; throws when there is none.
  fmi2ValueReference reference(const std::string& name) const;
};

Catalogue readCatalogue(const std::string& modelDescriptionPath);

// The catalogue of a model description, read on first use and kept for the process.
const Catalogue& describedVariables(const std::string& modelDescriptionPath);

}  // namespace test_support
