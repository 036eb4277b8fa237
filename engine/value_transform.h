// What happens to a value on its way from where it is written to the variable that takes it: a
// unit conversion through the SI base units (the units' factor and offset), then a connection's
// own transformation (a linear one, factor * x + offset, for Real values; a table from value to
// value for Integer and Boolean ones, a value the table does not list passing unchanged). Unit
// definitions come from a system structure's or a parameter file's <Units> and from a model
// description's <UnitDefinitions>, which write them alike.
#pragma once

#include <pugixml.hpp>

#include <array>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace master {

struct UnitDefinition {
  std::array<int, 8> exponents{};  // kg, m, s, A, K, mol, cd, rad
  double factor = 1.0, offset = 0.0;
};
using UnitTable = std::map<std::string, UnitDefinition>;

// The <Unit> elements below `units` (each with its <BaseUnit>). A unit without a <BaseUnit>
// is left out: it says nothing a conversion could use. Throws MasterError "<source>:<line>: ..."
// on an exponent or factor that does not parse.
void readUnits(const pugi::xml_node& units, std::string_view text, const std::string& source, UnitTable& out);

struct ValueTransform {
  // SI value = fromFactor * x + fromOffset; target = (SI value - toOffset) / toFactor.
  bool convertsUnit = false;
  double fromFactor = 1.0, fromOffset = 0.0, toFactor = 1.0, toOffset = 0.0;
  bool linear = false;
  double factor = 1.0, offset = 0.0;
  std::vector<std::pair<int, int>> map;  // Integer or Boolean (0/1): source -> target

  bool identity() const { return !convertsUnit && !linear && map.empty(); }
  double apply(double x) const {
    if (convertsUnit) x = (fromFactor * x + fromOffset - toOffset) / toFactor;
    if (linear) x = factor * x + offset;
    return x;
  }
  int apply(int x) const {
    for (const auto& [from, to] : map) {
      if (from == x) return to;
    }
    return x;
  }
};

// Sets `t` to convert from unit `from` to unit `to` (names as declared; either may be empty,
// which converts nothing). A unit is looked up in `fromUnits` and `toUnits` respectively.
// Throws MasterError "<context>..." when the names differ and a definition is missing or the
// base units differ.
void setUnitConversion(ValueTransform& t, const std::string& from, const UnitTable& fromUnits, const std::string& to,
                       const UnitTable& toUnits, const std::string& context);

}  // namespace master
