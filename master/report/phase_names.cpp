#include "master/report/phase_names.h"

#include <array>
#include <vector>

namespace report {

std::string phaseName(int phase, int phaseCount) {
  static const std::array<std::vector<const char*>, 5> names = {{
      {},
      {},
      {"urban", "extra-urban"},
      {"cold transient", "stabilised", "hot transient"},
      {"low", "medium", "high", "extra-high"},
  }};
  if (phaseCount >= 0 && static_cast<std::size_t>(phaseCount) < names.size()) {
    const auto& list = names[static_cast<std::size_t>(phaseCount)];
    if (phase >= 1 && static_cast<std::size_t>(phase) <= list.size()) return list[static_cast<std::size_t>(phase - 1)];
  }
  return "phase " + std::to_string(phase);
}

}  // namespace report
