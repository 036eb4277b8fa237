// The step check's parts: the ladder of steps from the chosen one down to the finest, the
// comparison of the runs' summaries and its verdict, the sweep file's check-step and the
// tolerance as the command line takes it. The runs themselves: sweep_test.sh check-step.
#include <gtest/gtest.h>

#include "engine/error.h"
#include "app/sweep/check_step.h"
#include "app/sweep/step_comparison.h"
#include "app/sweep/step_ladder.h"
#include "app/sweep/sweep_file.h"

namespace master::sweep {
namespace {

using Group = DeclaredStepping::Group;
using nlohmann::json;

std::vector<double> steps(const std::vector<StepLevel>& ladder) {
  std::vector<double> out;
  for (const StepLevel& l : ladder) out.push_back(l.step);
  return out;
}

TEST(StepLadder, HalvesEveryStepWhileAWholeMultipleOfTheFinest) {
  const std::vector<Group> vehicle{{{"cycle", "driver"}, 0.0025}, {{"powertrain", "chassis"}, 0.0025}};
  const std::vector<StepLevel> ladder = stepLadder(0.01, vehicle, {}, 0.0025);
  EXPECT_EQ(steps(ladder), (std::vector<double>{0.01, 0.005, 0.0025}));
  EXPECT_TRUE(ladder[0].groups.empty()) << "the system's own groups, unchanged, go without --group";
  EXPECT_EQ(ladder[0].faster.size(), 2u);
  EXPECT_TRUE(ladder[2].faster.empty()) << "the finest runs every component at the finest step";
  // 0.00625 s is no whole multiple of 0.0025 s: from 0.0125 s straight to the finest.
  EXPECT_EQ(steps(stepLadder(0.05, {}, {}, 0.0025)), (std::vector<double>{0.05, 0.025, 0.0125, 0.0025}));
  EXPECT_EQ(steps(stepLadder(0.0025, vehicle, {}, 0.0025)), std::vector<double>{0.0025});
  EXPECT_EQ(steps(stepLadder(0.001, vehicle, {}, 0.0025)), std::vector<double>{0.001});

  // A declared group at 0.005 s halves with the step (given again as --group once it changes);
  // the user's own group goes with every run, and takes its component out of the declared one.
  const std::vector<StepLevel> groups = stepLadder(0.02, {{{"a", "b"}, 0.005}}, {{{"b"}, 0.01}}, 0.0025);
  EXPECT_EQ(steps(groups), (std::vector<double>{0.02, 0.01, 0.005, 0.0025}));
  ASSERT_EQ(groups[0].groups.size(), 1u);
  EXPECT_EQ(groupArgument(groups[0].groups[0]), "b=0.01");
  ASSERT_EQ(groups[1].groups.size(), 2u);
  EXPECT_EQ(groupArgument(groups[1].groups[0]), "a,b=0.0025");
  EXPECT_EQ(groupArgument(groups[1].groups[1]), "b=0.005");
  ASSERT_EQ(groups[1].faster.size(), 2u);
  EXPECT_EQ(groups[1].faster[0].components, std::vector<std::string>{"a"});
  EXPECT_EQ(groups[2].faster.size(), 2u) << "a and b at 0.0025 s, the finest";

  EXPECT_EQ(finestDeclaredStep({0.0025, 0.01, 0.0}, {{{"a"}, 0.00125}}), 0.00125);
  EXPECT_EQ(finestDeclaredStep({0.0}, {}), 0.0);
}

json summary(double fuel, double brakes, double share, bool phase = true) {
  json j{{"fuelGrams", fuel},
         {"fuelLitresPer100Km", fuel / 2},
         {"distanceKm", 1.5},
         {"energy", {{"frictionBrakesKj", brakes}}},
         {"couplingError", {{"bonds", json::array({{{"effort", "p.torque"}, {"flow", "c.speed"}, {"share", share}}})}}}};
  j["phases"] = json::array();
  if (phase) j["phases"].push_back({{"name", "low"}, {"fuelLitresPer100Km", fuel / 2}});
  return j;
}

TEST(StepComparison, TheChosenRunAgainstTheFinest) {
  const std::vector<std::string> columns{"0.01 s", "0.005 s", "0.0025 s"};
  // The coupling error (50 % against 1 %) is shown but decides nothing; the middle run neither.
  const std::vector<json> runs{summary(10.04, 50, 0.5), summary(11, 50, 0.02), summary(10, 50, 0.01)};
  StepComparison c = compareRuns(columns, runs, 0.005, "The step 0.01 s");
  EXPECT_TRUE(c.converged) << c.table;
  EXPECT_EQ(c.verdict, "The step 0.01 s is converged within 0.5 %: its figures lie at most 0.40 % (L/100 km low) from the "
                       "finest run's (0.0025 s)");
  EXPECT_NE(c.table.find("  fuel (g)                      10.04 (+0.40 %)   11 (+10.00 %)    10\n"), std::string::npos) << c.table;
  EXPECT_NE(c.table.find("coupling error p.torque (%)   50 "), std::string::npos) << c.table;

  c = compareRuns(columns, runs, 0.003, "The step 0.01 s");
  EXPECT_FALSE(c.converged);
  EXPECT_EQ(c.verdict.rfind("The step 0.01 s is NOT converged within 0.3 %: fuel (g) +0.40 %, L/100 km +0.40 %, L/100 km "
                            "low +0.40 % against", 0), 0u) << c.verdict;

  // Against a reference of 0, any other value is a difference; a figure of one run only too.
  c = compareRuns({"a", "b"}, {summary(10, 1, 0), summary(10, 0, 0)}, 0.005, "A");
  EXPECT_EQ(c.verdict, "A is NOT converged within 0.5 %: friction brakes (kJ) n/a against the finest run's (b)");
  c = compareRuns({"a", "b"}, {summary(10, 1, 0, false), summary(10, 1, 0)}, 0.005, "A");
  EXPECT_EQ(c.verdict, "A is NOT converged within 0.5 %: L/100 km low present in one run only against the finest run's (b)");
  EXPECT_THROW(compareRuns({"a", "b"}, {json{{"exitCode", 0}}, json{{"exitCode", 0}}}, 0.005, "A"), MasterError);
}

TEST(StepCheck, TheSweepFileAndTheToleranceAsGiven) {
  EXPECT_FALSE(parseSweepFile("check-step = false\n", "s.toml").checkStep);
  const SweepFile on = parseSweepFile("limit = 5\ncheck-step = true\n", "s.toml");
  ASSERT_TRUE(on.checkStep);
  EXPECT_EQ(on.checkStep->caseIndex, 0u);
  EXPECT_EQ(on.checkStep->line, 2);
  const SweepFile table = parseSweepFile("[check-step]\ncase = 3\ntolerance = 0.01\n", "s.toml");
  ASSERT_TRUE(table.checkStep);
  EXPECT_EQ(table.checkStep->caseIndex, 3u);
  EXPECT_EQ(table.checkStep->tolerance, 0.01);
  auto refusal = [](const char* text) {
    try {
      parseSweepFile(text, "s.toml");
    } catch (const MasterError& e) {
      return std::string(e.what());
    }
    return std::string();
  };
  EXPECT_EQ(refusal("check-step = 1\n"), "s.toml:1: 'check-step' must be true, false or a table (case, tolerance)");
  EXPECT_EQ(refusal("[check-step]\nwhich = 1\n"), "s.toml:2: unknown key 'which' in [check-step] (case, tolerance)");
  EXPECT_EQ(refusal("[check-step]\ntolerance = -1\n"), "s.toml:2: 'tolerance' must be a share of at least 0 (0.005 is 0.5 %)");

  EXPECT_EQ(parseTolerance("0.5%"), 0.005);
  EXPECT_EQ(parseTolerance("0.01"), 0.01);
  EXPECT_THROW(parseTolerance("0.5 %"), MasterError);
  EXPECT_THROW(parseTolerance("-1"), MasterError);
  EXPECT_THROW(parseTolerance(""), MasterError);
}

}  // namespace
}  // namespace master::sweep
