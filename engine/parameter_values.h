// Parameter values as a system binds them: a <ParameterSet> (written inline in a .ssd or as a
// .ssv file of its own) read into typed values, each with the file and line it came from. The
// structure is checked here; whether a component has the variable, and whether it may take the
// value, is checked where the values are bound (coupling.h).
#pragma once

#include <pugixml.hpp>

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/model_description.h"
#include "engine/value_transform.h"

namespace master {

struct ParameterValue {
  std::string name;
  VariableType type = VariableType::real;
  std::string text;    // the value as written
  double real = 0.0;   // Real
  int integer = 0;     // Integer, and 0/1 for a Boolean
  std::string file;    // where it was written, for messages
  int line = 0;
  std::string unit;    // of a Real, as written; empty when none is given
  std::optional<UnitDefinition> unitDefinition;  // from the file's own <Units>, when it defines it

  // "<file>:<line>: ", or "<origin>: " for a value from the command line (line 0).
  std::string where() const { return line > 0 ? file + ":" + std::to_string(line) + ": " : file + ": "; }
};

// Parses `text` as a value of `type` into `out` (real, integer or the text of a String);
// false when it is not a valid value of that type.
bool parseValueText(VariableType type, const std::string& text, ParameterValue& out);

// The values of a <ParameterSet> element of a document parsed from `text` (for line numbers).
// Throws MasterError "<source>:<line>: ..." when the set is not well formed: a missing version
// or name, a parameter without a name or with other than one value element, a value that does
// not parse, a type this engine does not bind (Enumeration, Binary). A Real's unit is looked up
// in the set's own <Units>.
std::vector<ParameterValue> readParameterSet(const pugi::xml_node& set, std::string_view text,
                                             const std::string& source);

// The text of a .ssv file, named `source` in messages: its root must be a <ParameterSet>.
std::vector<ParameterValue> parseParameterValues(std::string_view text, const std::string& source);
// A .ssv file.
std::vector<ParameterValue> readParameterValuesFile(const std::filesystem::path& file);

}  // namespace master
