// Which outputs go into the results file: component.variable patterns where '*' stands for any
// run of characters (dots included), so 'chassis.*', '*.fuelUsed' and '*Speed*' all work.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "engine/run_record.h"

namespace master::cli {

bool matchesPattern(std::string_view pattern, std::string_view text);

// The indexes into record.variables of every variable that some pattern matches, in the
// record's order; throws MasterError naming a pattern that matches nothing.
std::vector<std::size_t> selectVariables(const std::vector<RecordedVariable>& variables,
                                         const std::vector<std::string>& patterns);

inline std::string columnName(const RecordedVariable& v) { return v.component + "." + v.name; }

}  // namespace master::cli
