#include "master/vehicle_summary.h"

#include <algorithm>
#include <fstream>

#include "master/error.h"
#include "master/plots.h"
#include "master/summary.h"

namespace master {

namespace {

struct Signal {
  const char* unit;
  const char* variable;
};

// In the order of SummaryColumns after `time`.
constexpr Signal signals[] = {{"DriveCycle", "targetSpeedKmh"}, {"ShiftController", "gear"},
                              {"TESSIK", "vehicleSpeedKmh"},     {"KADMIR", "engineRpm"},
                              {"KADMIR", "fuelUsed"},            {"ZORVEL", "stateOfCharge"},
                              {"ZORVEL", "busVoltage"}};
constexpr Signal pedals[] = {{"Driver", "acceleratorPedal"}, {"Driver", "brakePedal"}};

}  // namespace

bool vehicleSummaryApplies(const RunRecord& record) {
  for (const Signal& s : signals) {
    if (record.find(s.unit, s.variable) == RunRecord::npos) return false;
  }
  for (const Signal& s : pedals) {
    if (record.find(s.unit, s.variable) == RunRecord::npos) return false;
  }
  return true;
}

VehicleSummaryFiles writeVehicleSummary(const RunRecord& record, const std::filesystem::path& outDir,
                                        const std::filesystem::path& csv, bool plots, std::size_t unitCount) {
  std::size_t column[std::size(signals)];
  for (std::size_t i = 0; i < std::size(signals); ++i) column[i] = record.find(signals[i].unit, signals[i].variable);
  const std::vector<double>& gears = record.columns[column[1]];
  const int gearCount = gears.empty() ? 1 : std::max(1, static_cast<int>(*std::max_element(gears.begin(), gears.end())));

  const SummaryColumns c{0, 1, 2, 3, 4, 5, 6, 7};
  SummaryAccumulator accumulator(c, 8, gearCount, record.communicationStep);
  double row[8];
  for (std::size_t k = 0; k < record.points(); ++k) {
    row[0] = record.time[k];
    for (std::size_t i = 0; i < std::size(signals); ++i) row[i + 1] = record.columns[column[i]][k];
    accumulator.add(row);
  }
  Summary s;
  accumulator.finish(s);
  s.systemFile = record.systemFile.string();
  const std::size_t cycle = record.find("DriveCycle", "targetSpeedKmh");
  const auto bound = record.boundValues.find(record.variables[cycle].component + ".cycle");
  s.cycleName = bound != record.boundValues.end() ? bound->second : "the drive cycle unit's default";
  s.unitCount = unitCount;
  s.duration = record.points() > 0 ? record.time.back() - record.time.front() : 0.0;
  s.step = record.communicationStep;
  s.fuelUnit = record.variables[column[4]].unit;
  s.wallSeconds = record.wallSeconds;

  VehicleSummaryFiles files;
  files.text = s.text();
  const std::filesystem::path file = outDir / "summary.txt";
  std::ofstream out(file);
  out << files.text;
  if (!out) throw MasterError("cannot write '" + file.string() + "'");
  if (plots) {
    auto one = [](std::size_t i) { return static_cast<int>(i) + 2; };  // 1-based, after `time`
    const PlotColumns p{1,
                        one(column[0]),
                        one(column[2]),
                        one(column[3]),
                        one(column[1]),
                        one(record.find(pedals[0].unit, pedals[0].variable)),
                        one(record.find(pedals[1].unit, pedals[1].variable)),
                        one(column[5]),
                        one(column[6]),
                        one(column[4])};
    files.plots = writePlots(csv, outDir, p, static_cast<long>(record.points()), gearCount, s.fuelUnit);
  }
  return files;
}

}  // namespace master
