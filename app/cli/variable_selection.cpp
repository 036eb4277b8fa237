#include "app/cli/variable_selection.h"

#include "engine/error.h"

namespace master::cli {

bool matchesPattern(std::string_view pattern, std::string_view text) {
  // Greedy matching with one point to come back to: the last '*' seen absorbs one more
  // character whenever the rest fails to match.
  std::size_t p = 0, t = 0, star = std::string_view::npos, resume = 0;
  while (t < text.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      resume = t;
    } else if (p < pattern.size() && pattern[p] == text[t]) {
      ++p;
      ++t;
    } else if (star != std::string_view::npos) {
      p = star + 1;
      t = ++resume;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

std::vector<std::size_t> selectVariables(const std::vector<RecordedVariable>& variables,
                                         const std::vector<std::string>& patterns) {
  std::vector<bool> used(patterns.size(), false);
  std::vector<std::size_t> selected;
  for (std::size_t i = 0; i < variables.size(); ++i) {
    const std::string name = columnName(variables[i]);
    bool any = false;
    for (std::size_t p = 0; p < patterns.size(); ++p) {
      if (matchesPattern(patterns[p], name)) any = used[p] = true;
    }
    if (any) selected.push_back(i);
  }
  for (std::size_t p = 0; p < patterns.size(); ++p) {
    if (!used[p]) {
      throw MasterError("--output-variables '" + patterns[p] + "' matches no output of the system " +
                        "(see 'vehicle-sim info')");
    }
  }
  return selected;
}

}  // namespace master::cli
