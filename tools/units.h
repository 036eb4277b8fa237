// The physical units that model variables may carry, with their definition in SI base units for
// the model description's UnitDefinitions.
#pragma once

#include <span>

namespace tools {

struct UnitDefinition {
  const char* name;
  // Exponents of kg, m, s, A, K, mol, cd, rad.
  int kg, m, s, A, K, mol, cd, rad;
  double factor;  // value in base units = factor * value in this unit
};

std::span<const UnitDefinition> knownUnits();

// The definition of `name`, or null for a unit the table does not know.
const UnitDefinition* findUnit(const char* name);

}  // namespace tools
