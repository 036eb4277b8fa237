// The sweep file: refusals before any case runs (each naming the line), the cases a grid, a
// list and a seeded sample make, and the Slurm array indices.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "master/error.h"
#include "master/sweep/slurm_job.h"
#include "master/sweep/sweep_cases.h"
#include "master/sweep/sweep_check.h"
#include "master/sweep/sweep_file.h"
#include "master/sweep/sweep_plan.h"

namespace master::sweep {
namespace {

namespace fs = std::filesystem;

const char* const chassisDescription = R"(<?xml version="1.0" encoding="UTF-8"?>
<fmiModelDescription fmiVersion="2.0" modelName="Chassis" guid="1">
  <CoSimulation modelIdentifier="Chassis"/>
  <ModelVariables>
    <ScalarVariable name="mass" valueReference="0" causality="parameter"><Real min="500" max="5000" start="1500"/></ScalarVariable>
    <ScalarVariable name="gears" valueReference="0" causality="parameter"><Integer min="1" max="8" start="5"/></ScalarVariable>
    <ScalarVariable name="brake" valueReference="1" causality="input"><Real start="0"/></ScalarVariable>
    <ScalarVariable name="speed" valueReference="2" causality="output"><Real/></ScalarVariable>
  </ModelVariables>
</fmiModelDescription>
)";

// The chassis, and a parameter connector of the system, "load".
SystemContents system() {
  SsdConnector load;
  load.name = "load";
  load.kind = "parameter";
  load.typeGiven = true;
  return {{SystemComponent{"chassis", parseModelDescription(chassisDescription, "chassis.xml")}}, {load}};
}

// The message of the refusal of `text`, checked against the system, or "" when it is accepted.
std::string refusal(const std::string& text, bool yes = false) {
  try {
    const SweepFile file = parseSweepFile(text, "s.toml");
    checkCount(file, yes);
    checkInputs(file, system());
  } catch (const MasterError& e) {
    return e.what();
  }
  return "";
}

TEST(SweepFile, RefusesBadInputNamingTheLine) {
  EXPECT_EQ(refusal("[grid]\n\"chassis.mass\" = [1200, 1500]\n"), "");
  EXPECT_EQ(refusal("[grid]\nload = [1200, 1500]\n"), "");  // a parameter of the system
  EXPECT_EQ(refusal("[grid]\nload = [\"heavy\"]\n"), "s.toml:2: system parameter 'load' is Real and cannot take a string ('heavy')");
  EXPECT_EQ(refusal("[grid]\n\"chassis.weight\" = [1200]\n"),
            "s.toml:2: unknown variable 'weight' of component 'chassis' (unit Chassis)");
  EXPECT_EQ(refusal("[grid]\n\"body.mass\" = [1200]\n"), "s.toml:2: unknown component 'body' (the system has chassis)");
  EXPECT_EQ(refusal("[settings]\n\"chassis.speed\" = 3\n"),
            "s.toml:2: 'chassis.speed' is output: only parameters and inputs take a value");
  EXPECT_EQ(refusal("[grid]\n\"chassis.mass\" = [1200,\n \"heavy\"]\n"),
            "s.toml:3: 'chassis.mass' is Real and cannot take a string ('heavy')");
  EXPECT_EQ(refusal("[grid]\n\"chassis.gears\" = [4.5]\n"),
            "s.toml:2: 'chassis.gears' is Integer and cannot take a number ('4.5')");
  EXPECT_EQ(refusal("[grid]\nchassis.mass = [1200, 9000]\n"),
            "s.toml:2: 'chassis.mass' = 9000 is outside its declared range [500, 5000]");
  EXPECT_EQ(refusal("[sample]\ncount = 2\n[sample.ranges]\n\"chassis.mass\" = [100, 2000]\n"),
            "s.toml:4: 'chassis.mass' = 100 is outside its declared range [500, 5000]");
  EXPECT_EQ(refusal("[grid]\nstep = [0.01, -1]\n"), "s.toml:2: 'step' must be greater than 0");
  EXPECT_EQ(refusal("[grid]\ngain = [1]\n"),
            "s.toml:2: unknown master setting 'gain' (known: cycle, step, stop-time, start-time, output-interval; "
            "a component's variable is written \"component.variable\")");
  EXPECT_EQ(refusal("cycles = [\"nedc\"]\n[grid]\n\"chassis.mass\" = []\n"),
            "s.toml:3: 'chassis.mass' has no values: the grid would be empty");
  EXPECT_EQ(refusal("cycles = [\"nedc\",\n  \"cycles/none.csv\"]\n"), "s.toml:2: no cycle file 'cycles/none.csv'");
  EXPECT_EQ(refusal("[grid]\n"), "s.toml:1: [grid] lists no values: the grid would be empty");
  EXPECT_EQ(refusal("[grid]\nstep = [0.01\n").rfind("s.toml:2: ", 0), 0u) << "a syntax error";

  const std::string big = "limit = 3\n[grid]\n\"chassis.mass\" = [1000, 1100]\nstep = [0.01, 0.02]\n";
  EXPECT_EQ(refusal(big), "s.toml:1: the sweep has 4 cases, more than the limit of 3; give --yes to run them all");
  EXPECT_EQ(refusal(big, true), "");
  const std::string huge = "cycles = [\"a\", \"b\"]\n[grid]\nstep = [1,2,3,4,5,6,7,8,9,10]\nstop-time = [1,2,3,4,5,6,7,8,9,10]\n"
                           "start-time = [1,2,3,4,5,6]\n";
  EXPECT_EQ(refusal(huge), "s.toml:2: the sweep has 1200 cases, more than the limit of 1000 (the default; set 'limit' "
                           "to change it); give --yes to run them all");
}

std::vector<std::string> texts(const Case& c) {
  std::vector<std::string> out;
  for (const Assignment& a : c.inputs) out.push_back(a.name + "=" + a.value.text);
  return out;
}

TEST(SweepCases, GridListsAndSamples) {
  const CaseSet grid = expandCases(parseSweepFile(
      "cycles = [\"nedc\", \"udds\"]\n[settings]\nstop-time = 20\n[grid]\n\"chassis.mass\" = [1200, 1500.5]\n", "s.toml"));
  ASSERT_EQ(grid.cases.size(), 4u);
  EXPECT_EQ(grid.inputNames, (std::vector<std::string>{"cycle", "stop-time", "chassis.mass"}));
  EXPECT_EQ(grid.sweptNames, (std::vector<std::string>{"cycle", "chassis.mass"}));
  EXPECT_EQ(texts(grid.cases[1]), (std::vector<std::string>{"cycle=nedc", "stop-time=20", "chassis.mass=1500.5"}));
  EXPECT_EQ(texts(grid.cases[2]), (std::vector<std::string>{"cycle=udds", "stop-time=20", "chassis.mass=1200"}));

  const CaseSet list = expandCases(parseSweepFile(
      "[settings]\nstep = 0.01\n[[case]]\n\"chassis.mass\" = 1200\n[[case]]\nstep = 0.02\n", "s.toml"));
  ASSERT_EQ(list.cases.size(), 2u);
  EXPECT_EQ(texts(list.cases[1]), (std::vector<std::string>{"step=0.02"})) << "a case's own value wins";

  const std::string sampled =
      "[grid]\n\"chassis.mass\" = [1000, 1100, 1200, 1300, 1400, 1500]\n[sample]\ncount = 3\nseed = 7\n"
      "[sample.ranges]\n\"chassis.brake\" = [0, 1]\n";
  const CaseSet a = expandCases(parseSweepFile(sampled, "s.toml"));
  const CaseSet b = expandCases(parseSweepFile(sampled, "s.toml"));
  ASSERT_EQ(a.cases.size(), 3u);
  for (std::size_t k = 0; k < 3; ++k) EXPECT_EQ(texts(a.cases[k]), texts(b.cases[k])) << "the same seed, the same cases";
  EXPECT_LT(a.cases[0].inputs[0].value.number, a.cases[1].inputs[0].value.number) << "distinct grid points, in order";
  EXPECT_LT(a.cases[1].inputs[0].value.number, a.cases[2].inputs[0].value.number);
  EXPECT_NE(texts(expandCases(parseSweepFile(sampled + "", "s.toml")).cases[0]),
            texts(expandCases(parseSweepFile(std::string(sampled).replace(sampled.find("seed = 7"), 8, "seed = 8"), "s.toml")).cases[0]));
}

TEST(SweepPlan, OnlyARunThatWentToItsEndIsSkippedOnARerun) {
  const fs::path dir = fs::temp_directory_path() / ("sweep-plan-test-" + std::to_string(getpid()));
  const SweepFile file = parseSweepFile("[grid]\nstep = [0.01]\n", "s.toml");
  const Plan plan = makePlan(file, expandCases(file), dir, "/bin/true");
  const PlannedCase& c = plan.cases.front();
  EXPECT_FALSE(plan.complete(c));
  fs::create_directories(plan.caseFolder(c));
  for (const auto& [status, complete] : std::vector<std::pair<std::string, bool>>{
           {"ok", true}, {"health-check-failed", true}, {"interrupted", false}, {"error", false}}) {
    std::ofstream(plan.summaryFile(c)) << "{\"exitCode\": 0, \"status\": \"" << status << "\"}";
    EXPECT_EQ(plan.complete(c), complete) << status;
  }
  std::ofstream(plan.summaryFile(c)) << "{\"status\": \"ok\"";
  EXPECT_FALSE(plan.complete(c)) << "a summary cut short";
  fs::remove_all(dir);
}

TEST(SlurmJob, ArrayIndicesJoinRuns) {
  EXPECT_EQ(arrayIndices({0, 1, 2, 3, 5, 7, 8, 9}), "0-3,5,7-9");
  EXPECT_EQ(arrayIndices({4}), "4");
}

}  // namespace
}  // namespace master::sweep
