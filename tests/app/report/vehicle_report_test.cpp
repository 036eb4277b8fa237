// The vehicle report on whole runs of WLTC class 3b and NEDC: its figures agree with each other
// (phases add up to the whole, the energy at the wheels balances, the distance is the cycle's),
// a run that left the cycle fails with its excursions named, and a coupling that oscillates is
// stopped by the monitor.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdio>
#include <fstream>

#include "app/report/vehicle_report.h"
#include "tests/support/test_files.h"
#include "tests/app/report/record_loader.h"
#include "tests/app/report/vehicle_runs.h"

namespace {

namespace fs = std::filesystem;
using master_test::readAll;
using master_test::TempFolder;

struct CycleCase {
  const char* cycle;
  std::vector<std::string> phaseNames;
};

class VehicleReport : public ::testing::TestWithParam<CycleCase> {};

TEST_P(VehicleReport, FiguresAgreeWithEachOtherAndWithTheCycle) {
  const CycleCase& c = GetParam();
  const report_test::VehicleRun& run = report_test::vehicleRun({"--cycle", c.cycle});
  ASSERT_EQ(run.exitCode, 0) << run.output;
  const master::RunRecord record = report_test::loadRecord(run.results());
  ASSERT_TRUE(report::appliesTo(record));
  TempFolder out;
  report::ReportSettings settings;
  settings.plots = false;
  const report::ReportOutcome outcome = report::writeReport(record, settings, out.path());
  std::printf("%s", outcome.summaryText.c_str());
  EXPECT_EQ(outcome.exitCode, 0) << (outcome.messages.empty() ? "" : outcome.messages[0]);

  const nlohmann::json j = nlohmann::json::parse(outcome.summaryJson);
  const double distance = j["distanceKm"], cycleDistance = j["cycleDistanceKm"], fuel = j["fuelGrams"];
  EXPECT_NEAR(distance / cycleDistance, 1.0, 0.01) << "driven against the cycle's distance";
  ASSERT_EQ(j["phases"].size(), c.phaseNames.size());
  double phaseFuel = 0.0, phaseDistance = 0.0;
  for (std::size_t i = 0; i < c.phaseNames.size(); ++i) {
    const auto& p = j["phases"][i];
    EXPECT_EQ(p["name"], c.phaseNames[i]);
    phaseFuel += p["fuelGrams"].get<double>();
    phaseDistance += p["distanceKm"].get<double>();
    const double co2 = p["co2GramsPerKm"], litres = p["fuelLitresPer100Km"];
    EXPECT_NEAR(co2 / litres, 3.17 * 0.745 * 1000.0 / 100.0, 1e-9) << "CO2 and litres from the same grams";
  }
  EXPECT_NEAR(phaseFuel, fuel, 1e-9 * fuel) << "the phases add up to the whole cycle";
  EXPECT_NEAR(phaseDistance, distance, 1e-9 * distance);
  const double litres = j["fuelLitresPer100Km"];
  EXPECT_NEAR(litres, fuel / 745.0 / distance * 100.0, 1e-9);

  // The energy at the wheels balances to 0.5 % of the traction energy: what the driveshaft
  // delivered is what drag, rolling, the brakes and the kinetic energy took.
  const auto& e = j["energy"];
  const double traction = e["tractionKj"], balance = e["balanceKj"];
  std::printf("energy balance %.3f kJ of %.1f kJ traction (%.4f %%)\n", balance, traction, balance / traction * 100.0);
  EXPECT_LT(std::fabs(balance), 0.005 * traction);
  EXPECT_GT(e["fuelKj"].get<double>(), 3.0 * traction) << "an engine-to-wheel efficiency below a third";
  EXPECT_TRUE(j["cycleFollowing"]["passed"].get<bool>());
}

// A cycle file of the user's names its phases; the report uses its names.
TEST(VehicleReportPhases, NamesComeFromTheCycleBoundToTheDriveCycle) {
  TempFolder folder;
  const fs::path cycle = folder.path() / "commute.csv";
  std::ofstream(cycle) << "time_s,speed_kmh,phase\n0,0,town\n10,36,motorway\n20,36\n";
  master::RunRecord r;
  r.time = {0.0, 10.0, 20.0};
  r.variables = {{"trip", "DriveCycle", "targetSpeedKmh", "km/h", ""},
                 {"trip", "DriveCycle", "phase", "", ""},
                 {"body", "TESSIK", "vehicleSpeedKmh", "km/h", ""},
                 {"engine", "KADMIR", "fuelUsed", "g", ""}};
  r.columns = {{0.0, 36.0, 36.0}, {1, 2, 2}, {0.0, 36.0, 36.0}, {0.0, 2.0, 5.0}};
  r.boundValues["trip.cycle"] = cycle.string();
  report::ReportSettings settings;
  settings.plots = false;
  const nlohmann::json j = nlohmann::json::parse(report::evaluateReport(r, settings).summaryJson);
  ASSERT_EQ(j["phases"].size(), 2u);
  EXPECT_EQ(j["phases"][0]["name"], "town");
  EXPECT_EQ(j["phases"][1]["name"], "motorway");
  EXPECT_DOUBLE_EQ(j["phases"][1]["fuelGrams"].get<double>(), 3.0);
  EXPECT_DOUBLE_EQ(j["phases"][1]["distanceKm"].get<double>(), 0.1);

  // A standard cycle bound by name keeps its phase names in a run that ends in its first phase.
  r.boundValues["trip.cycle"] = "nedc";
  r.columns[1] = {1, 1, 1};
  const nlohmann::json s = nlohmann::json::parse(report::evaluateReport(r, settings).summaryJson);
  ASSERT_EQ(s["phases"].size(), 1u);
  EXPECT_EQ(s["phases"][0]["name"], "urban");
}

INSTANTIATE_TEST_SUITE_P(
    Cycles, VehicleReport,
    ::testing::Values(CycleCase{"wltc", {"low", "medium", "high", "extra-high"}},
                      CycleCase{"nedc", {"urban", "extra-urban"}}),
    [](const auto& info) { return std::string(info.param.cycle); });

}  // namespace
