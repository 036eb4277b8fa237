// The sweep file: refusals before any case runs (each naming the line), the cases a grid, a
// list and a seeded sample make, and the Slurm array indices.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include <filesystem>
#include <fstream>
#include <tuple>

#include "engine/error.h"
#include "app/sweep/case_runner.h"
#include "app/sweep/case_status.h"
#include "app/sweep/slurm_job.h"
#include "app/sweep/sweep_cases.h"
#include "app/sweep/sweep_check.h"
#include "app/sweep/sweep_file.h"
#include "app/sweep/sweep_plan.h"

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

// The chassis, and a parameter connector of the system, as readComponents gives them.
std::vector<SystemComponent> system() {
  SystemComponent own;
  ModelVariable mass;
  mass.name = "vehicleMass";
  mass.variability = "fixed";
  mass.causality = Causality::parameter;
  own.description.variables.push_back(mass);
  own.description.index();
  own.feeds["vehicleMass"] = {{"chassis", "mass", {}}};
  return {SystemComponent{"chassis", parseModelDescription(chassisDescription, "chassis.xml"), {}}, std::move(own)};
}

// The message of the refusal of `text`, checked against the system, or "" when it is accepted.
std::string refusal(const std::string& text, bool yes = false) {
  try {
    const SweepFile file = parseSweepFile(text, "s.toml");
    checkCount(file, yes);
    const std::vector<SystemComponent> components = system();
    checkInputs(file, components);
    const CaseSet cases = expandCases(file);
    checkCases(file, cases);
    checkOverrides(file, cases, components);
  } catch (const MasterError& e) {
    return e.what();
  }
  return "";
}

TEST(SweepFile, RefusesBadInputNamingTheLine) {
  EXPECT_EQ(refusal("[grid]\n\"chassis.mass\" = [1200, 1500]\n"), "");
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
            "s.toml:2: unknown master setting 'gain' (known: cycle, step, stop-time, start-time, output-interval), "
            "nor a parameter connector of the system; a component's variable is written \"component.variable\"");
  EXPECT_EQ(refusal("[grid]\nvehicleMass = [1200, 1800]\n"), "");
  EXPECT_EQ(refusal("[grid]\nvehicleMass = [1200, 9000]\n"),
            "s.toml:2: 'vehicleMass' = 9000 sets chassis.mass to 9000, outside its declared range [500, 5000]");
  EXPECT_EQ(refusal("[grid]\nvehicleMass = [true]\n"), "s.toml:2: 'vehicleMass' is Real and cannot take true or false ('true')");
  EXPECT_EQ(refusal("cycles = [\"nedc\"]\n[grid]\n\"chassis.mass\" = []\n"),
            "s.toml:3: 'chassis.mass' has no values: the grid would be empty");
  EXPECT_EQ(refusal("cycles = [\"NEDC\",\n  \"nedcc\"]\n").rfind("s.toml:2: the cycle 'nedcc' is no standard cycle, nor a cycle file: "
                                                     "cannot read drive cycle '" + fs::absolute("nedcc").string() + "': ", 0),
            0u);
  EXPECT_EQ(refusal("cycles = [\"nedc\"]\n"),
            "s.toml:1: the sweep gives cycles, but the system has no drive cycle component (unit DriveCycle)");
  EXPECT_EQ(refusal("[grid]\nstep = [0.01, 0.02]\n[results]\ninterval = 0.03\n"),
            "s.toml:4: the output interval 0.029999999999999999 s is not a whole multiple of the step 0.02 s (case 1)");
  EXPECT_EQ(refusal("[settings]\nstart-time = 5\n[grid]\nstop-time = [10, 5]\n"),
            "s.toml:4: the stop time 5 s is not after the start time 5 s (case 1)");
  EXPECT_EQ(refusal("[grid]\n"), "s.toml:1: [grid] lists no values: the grid would be empty");
  EXPECT_EQ(refusal("[results]\nvariables = [\"chassis.s*\",\n  \"body.*\"]\n"),
            "s.toml:3: the results pattern 'body.*' matches no output of the system");
  EXPECT_EQ(refusal("[results]\ninterval = 0\n"), "s.toml:2: 'interval' must be greater than 0");
  EXPECT_EQ(refusal("[grid]\nstep = [0.01\n").rfind("s.toml:2: ", 0), 0u) << "a syntax error";
  // A value that would never be used: the same variable twice in one table, or in two places one
  // of which always wins.
  EXPECT_EQ(refusal("[grid]\n\"chassis.mass\" = [1200]\n[grid.chassis]\nmass = [1400]\n"),
            "s.toml:4: 'chassis.mass' is given twice here (also on line 2)");
  EXPECT_EQ(refusal("[settings]\n\"chassis.mass\" = 1000\n[grid]\n\"chassis.mass\" = [1200]\n"),
            "s.toml:4: 'chassis.mass' is set in [grid] and in [settings] (line 2), whose value would never be used");
  EXPECT_EQ(refusal("[grid]\n\"chassis.mass\" = [1200]\n[sample]\ncount = 1\n[sample.ranges]\n\"chassis.mass\" = [900, 1000]\n"),
            "s.toml:6: 'chassis.mass' is set in [sample.ranges] and in [grid] (line 2), whose value would never be used");
  // The system's vehicleMass feeds chassis.mass: a value set again under the other name later.
  EXPECT_EQ(refusal("[settings]\n\"chassis.mass\" = 1000\n[grid]\nvehicleMass = [1200, 1800]\n"),
            "s.toml:4: 'vehicleMass' sets again what 'chassis.mass' (line 2) sets, in case 0: the value of line 2 "
            "would never be used");
  EXPECT_EQ(refusal("[grid]\nvehicleMass = [1200]\n\"chassis.mass\" = [1300, 1400]\n"),
            "s.toml:3: 'chassis.mass' sets again what 'vehicleMass' (line 2) sets, in case 0: the value of line 2 "
            "would never be used");
  EXPECT_EQ(refusal("[settings]\nvehicleMass = 1000\n[[case]]\n\"chassis.mass\" = 1200\n[[case]]\nstep = 0.02\n"), "");
  EXPECT_EQ(refusal("[grid]\nstep = [0.01]\n\"\" = [1200]\n"), "s.toml:3: an empty name (\"\") names no variable");
  EXPECT_EQ(refusal("[[case]]\nchassis.\"\" = 1200\n"), "s.toml:2: an empty name (\"\") names no variable");
  EXPECT_EQ(refusal("cycles = [\"nedc\"]\n[settings]\ncycle = \"udds\"\n"),
            "s.toml:3: [settings] names a cycle while 'cycles' runs every case on each");
  EXPECT_EQ(refusal("[settings]\n\"chassis.mass\" = 1000\n[[case]]\n\"chassis.mass\" = 1200\n[[case]]\nstep = 0.02\n"), "")
      << "a case may set what [settings] gives the others";
  EXPECT_EQ(refusal("[grid]\n\"chassis.mass\" = [1200,\n  1300, 1200.0]\nstep = [0.01]\n"),
            "s.toml:3: case 2 is the same run as case 0 (chassis.mass=1200, step=0.01): give each value once");

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

TEST(CaseStatus, TheLatestAttemptDecidesAndOnlyOkIsDone) {
  const fs::path dir = fs::temp_directory_path() / ("sweep-plan-test-" + std::to_string(getpid()));
  const SweepFile file = parseSweepFile("[grid]\nstep = [0.01]\n", "s.toml");
  const Plan plan = makePlan(file, expandCases(file), dir, "/bin/true", "chassis.speed");
  const PlannedCase& c = plan.cases.front();
  EXPECT_EQ(readCaseState(plan, c).status, CaseStatus::notRun);
  fs::create_directories(plan.caseFolder(c));
  fs::create_directories(plan.logFile(c).parent_path());
  auto summary = [&](const std::string& status, int code) {
    std::ofstream(plan.summaryFile(c)) << "{\"exitCode\": " << code << ", \"status\": \"" << status
                                       << "\", \"message\": \"m\"}";
  };
  auto exitFile = [&](int code) { std::ofstream(plan.exitFile(c)) << code << "\n"; };
  for (const auto& [status, code, expected] : std::vector<std::tuple<std::string, int, CaseStatus>>{
           {"ok", 0, CaseStatus::ok}, {"health-check-failed", 2, CaseStatus::healthCheckFailed},
           {"interrupted", 130, CaseStatus::interrupted}, {"error", 1, CaseStatus::error}}) {
    fs::remove(plan.exitFile(c));
    summary(status, code);
    EXPECT_EQ(readCaseState(plan, c).status, expected) << status << " without an exit file (a Slurm task cut short)";
    exitFile(code);
    EXPECT_EQ(readCaseState(plan, c).status, expected) << status;
    EXPECT_EQ(caseDone(plan, c), expected == CaseStatus::ok) << status;
  }
  summary("ok", 0);
  std::ofstream(plan.logFile(c)) << "vehicle-sim: killed\n";
  exitFile(137);
  const CaseState later = readCaseState(plan, c);
  EXPECT_EQ(later.status, CaseStatus::error) << "a later attempt, killed, left the earlier ok folder";
  EXPECT_EQ(later.message, "vehicle-sim: killed");
  fs::remove(plan.summaryFile(c));
  exitFile(0);
  EXPECT_EQ(readCaseState(plan, c).status, CaseStatus::error) << "exit 0 without a summary";
  exitFile(143);
  EXPECT_EQ(readCaseState(plan, c).status, CaseStatus::interrupted) << "SIGTERM";
  std::ofstream(plan.summaryFile(c)) << "{\"status\": \"ok\"";
  fs::remove(plan.exitFile(c));
  EXPECT_EQ(readCaseState(plan, c).status, CaseStatus::notRun) << "a summary cut short";
  fs::remove_all(dir);

  StatusCounts counts;
  counts[CaseStatus::ok] = 3;
  EXPECT_EQ(counts.exitCode(), 0);
  counts[CaseStatus::healthCheckFailed] = 1;
  EXPECT_EQ(counts.exitCode(), 2);
  EXPECT_EQ(counts.text(), "3 ok, 1 health check failed, 0 error, 0 interrupted, 0 not run");
  for (const CaseStatus s : {CaseStatus::error, CaseStatus::interrupted, CaseStatus::notRun}) {
    StatusCounts more = counts;
    ++more[s];
    EXPECT_EQ(more.exitCode(), 1) << statusName(s);
  }
}

// Case 1 cannot be started (its log file is a folder) while case 0 runs: the sweep stops case 0,
// waits for it and gives the signal handlers back before it reports the failure.
TEST(CaseRunner, ASpawnFailureStopsAndWaitsForTheRunningCases) {
  const fs::path dir = fs::temp_directory_path() / ("sweep-runner-test-" + std::to_string(getpid()));
  fs::create_directories(dir);
  const fs::path script = dir / "case.sh";
  std::ofstream(script) << "#!/bin/sh\nexec sleep 30\n";
  fs::permissions(script, fs::perms::owner_all);
  const SweepFile file = parseSweepFile("[grid]\nstep = [0.01, 0.02]\n", "s.toml");
  const Plan plan = makePlan(file, expandCases(file), dir, script.string(), "chassis.speed");
  fs::create_directories(plan.logFile(plan.cases[1]));

  struct sigaction mine {}, now {};
  mine.sa_handler = [](int) {};
  sigemptyset(&mine.sa_mask);
  sigaction(SIGINT, &mine, nullptr);
  EXPECT_THROW(runLocal(plan, 2, false), MasterError);
  errno = 0;
  EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1) << "a case outlived the sweep";
  EXPECT_EQ(errno, ECHILD);
  EXPECT_EQ(readCaseState(plan, plan.cases[0]).status, CaseStatus::interrupted) << "case 0 was stopped and recorded";
  sigaction(SIGINT, nullptr, &now);
  EXPECT_EQ(now.sa_handler, mine.sa_handler) << "the handlers before the sweep are back";
  signal(SIGINT, SIG_DFL);
  fs::remove_all(dir);
}

TEST(SlurmJob, ArraysRespectMaxArraySize) {
  EXPECT_EQ(parseMaxArraySize("Configuration data as of 2026-12-08T12:00:00\nMailProg                = /bin/mail\n"
                              "MaxArraySize            = 300\nMaxJobCount             = 10000\n"),
            300u);
  EXPECT_EQ(parseMaxArraySize("MaxJobCount = 10000\n"), 0u);
  std::vector<std::size_t> cases(1000);
  for (std::size_t i = 0; i < cases.size(); ++i) cases[i] = 3 * i;
  const auto arrays = splitArrays(cases, 300);
  ASSERT_EQ(arrays.size(), 4u);
  EXPECT_EQ(arrays[3].size(), 100u);
  EXPECT_EQ(arrays[1].front(), 900u);
  EXPECT_EQ(arrays[3].back(), 2997u);
}

}  // namespace
}  // namespace master::sweep
