#include "app/report/phase_names.h"

#include <array>
#include <filesystem>
#include <string_view>

#include "app/vehicle_conventions.h"
#include "formats/cycle_file/cycle_reader.h"

namespace report {

namespace {

// The phases of the standard cycles, by the file a standard name stands for (as the project's
// copies of the cycles name them).
struct StandardPhases {
  const char* file;
  std::vector<std::string> names;
};

std::vector<std::string> standardPhaseNames(const std::string& name) {
  static const std::array<StandardPhases, 3> standard = {{
      {"wltc-class3b.csv", {"low", "medium", "high", "extra-high"}},
      {"nedc.csv", {"urban", "extra-urban"}},
      {"ftp75.csv", {"cold-transient", "stabilised", "hot-transient"}},
  }};
  const char* file = drive_cycle::standardCycleFile(name);
  if (file == nullptr) return {};
  for (const StandardPhases& s : standard) {
    if (std::string_view(s.file) == file) return s.names;
  }
  return {};
}

}  // namespace

std::vector<std::string> cycleFilePhaseNames(const VehicleSignals& s) {
  if (s.record == nullptr || s.cycleComponent.empty()) return {};
  const auto bound = s.record->boundValues.find(s.cycleComponent + "." + master::conventions::cycleParameter);
  if (bound == s.record->boundValues.end()) return {};
  const std::filesystem::path file(bound->second);
  // A standard name is known whole, also when the run ends before the cycle's last phase.
  if (!file.is_absolute()) return standardPhaseNames(bound->second);
  const drive_cycle::CycleReadResult read = drive_cycle::readCycle(file);
  return read.trace ? read.trace->phaseNames : std::vector<std::string>{};
}

std::string phaseName(int phase, int phaseCount, const std::vector<std::string>& fileNames) {
  if (phase >= 1 && static_cast<std::size_t>(phase) <= fileNames.size()) return fileNames[static_cast<std::size_t>(phase - 1)];
  static const std::array<std::vector<const char*>, 5> standard = {{
      {},
      {},
      {"urban", "extra-urban"},
      {"cold-transient", "stabilised", "hot-transient"},
      {"low", "medium", "high", "extra-high"},
  }};
  if (phaseCount >= 0 && static_cast<std::size_t>(phaseCount) < standard.size()) {
    const auto& list = standard[static_cast<std::size_t>(phaseCount)];
    if (phase >= 1 && static_cast<std::size_t>(phase) <= list.size()) return list[static_cast<std::size_t>(phase - 1)];
  }
  return "phase " + std::to_string(phase);
}

}  // namespace report
