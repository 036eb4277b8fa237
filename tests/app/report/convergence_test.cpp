// The default run's figures must not depend on the communication step: WLTC and NEDC at the
// default stepping within 0.5 % of every component at the units' fixed step of 0.0025 s, on fuel,
// distance, friction-brake energy and every phase's L/100 km. A step too coarse for the coupling
// (0.1 s) ends with exit code 2 and names the coupling error; so does controller chatter.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "tests/support/test_files.h"
#include "tests/app/report/vehicle_runs.h"

namespace {

using report_test::vehicleRun;

nlohmann::json summaryOf(const report_test::VehicleRun& run) {
  return nlohmann::json::parse(master_test::readAll(run.folder / "summary.json"));
}

void expectClose(double value, double finest, const char* what) {
  EXPECT_LT(std::abs(value - finest), 0.005 * std::abs(finest)) << what << ": " << value << " against " << finest;
}

TEST(Convergence, TheDefaultRunMatchesTheFinestStep) {
  for (const char* cycle : {"wltc", "nedc"}) {
    SCOPED_TRACE(cycle);
    const auto& byDefault = vehicleRun({"--cycle", cycle});
    const auto& finest = vehicleRun({"--cycle", cycle, "--step", "0.0025", "--output-interval", "0.01"});
    ASSERT_EQ(byDefault.exitCode, 0) << byDefault.output;
    ASSERT_EQ(finest.exitCode, 0) << finest.output;
    const nlohmann::json d = summaryOf(byDefault), f = summaryOf(finest);
    expectClose(d["fuelGrams"], f["fuelGrams"], "fuel");
    expectClose(d["distanceKm"], f["distanceKm"], "distance");
    expectClose(d["energy"]["frictionBrakesKj"], f["energy"]["frictionBrakesKj"], "friction brakes");
    ASSERT_EQ(d["phases"].size(), f["phases"].size());
    for (std::size_t p = 0; p < d["phases"].size(); ++p) {
      expectClose(d["phases"][p]["fuelLitresPer100Km"], f["phases"][p]["fuelLitresPer100Km"], "phase L/100 km");
    }
    EXPECT_TRUE(d["couplingError"]["bonds"][0]["passed"].get<bool>());
  }
}

TEST(Convergence, ACoarseStepFailsOnTheCouplingError) {
  const auto& coarse = vehicleRun({"--cycle", "nedc", "--step", "0.1", "--stop-time", "300"});
  EXPECT_EQ(coarse.exitCode, 2) << coarse.output;
  EXPECT_NE(coarse.output.find("coupling error: "), std::string::npos) << coarse.output;
  const nlohmann::json s = summaryOf(coarse);
  EXPECT_EQ(s["status"], "health-check-failed");
  EXPECT_NE(s["message"].get<std::string>().find("coupling error"), std::string::npos);
}

}  // namespace

// Every component at 0.01 s: the driver fed its target as a staircase presses both pedals for a
// tenth of the time; the report's chatter check names it, and the indicator ranks the run far
// above the default one.
TEST(Convergence, ControllerChatterFailsAndRanksTheRun) {
  const auto& everyComponent = vehicleRun({"--cycle", "nedc", "--stop-time", "300", "--coupling", "feedthrough"});
  EXPECT_EQ(everyComponent.exitCode, 2) << everyComponent.output;
  EXPECT_NE(everyComponent.output.find("controller chatter: the driver pressed both pedals"), std::string::npos)
      << everyComponent.output;
  const nlohmann::json chatter = summaryOf(everyComponent);
  EXPECT_FALSE(chatter["bothPedals"]["passed"].get<bool>());
  EXPECT_GT(chatter["bothPedals"]["share"].get<double>(), 0.05);
  const auto& byDefault = vehicleRun({"--cycle", "nedc", "--stop-time", "300"});
  ASSERT_EQ(byDefault.exitCode, 0) << byDefault.output;
  const nlohmann::json sound = summaryOf(byDefault);
  EXPECT_TRUE(sound["bothPedals"]["passed"].get<bool>());
  EXPECT_GT(chatter["couplingError"]["indicator"].get<double>(), 10 * sound["couplingError"]["indicator"].get<double>());
}
