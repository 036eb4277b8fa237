// The command line's own logic: value overrides, output intervals, output patterns, the results
// file and variables.csv, and the results folder that is replaced only by a finished run.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <limits>

#include "app/cli/provenance.h"
#include "app/cli/results_folder.h"
#include "app/cli/results_writer.h"
#include "app/cli/run_options.h"
#include "app/cli/variable_selection.h"
#include "engine/error.h"
#include "formats/cycle_file/cycle_reader.h"
#include "tests/support/test_files.h"

namespace {

namespace fs = std::filesystem;
using master::MasterError;
using master_test::readAll;
using master_test::TempFolder;
namespace cli = master::cli;

TEST(CommandLine, SplitsStartValuesAndRefusesMalformedOnes) {
  const master::ValueOverride v = cli::parseValueOverride("electrical.setPoint=14.5=x");
  EXPECT_EQ(v.component, "electrical");
  EXPECT_EQ(v.variable, "setPoint");
  EXPECT_EQ(v.value, "14.5=x");
  EXPECT_EQ(cli::parseValueOverride("a.b.c=").variable, "b.c");  // an empty value is the unit's to refuse
  EXPECT_EQ(cli::parseValueOverride("vehicleMass=1500").component, "");  // a parameter of the system
  for (const char* bad : {"=1", ".b=1", "a.=1", "a.b"}) {
    EXPECT_THROW(cli::parseValueOverride(bad), MasterError) << bad;
  }
}

TEST(CommandLine, OutputIntervalMustBeAWholeMultipleOfTheStep) {
  EXPECT_EQ(cli::stepsPerOutput(0.1, 0.01), 10u);  // 0.1 / 0.01 is 9.999999999999998
  EXPECT_EQ(cli::stepsPerOutput(0.01, 0.01), 1u);
  EXPECT_EQ(cli::stepsPerOutput(3600, 0.0025), 1440000u);
  for (const double bad : {0.015, 0.005, 0.0, -0.01, std::numeric_limits<double>::infinity()}) {
    EXPECT_THROW(cli::stepsPerOutput(bad, 0.01), MasterError) << bad;
  }
}

TEST(CommandLine, CycleNamesPassAndFilesAreReadAndMadeAbsolute) {
  EXPECT_EQ(cli::cycleSetting("us06"), "us06");
  TempFolder folder;
  const fs::path file = folder.path() / "my.csv";
  std::ofstream(file) << "0,0\n1,1\n";
  std::ofstream(folder.path() / "back.csv") << "0,0\n2,1\n1,1\n";
  try {
    cli::cycleSetting((folder.path() / "back.csv").string());
    ADD_FAILURE() << "a time going back was accepted";
  } catch (const MasterError& e) {
    EXPECT_NE(std::string(e.what()).find("back.csv:3:"), std::string::npos) << e.what();
  }
  const fs::path here = fs::current_path();
  fs::current_path(folder.path());
  EXPECT_EQ(cli::cycleSetting("./my.csv"), file.string());
  fs::current_path(here);
  EXPECT_THROW(cli::cycleSetting((folder.path() / "none.csv").string()), MasterError);
  EXPECT_THROW(cli::cycleSetting(folder.path().string()), MasterError);
}

// The standard cycles as the master reads them, against their published durations and
// distances (the trapezoid of each file).
TEST(CommandLine, StandardCyclesHaveTheirPublishedDurationsAndDistances) {
  const struct {
    const char* name;
    double seconds, km;
  } cycles[] = {{"wltc", 1800, 23.266}, {"nedc", 1180, 11.013}, {"udds", 1369, 11.990},
                {"ftp75", 1874, 17.769}, {"hwfet", 765, 16.507}, {"us06", 600, 12.888}};
  for (const auto& c : cycles) {
    ASSERT_EQ(cli::cycleSetting(c.name), c.name);
    const drive_cycle::CycleReadResult read =
        drive_cycle::readCycle(fs::path(VEHICLE_CYCLES_DIR) / drive_cycle::standardCycleFile(c.name));
    ASSERT_TRUE(read.trace) << read.error;
    EXPECT_EQ(read.trace->duration(), c.seconds) << c.name;
    // To the figures' last digit (HWFET's 16.507 is 16.50649 rounded up).
    EXPECT_NEAR(read.trace->distanceKm(), c.km, 0.001) << c.name;
  }
}

TEST(OutputVariables, WildcardsMatchAnyRunOfCharacters) {
  EXPECT_TRUE(cli::matchesPattern("*", "chassis.vehicleSpeedKmh"));
  EXPECT_TRUE(cli::matchesPattern("chassis.*", "chassis.vehicleSpeedKmh"));
  EXPECT_TRUE(cli::matchesPattern("*Speed*", "chassis.vehicleSpeedKmh"));
  EXPECT_TRUE(cli::matchesPattern("*a*a*b", "xaayaab"));
  EXPECT_FALSE(cli::matchesPattern("*a*a*b", "xab"));
  EXPECT_FALSE(cli::matchesPattern("chassis.*", "powertrain.chassisTorque"));
  EXPECT_FALSE(cli::matchesPattern("speed", "speedKmh"));

  const std::vector<master::RecordedVariable> vars{{"a", "A", "x", "", ""}, {"b", "B", "x", "", ""},
                                                   {"b", "B", "y", "", ""}};
  EXPECT_EQ(cli::selectVariables(vars, {"*.y", "a.*"}), (std::vector<std::size_t>{0, 2}));
  EXPECT_THROW(cli::selectVariables(vars, {"a.*", "c.*"}), MasterError);
}

master::RunRecord record(std::size_t points) {
  master::RunRecord r;
  r.variables = {{"chassis", "TESSIK", "speed", "km/h", "vehicle speed, \"over ground\""},
                 {"powertrain", "KADMIR", "fuel", "g", "fuel used"}};
  r.columns.resize(2);
  for (std::size_t k = 0; k < points; ++k) {
    r.time.push_back(0.5 + 0.1 * static_cast<double>(k));
    r.columns[0].push_back(1.0 / 3.0 + static_cast<double>(k));
    r.columns[1].push_back(k == 1 ? 1e-300 : -0.1 * static_cast<double>(k));
  }
  return r;
}

TEST(ResultsWriter, WritesTheSelectedColumnsEveryIntervalAndTheLastPointExactly) {
  TempFolder folder;
  const fs::path file = folder.path() / "results.csv";
  const master::RunRecord r = record(6);
  cli::ResultsWriter writer(file, {"*.fuel"}, 2);
  writer.start(r);
  for (std::size_t k = 0; k < r.points(); ++k) EXPECT_EQ(writer.check(r, k), "");
  writer.finish(r);
  const std::string text = readAll(file);
  EXPECT_EQ(text.substr(0, text.find('\n')), "time,powertrain.fuel");
  // Points 0, 2, 4 and the last one, 5; every number reads back to the same double.
  std::istringstream in(text.substr(text.find('\n') + 1));
  std::string line;
  std::vector<std::size_t> points;
  while (std::getline(in, line)) {
    const std::size_t comma = line.find(',');
    const double t = std::strtod(line.c_str(), nullptr);
    const double fuel = std::strtod(line.c_str() + comma + 1, nullptr);
    std::size_t k = 0;
    while (k < r.points() && r.time[k] != t) ++k;
    ASSERT_LT(k, r.points()) << line;
    EXPECT_EQ(fuel, r.columns[1][k]);
    points.push_back(k);
  }
  EXPECT_EQ(points, (std::vector<std::size_t>{0, 2, 4, 5}));
  EXPECT_NE(text.find("\n0.7,-0.2\n"), std::string::npos) << text;  // shortest forms

  cli::writeVariablesTable(folder.path() / "variables.csv", r, writer.selected());
  EXPECT_EQ(readAll(folder.path() / "variables.csv"),
            "column,unit,description\ntime,s,communication point\npowertrain.fuel,g,fuel used\n");
  cli::writeVariablesTable(folder.path() / "all.csv", r, {0});
  EXPECT_NE(readAll(folder.path() / "all.csv").find("chassis.speed,km/h,\"vehicle speed, \"\"over ground\"\"\""),
            std::string::npos);
}

TEST(ResultsWriter, AnInterruptedRunKeepsItsRowsAsAPartialFile) {
  TempFolder folder;
  const master::RunRecord r = record(3);
  cli::ResultsWriter writer(folder.path() / "results.csv", {"*"}, 1);
  writer.start(r);
  writer.check(r, 0);
  writer.check(r, 1);
  EXPECT_EQ(writer.finishPartial(), folder.path() / "results.partial.csv");
  EXPECT_FALSE(fs::exists(folder.path() / "results.csv"));
  EXPECT_EQ(writer.rows(), 2u);
  EXPECT_EQ(readAll(folder.path() / "results.partial.csv"),
            "time,chassis.speed,powertrain.fuel\n0.5,0.3333333333333333,-0\n0.6,1.3333333333333333,1e-300\n");
}

std::size_t entries(const fs::path& folder) {
  return static_cast<std::size_t>(std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
}

TEST(ResultsFolder, OnlyAFinishedRunReplacesAnEarlierRunsFolder) {
  TempFolder folder;
  const fs::path out = folder.path() / "out";
  fs::create_directories(out);
  std::ofstream(out / "old.png") << "old";
  EXPECT_THROW(cli::ResultsFolder{out}, MasterError);  // not an earlier run's results: the user's files
  std::ofstream(out / "summary.json") << "{}";
  {
    cli::ResultsFolder results(out);
    EXPECT_EQ(results.path().parent_path(), folder.path());
    std::ofstream(results.path() / "results.csv") << "new";
    // Not committed: a failed run.
  }
  EXPECT_EQ(entries(folder.path()), 1u);
  EXPECT_EQ(readAll(out / "old.png"), "old");
  {
    cli::ResultsFolder results(out);
    std::ofstream(results.path() / "results.csv") << "new";
    results.commit();
  }
  EXPECT_EQ(entries(folder.path()), 1u);
  EXPECT_FALSE(fs::exists(out / "old.png"));
  EXPECT_EQ(readAll(out / "results.csv"), "new");
  {
    cli::ResultsFolder results(folder.path() / "fresh" / "deeper");
    results.commit();
  }
  EXPECT_TRUE(fs::is_directory(folder.path() / "fresh" / "deeper"));
}

TEST(ResultsFolder, RefusesAFileOrAnUnwritablePlaceBeforeTheRun) {
  TempFolder folder;
  std::ofstream(folder.path() / "file") << "x";
  EXPECT_THROW(cli::ResultsFolder(folder.path() / "file"), MasterError);
  EXPECT_THROW(cli::ResultsFolder(folder.path() / "file" / "out"), MasterError);
  EXPECT_THROW(cli::ResultsFolder("/proc/vehicle-sim-out"), MasterError);  // not writable, even for root
  EXPECT_EQ(readAll(folder.path() / "file"), "x");
  EXPECT_EQ(entries(folder.path()), 1u);
}

// The command in summary.json is copyable: a shell reads it back as the same words.
TEST(Provenance, TheCommandLineIsQuotedForTheShell) {
  const std::vector<std::string> words{"printf", "%s|", "plain", "two words", "it's", "$HOME", "", "a\"b", "*"};
  FILE* pipe = popen(cli::shellQuoted(words).c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  char text[200] = {};
  const std::size_t n = std::fread(text, 1, sizeof text - 1, pipe);
  pclose(pipe);
  EXPECT_EQ(std::string(text, n), "plain|two words|it's|$HOME||a\"b|*|");
  EXPECT_EQ(cli::shellQuoted({"vehicle-sim", "--cycle", "nedc", "a=1.5"}), "vehicle-sim --cycle nedc a=1.5");
}

}  // namespace
