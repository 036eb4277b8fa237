// vehicle-sim run as a user runs it: every option shapes the results as it says; every bad
// input ends with exit code 1, one line on stderr and the output folder as it was; an
// interrupted run (SIGINT or SIGTERM) ends with 130, keeps its rows as results.partial.csv
// without touching a complete earlier run, and leaves no temporary folder behind; so does a
// run whose standard output is closed under it.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

#include "tests/support/test_files.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using master_test::readAll;
using master_test::TempFolder;

// One vehicle-sim process working in `cwd` (default `folder`), with stdout, stderr and TMPDIR in
// `folder`, so that the units it unpacks can be seen to go.
class Process {
 public:
  // `stdoutFd`: a descriptor for the standard output instead of the file "stdout".
  Process(const fs::path& folder, std::vector<std::string> args, const fs::path& cwd = {}, int stdoutFd = -1)
      : folder_(folder) {
    fs::create_directories(tmp());
    args.insert(args.begin(), {VEHICLE_SIM, "--no-progress"});
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> env{"TMPDIR=" + tmp().string()};
    for (char** e = environ; *e != nullptr; ++e) {
      if (std::string_view(*e).substr(0, 7) != "TMPDIR=") env.emplace_back(*e);
    }
    std::vector<char*> envp;
    for (std::string& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (stdoutFd >= 0) {
      posix_spawn_file_actions_adddup2(&actions, stdoutFd, 1);
    } else {
      posix_spawn_file_actions_addopen(&actions, 1, (folder / "stdout").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    }
    posix_spawn_file_actions_addopen(&actions, 2, (folder / "stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const fs::path here = fs::current_path();
    fs::current_path(cwd.empty() ? folder : cwd);
    if (posix_spawn(&pid_, VEHICLE_SIM, &actions, nullptr, argv.data(), envp.data()) != 0) pid_ = -1;
    fs::current_path(here);
    posix_spawn_file_actions_destroy(&actions);
  }
  int wait() {
    int status = 0;
    if (pid_ <= 0 || waitpid(pid_, &status, 0) != pid_) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  void signal(int number) const { kill(pid_, number); }
  std::string out() const { return readAll(folder_ / "stdout"); }
  std::string err() const { return readAll(folder_ / "stderr"); }
  fs::path tmp() const { return folder_ / "tmp"; }

 private:
  fs::path folder_;
  pid_t pid_ = -1;
};

struct Result {
  int status;
  std::string out, err;
  bool tmpEmpty;
};

Result vehicleSim(const fs::path& folder, const std::vector<std::string>& args, const fs::path& cwd = {}) {
  Process p(folder, args, cwd);
  const int status = p.wait();
  return {status, p.out(), p.err(), fs::is_empty(p.tmp())};
}

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

std::vector<std::vector<std::string>> csv(const fs::path& file) {
  std::vector<std::vector<std::string>> rows;
  for (const std::string& line : lines(readAll(file))) {
    std::vector<std::string> fields;
    std::istringstream in(line);
    for (std::string f; std::getline(in, f, ',');) fields.push_back(f);
    rows.push_back(fields);
  }
  return rows;
}

// Every entry under `folder` with its contents, to see that nothing changed.
std::string snapshot(const fs::path& folder) {
  std::string s;
  for (const auto& e : fs::recursive_directory_iterator(folder)) {
    s += e.path().string() + "\n";
    if (e.is_regular_file()) s += readAll(e.path()) + "\n";
  }
  return s;
}

TEST(VehicleSimOptions, ShapeTheResultsTheLogAndTheTrace) {
  TempFolder folder;
  const Result r = vehicleSim(folder.path(), {"--stop-time", "2", "--step", "0.02", "--output-interval", "0.1",
                                              "--output-variables", "chassis.*", "*.fuelUsed", "--output-file",
                                              "sub/r.csv", "--start-value", "electrical.voltageSetpoint=13.5",
                                              "--threads", "1", "--no-plots", "--log-level", "info", "--log-file",
                                              "run.log", "--fmi-log", "--output-dir", "out"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(r.tmpEmpty);
  const fs::path out = folder.path() / "out";
  const auto table = csv(out / "sub" / "r.csv");
  ASSERT_EQ(table.size(), 22u);  // the header, then 0, 0.1, ..., 2
  EXPECT_EQ(table[0].front(), "time");
  for (std::size_t c = 1; c < table[0].size(); ++c) {
    EXPECT_TRUE(table[0][c].rfind("chassis.", 0) == 0 || table[0][c] == "powertrain.fuelUsed") << table[0][c];
  }
  EXPECT_NE(std::find(table[0].begin(), table[0].end(), "powertrain.fuelUsed"), table[0].end());
  for (std::size_t k = 1; k < table.size(); ++k) {
    EXPECT_NEAR(std::stod(table[k][0]), 0.1 * static_cast<double>(k - 1), 1e-12);
  }
  EXPECT_EQ(table[4][0], "0.3") << "the decimal time, not 0.30000000000000004";
  const std::string variables = readAll(out / "variables.csv");
  EXPECT_EQ(lines(variables).size(), table[0].size() + 1);
  EXPECT_NE(variables.find("\nchassis.vehicleSpeedKmh,km/h,"), std::string::npos) << variables;
  EXPECT_FALSE(fs::exists(out / "speed.png"));
  EXPECT_NE(readAll(out / "summary.json").find("\"results\": \"sub/r.csv\""), std::string::npos);

  // The start value reached the unit, every call is traced, the units' messages are logged and
  // none of it is on the terminal.
  const std::string log = readAll(folder.path() / "run.log");
  EXPECT_NE(log.find("[fmi] electrical: fmi2SetReal(vr={0}, nvr=1, value={13.5}) -> OK"), std::string::npos);
  EXPECT_NE(log.find("[fmi] shift: fmi2DoStep(currentCommunicationPoint=1.98, communicationStepSize=0.02, "
                     "noSetFMUStatePriorToCurrentPoint=true) -> OK"),
            std::string::npos);
  EXPECT_NE(log.find("info: [driver]"), std::string::npos);
  EXPECT_EQ(r.err.find("[fmi]"), std::string::npos);
  EXPECT_NE(r.out.find("Results: " + (out / "sub" / "r.csv").string()), std::string::npos) << r.out;
}

TEST(VehicleSimOptions, WriteResultsToStandardOutputOrAnyFile) {
  TempFolder folder;
  const Result r = vehicleSim(folder.path(), {"--cycle", "nedc", "--stop-time", "1", "--output-interval", "0.5",
                                              "--output-variables", "cycle.targetSpeedKmh", "--output-file", "-",
                                              "--output-dir", "out"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "time,cycle.targetSpeedKmh\n0,0\n0.5,0\n1,0\n");
  EXPECT_NE(r.err.find("Results: standard output"), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(folder.path() / "out" / "results.csv"));
  EXPECT_TRUE(fs::exists(folder.path() / "out" / "variables.csv"));

  // A file outside the output folder, values from a parameter file, nothing on the terminal.
  std::ofstream(folder.path() / "mine.ssv")
      << "<ssv:ParameterSet xmlns:ssv=\"http://ssp-standard.org/SSP1/SystemStructureParameterValues\" "
         "version=\"1.0\" name=\"mine\"><ssv:Parameters><ssv:Parameter name=\"electrical.voltageSetpoint\">"
         "<ssv:Real value=\"13.25\"/></ssv:Parameter></ssv:Parameters></ssv:ParameterSet>\n";
  const fs::path file = folder.path() / "elsewhere.csv";
  const Result q = vehicleSim(folder.path(), {"--stop-time", "1", "--output-interval", "0.5", "--output-variables",
                                              "cycle.targetSpeedKmh", "--output-file", file.string(), "--parameters",
                                              "mine.ssv", "--quiet", "--fmi-log", "--log-file", "run.log",
                                              "--output-dir", "out"});
  ASSERT_EQ(q.status, 0) << q.err;
  EXPECT_EQ(q.out, "");
  EXPECT_EQ(readAll(file), "time,cycle.targetSpeedKmh\n0,0\n0.5,0\n1,0\n");
  EXPECT_NE(readAll(folder.path() / "out" / "summary.json").find("\"results\": \"" + file.string() + "\""),
            std::string::npos);
  EXPECT_NE(readAll(folder.path() / "run.log").find("electrical: fmi2SetReal(vr={0}, nvr=1, value={13.25})"),
            std::string::npos);
}

// Other separators, a speed unit, comments, a repeated time stamp, a start other than 0; the
// run ends at the end of the cycle. Runs of seconds with jumps in the target pass the coupling
// error's default even at the units' fixed step (0.28 % and 0.21 % here).
TEST(VehicleSimOptions, RunCycleFilesOfEveryForm) {
  TempFolder folder;
  std::ofstream(folder.path() / "mph.csv") << "# a test trace\nt;v (mph)\n5;0\n7;10\n7;20 # a step\n9;20\n";
  std::ofstream(folder.path() / "plain.tsv") << "0\t0\n1\t36\n2\t36\n";
  const Result r = vehicleSim(folder.path(), {"--cycle", "mph.csv", "--output-interval", "1", "--output-variables",
                                              "cycle.targetSpeedKmh", "--output-dir", "a", "--no-plots",
                                              "--coupling-error-limit", "0.005"});
  ASSERT_EQ(r.status, 0) << r.err;
  const auto a = csv(folder.path() / "a" / "results.csv");
  ASSERT_EQ(a.size(), 6u);  // 0 to 4 s
  const double mph = 1.609344;
  EXPECT_EQ(a[5][0], "4");
  EXPECT_NEAR(std::stod(a[2][1]), 5 * mph, 1e-9);
  EXPECT_NEAR(std::stod(a[3][1]), 20 * mph, 1e-9);
  const Result t = vehicleSim(folder.path(), {"--cycle", "plain.tsv", "--output-interval", "0.5", "--output-variables",
                                              "cycle.targetSpeedKmh", "--output-dir", "b", "--no-plots",
                                              "--coupling-error-limit", "0.005"});
  ASSERT_EQ(t.status, 0) << t.err;
  const auto b = csv(folder.path() / "b" / "results.csv");
  ASSERT_EQ(b.size(), 6u);
  EXPECT_EQ(b[2][1], "18");

  // A column that names no phase is said and read by nothing; a phase at standstill gets no
  // figure per km.
  std::ofstream(folder.path() / "grade.csv") << "time_s,speed_kmh,grade\n0,0,0\n10,20,1.5\n20,0,0\n";
  const Result g = vehicleSim(folder.path(), {"--cycle", "grade.csv", "--output-variables", "cycle.phase",
                                              "--output-interval", "10", "--output-dir", "g", "--no-plots"});
  ASSERT_EQ(g.status, 0) << g.err;
  EXPECT_NE(g.err.find("grade.csv:2: column 3 ('grade') is ignored"), std::string::npos) << g.err;
  EXPECT_EQ(readAll(folder.path() / "g" / "results.csv"), "time,cycle.phase\n0,0\n10,0\n20,0\n");
  std::ofstream(folder.path() / "stand.csv") << "time_s,speed_kmh,phase\n0,0,stand\n20,0,go\n30,30\n50,0\n";
  const Result d = vehicleSim(folder.path(), {"--cycle", "stand.csv", "--output-dir", "d", "--no-plots"});
  ASSERT_EQ(d.status, 0) << d.err;
  const std::size_t stand = d.out.find("    stand               0.000 km");
  EXPECT_EQ(d.out.find(" g  no figures per km below 0.1 km\n", stand), stand + 42) << d.out;
  EXPECT_NE(readAll(folder.path() / "d" / "summary.json").find("\"fuelLitresPer100Km\": null"), std::string::npos);
}

TEST(VehicleSimOptions, InfoListsComponentsAndVariables) {
  TempFolder folder;
  const Result all = vehicleSim(folder.path(), {"info"});
  ASSERT_EQ(all.status, 0) << all.err;
  for (const char* c : {"cycle: DriveCycle", "shift: ShiftController", "driver: Driver", "powertrain: KADMIR",
                        "chassis: TESSIK", "electrical: ZORVEL"}) {
    EXPECT_NE(all.out.find(c), std::string::npos) << c;
  }
  const Result fuel = vehicleSim(folder.path(), {"info", "*.fuelUsed"});
  ASSERT_EQ(fuel.status, 0) << fuel.err;
  ASSERT_EQ(lines(fuel.out).size(), 3u) << fuel.out;
  EXPECT_NE(fuel.out.find("fuelUsed  output     continuous   Real"), std::string::npos) << fuel.out;
  const Result unit = vehicleSim(folder.path(), {"info", VEHICLE_FMU_DIR "/DriveCycle.fmu", "cycle"});
  ASSERT_EQ(unit.status, 0) << unit.err;
  ASSERT_EQ(lines(unit.out).size(), 3u) << unit.out;
  EXPECT_NE(lines(unit.out)[2].find("parameter  fixed        String        wltc   the trace"), std::string::npos)
      << unit.out;
  const Result none = vehicleSim(folder.path(), {"info", "*.nothing"});
  EXPECT_EQ(none.status, 1);
  EXPECT_EQ(lines(none.err).size(), 1u) << none.err;
}

TEST(VehicleSimOptions, VersionHelpAndUsageErrors) {
  TempFolder folder;
  const Result v = vehicleSim(folder.path(), {"--version"});
  EXPECT_EQ(v.status, 0);
  EXPECT_EQ(v.out.rfind("vehicle-sim 1.0", 0), 0u) << v.out;
  const Result h = vehicleSim(folder.path(), {"--help"});
  EXPECT_EQ(h.status, 0);
  for (const char* text : {"--output-interval", "--step FLOAT=0.01", "Examples:", "Exit codes: 0", "130 interrupted"}) {
    EXPECT_NE(h.out.find(text), std::string::npos) << text;
  }
  const Result u = vehicleSim(folder.path(), {"--no-such-option"});
  EXPECT_EQ(u.status, 1);
  EXPECT_EQ(lines(u.err).size(), 1u) << u.err;
}

TEST(VehicleSimBadInput, ExitsWithOneLineAndLeavesTheOutputFolderAsItWas) {
  TempFolder folder;
  const fs::path f = folder.path();
  fs::create_directories(f / "out");
  std::ofstream(f / "out" / "results.csv") << "an older run\n";
  std::ofstream(f / "out" / "summary.json") << "{}\n";
  std::ofstream(f / "a-file") << "not a folder\n";
  const std::pair<const char*, const char*> cycles[] = {
      {"empty.csv", ""},
      {"header-only.csv", "time_s,speed_kmh\n"},
      {"one-row.csv", "0,0\n"},
      {"malformed.csv", "0,0\n1,fast\n"},
      {"fields.csv", "0;0\n1,5\n"},
      {"unit.csv", "time,speed[furlong]\n0,0\n1,1\n"},
      {"furlong.csv", "time,speed_furlong\n0,0\n1,1\n"},
      {"back.csv", "0,0\n2,5\n1,5\n"},
      {"negative.csv", "0,0\n1,-3\n"},
      {"nan.csv", "0,0\n1,nan\n"},
      {"inf.csv", "0,0\n1,inf\n"}};
  for (const auto& [name, text] : cycles) std::ofstream(f / name) << text;
  fs::create_directories(f / "folder.csv");

  const std::vector<std::pair<std::vector<std::string>, std::string>> cases{
      {{"--cycle", "missing.csv"}, "cannot read drive cycle 'missing.csv': No such file"},
      {{"--cycle", "folder.csv"}, "is a folder"},
      {{"--cycle", "/proc/self/mem"}, "/proc/self/mem: cannot read the file"},
      {{"--cycle", "empty.csv"}, "empty.csv: the file is empty"},
      {{"--cycle", "header-only.csv"}, "header-only.csv: a drive cycle needs at least two rows"},
      {{"--cycle", "one-row.csv"}, "one-row.csv: a drive cycle needs at least two rows"},
      {{"--cycle", "malformed.csv"}, "malformed.csv:2: malformed speed 'fast'"},
      {{"--cycle", "fields.csv"}, "fields.csv:2: expected a time and a speed separated by ';'"},
      {{"--cycle", "unit.csv"}, "unit.csv:1: unknown speed unit"},
      {{"--cycle", "furlong.csv"}, "furlong.csv:1: unknown speed unit in the header column 'speed_furlong'"},
      {{"--cycle", "back.csv"}, "back.csv:3: the time goes back"},
      {{"--cycle", "negative.csv"}, "negative.csv:2: the speed -3 is negative"},
      {{"--cycle", "nan.csv"}, "nan.csv:2: the speed nan is not finite"},
      {{"--cycle", "inf.csv"}, "inf.csv:2: the speed inf is not finite"},
      {{"--start-value", "chassis.noSuchVariable=1"}, "has no variable 'noSuchVariable'"},
      {{"--start-value", "noSuchComponent.x=1"}, "the system has no component 'noSuchComponent'"},
      {{"--start-value", "chassis.vehicleSpeedKmh=1"}, "the unit's variable is output"},
      {{"--start-value", "shift.gearCount=1.5"}, "'1.5' is not a valid Integer value"},
      {{"--start-value", "shift.gearCount=99"}, "99 is outside the declared range [0, 8]"},
      {{"--start-value", "chassis=1"}, "the system has no parameter connector 'chassis'"},
      {{"--output-interval", "0.015"}, "is not a whole multiple of the step 0.01 s"},
      {{"--start-time", "0.5"}, "fmi2SetupExperiment returned Error: Only start time 0"},  // the units' limit
      {{"--step", "300000"}, "fmi2DoStep returned Error"},
      {{"--start-time", "10"}, "the stop time 1 s lies before the start time 10 s"},  // the engine's own check  // a unit refuses a call while the run goes
      {{"--output-variables", "chassis.nothing*"}, "'chassis.nothing*' matches no output"},
      {{"--output-file", "../beside.csv"}, "a name inside the output folder, an absolute path or -"},
      {{"--step", "-1"}, "--step must be a positive time"},
      {{"--output-dir", "a-file"}, "the output folder 'a-file' is a file"},
      {{"--output-dir", "."}, "holds files but no results of an earlier run"},
      {{"--output-dir", "a-file/out"}, "cannot create the folder"},
      {{"--output-dir", "/proc/vehicle-sim-out"}, "cannot write into '/proc'"},
      {{"--log-file", "folder.csv"}, "cannot open the log file 'folder.csv'"},
  };
  const std::string before = snapshot(f);
  for (const auto& [args, expected] : cases) {
    std::vector<std::string> a{"--stop-time", "1"};
    if (args.front() != "--output-dir") a.insert(a.end(), {"--output-dir", "out"});
    a.insert(a.end(), args.begin(), args.end());
    const Result r = vehicleSim(f / "run", a, f);
    SCOPED_TRACE(args.back());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(lines(r.err).size(), 1u) << r.err;
    EXPECT_NE(r.err.find(expected), std::string::npos) << r.err;
    EXPECT_TRUE(r.tmpEmpty);
    fs::remove_all(f / "run");
    EXPECT_EQ(snapshot(f), before);
  }
}

// The default output folder is named after the system file, not after the name inside its .ssd;
// one that holds another system's results is replaced only with --force.
TEST(VehicleSimOutputFolder, IsNamedAfterTheSystemFileAndKeepsAnotherSystemsResults) {
  TempFolder folder;
  const fs::path f = folder.path();
  const fs::path stock = fs::path(VEHICLE_FMU_DIR) / ".." / "vehicle.ssp";
  fs::create_directories(f / "other");
  for (const fs::path& copy : {f / "vehicle.ssp", f / "my_vehicle.ssp", f / "other" / "vehicle.ssp"}) {
    fs::copy_file(stock, copy);
  }
  const std::vector<std::string> run{"--stop-time", "1", "--no-plots", "--output-variables", "cycle.*"};
  auto with = [&](std::vector<std::string> front) {
    front.insert(front.end(), run.begin(), run.end());
    return front;
  };
  ASSERT_EQ(vehicleSim(f / "a", with({"vehicle.ssp"}), f).status, 0);
  ASSERT_EQ(vehicleSim(f / "b", with({"my_vehicle.ssp"}), f).status, 0);
  EXPECT_NE(readAll(f / "out" / "vehicle" / "summary.json").find((f / "vehicle.ssp").string()), std::string::npos);
  EXPECT_NE(readAll(f / "out" / "my_vehicle" / "summary.json").find((f / "my_vehicle.ssp").string()),
            std::string::npos);

  const std::string before = snapshot(f / "out");
  const Result refused = vehicleSim(f / "c", with({"other/vehicle.ssp"}), f);
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.err.find("holds the results of another system, '" + (f / "vehicle.ssp").string() +
                             "': give --force to replace them, or --output-dir"),
            std::string::npos)
      << refused.err;
  EXPECT_EQ(snapshot(f / "out"), before);
  ASSERT_EQ(vehicleSim(f / "d", with({"other/vehicle.ssp", "--force"}), f).status, 0);
  EXPECT_NE(readAll(f / "out" / "vehicle" / "summary.json").find((f / "other" / "vehicle.ssp").string()),
            std::string::npos);
}

// A run of seconds: the report says in one line why it has no plots, leaves no plot file, and
// its notes name what the run shows (the fuel rate at standstill), not a parameter it never had.
TEST(VehicleSimReport, AShortRunSkipsThePlotsAndNamesTheCauseOfItsNotes) {
  TempFolder folder;
  const Result r = vehicleSim(folder.path(), {"--stop-time", "5", "--output-dir", "out"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("\n  plots               skipped: the run drove 0.000 km; the plots need at least 0.2 km\n"),
            std::string::npos) << r.out;
  EXPECT_EQ(r.err, "");
  for (const auto& e : fs::directory_iterator(folder.path() / "out")) EXPECT_NE(e.path().extension(), ".svg");
  EXPECT_EQ(r.out.find("negative mass"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("the negative fuel rate while the engine stands still"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("(kJ; each flow an amount the way its name says"), std::string::npos);
}

// A run whose plots gnuplot cannot draw keeps its report without them, with a warning; a report
// file that cannot be written fails the run. `gnuplot` is a stand-in first in PATH.
TEST(VehicleSimReport, APlotFailureCostsThePlotsAndAWriteFailureTheRun) {
  TempFolder folder;
  const fs::path bin = folder.path() / "bin";
  fs::create_directories(bin);
  const std::string path = std::getenv("PATH");
  setenv("PATH", (bin.string() + ":" + path).c_str(), 1);
  auto gnuplot = [&](const std::string& body) {
    std::ofstream(bin / "gnuplot") << "#!/bin/sh\n" << body << "\n";
    fs::permissions(bin / "gnuplot", fs::perms::owner_all);
  };
  gnuplot("echo 'line 3: boom' >&2; exit 1");
  const Result failed = vehicleSim(folder.path(), {"--stop-time", "120", "--output-dir", "plots"});
  EXPECT_EQ(failed.status, 0) << failed.err;
  EXPECT_NE(failed.err.find("the report goes without plots: gnuplot failed on report-plots.gp: line 3: boom"),
            std::string::npos) << failed.err;
  EXPECT_TRUE(fs::is_regular_file(folder.path() / "plots" / "report.html"));
  for (const auto& e : fs::directory_iterator(folder.path() / "plots")) EXPECT_NE(e.path().extension(), ".svg");

  // gnuplot draws, but report.html cannot be written (a folder stands in its place).
  gnuplot("sed -n \"s/^set output '\\(.*\\)'$/\\1/p\" \"$1\" | while read -r f; do echo '<svg/>' >\"$f\"; done\n"
          "mkdir report.html");
  const Result unwritable = vehicleSim(folder.path(), {"--stop-time", "120", "--output-dir", "html"});
  setenv("PATH", path.c_str(), 1);
  EXPECT_EQ(unwritable.status, 1) << unwritable.err;
  EXPECT_NE(unwritable.err.find("report.html'"), std::string::npos) << unwritable.err;
  EXPECT_EQ(unwritable.err.find("without plots"), std::string::npos) << unwritable.err;
}

// The temporary results folders (".NAME.running-XXXXXX") beside the output folders in `folder`.
std::size_t temporaryFolders(const fs::path& folder) {
  std::size_t n = 0;
  for (const auto& e : fs::directory_iterator(folder)) n += e.path().filename().string()[0] == '.';
  return n;
}

// Interrupted while it runs: waits until the results file in the temporary folder has rows. With
// `earlierRun`, the output folder holds a complete run, which must stay as it was: the partial
// results go beside it.
void interrupt(int signalNumber, bool earlierRun) {
  TempFolder folder;
  const fs::path out = folder.path() / "out";
  std::string before;
  if (earlierRun) {
    ASSERT_EQ(vehicleSim(folder.path(), {"--stop-time", "1", "--output-dir", "out"}).status, 0);
    before = snapshot(out);
  }
  Process p(folder.path(), {"--no-plots", "--output-dir", "out"});
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  bool running = false;
  while (!running && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    for (const auto& e : fs::directory_iterator(folder.path())) {
      const fs::path results = e.path() / "results.csv";
      std::error_code ec;
      if (e.path().filename().string().rfind(".out.running-", 0) != 0) continue;
      const std::uintmax_t size = fs::file_size(results, ec);
      running = !ec && size > 100000;
    }
  }
  ASSERT_TRUE(running);
  p.signal(signalNumber);
  EXPECT_EQ(p.wait(), 130) << p.err();
  const fs::path partial = earlierRun ? folder.path() / "out.partial" : out;
  EXPECT_NE(p.err().find("the results are PARTIAL: " + (partial / "results.partial.csv").string()), std::string::npos)
      << p.err();
  EXPECT_GT(lines(readAll(partial / "results.partial.csv")).size(), 10u);
  EXPECT_FALSE(fs::exists(partial / "results.csv"));
  EXPECT_NE(readAll(partial / "summary.txt").find("INTERRUPTED"), std::string::npos);
  const std::string json = readAll(partial / "summary.json");
  EXPECT_NE(json.find("\"status\": \"interrupted\""), std::string::npos) << json;
  EXPECT_NE(json.find("\"partial\": true"), std::string::npos) << json;
  if (earlierRun) {
    EXPECT_EQ(snapshot(out), before) << "the complete run was changed";
    EXPECT_NE(p.err().find("the complete run in " + out.string() + " is kept as it was"), std::string::npos);
  }
  EXPECT_TRUE(fs::is_empty(p.tmp()));
  EXPECT_EQ(temporaryFolders(folder.path()), 0u) << "a temporary results folder was left";
}

TEST(VehicleSimInterrupted, BySigintKeepsACompleteRunAndPutsThePartialOneBeside) { interrupt(SIGINT, true); }
TEST(VehicleSimInterrupted, BySigtermKeepsACompleteRunAndPutsThePartialOneBeside) { interrupt(SIGTERM, true); }
TEST(VehicleSimInterrupted, IntoAFreshFolderKeepsThePartialFileThere) { interrupt(SIGINT, false); }

// `vehicle-sim --output-file - | head`: the reader goes away, the run ends as an error and
// removes its temporary folders.
TEST(VehicleSimExitPaths, ABrokenPipeOnStandardOutputLeavesNoTemporaryFolder) {
  TempFolder folder;
  int pipeFds[2];
  ASSERT_EQ(pipe2(pipeFds, O_CLOEXEC), 0);
  Process p(folder.path(), {"--output-file", "-", "--no-plots", "--output-dir", "out"}, {}, pipeFds[1]);
  close(pipeFds[1]);
  char head[4096];
  EXPECT_GT(read(pipeFds[0], head, sizeof head), 0);
  close(pipeFds[0]);
  EXPECT_EQ(p.wait(), 1) << p.err();
  EXPECT_NE(p.err().find("cannot write the results to standard output: Broken pipe"), std::string::npos) << p.err();
  EXPECT_TRUE(fs::is_empty(p.tmp()));
  EXPECT_EQ(temporaryFolders(folder.path()), 0u);
  EXPECT_FALSE(fs::exists(folder.path() / "out"));
}

}  // namespace
