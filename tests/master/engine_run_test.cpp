// The whole NEDC through the packaged units, run by vehicle-sim as a user runs it, and the
// ways a run must fail: a bad cycle, a step the units cannot take, a missing or damaged
// archive, a GUID mismatch, a bad connection and a unit that refuses a call.
#include <gtest/gtest.h>
#include <zip.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>

#include "master/model_description.h"
#include "tests/master/test_files.h"

namespace {

namespace fs = std::filesystem;
using master_test::readAll;
using master_test::TempFolder;

struct RunResult {
  int status = -1;
  std::string output;  // stdout and stderr
};

std::string quoted(const std::string& s) {
  std::string out = "'";
  for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

// Runs vehicle-sim with the arguments; `environment` is prefixed to the command (NAME=value).
RunResult vehicleSim(const std::vector<std::string>& args, const std::string& environment = "") {
  std::string command = environment + " " + quoted(VEHICLE_SIM) + " --no-progress";
  for (const std::string& a : args) command += " " + quoted(a);
  command += " 2>&1";
  RunResult r;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return r;
  char buffer[4096];
  std::size_t n = 0;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) r.output.append(buffer, n);
  const int status = pclose(pipe);
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

struct Table {
  std::vector<std::string> names;
  std::vector<std::vector<double>> columns;

  const std::vector<double>& operator[](const std::string& name) const {
    for (std::size_t i = 0; i < names.size(); ++i) {
      if (names[i] == name) return columns[i];
    }
    throw std::runtime_error("no column " + name);
  }
  std::size_t rows() const { return columns.empty() ? 0 : columns[0].size(); }
};

Table readTable(const fs::path& file) {
  std::ifstream in(file);
  Table t;
  std::string line, field;
  std::getline(in, line);
  std::istringstream header(line);
  while (std::getline(header, field, ',')) t.names.push_back(field);
  t.columns.resize(t.names.size());
  while (std::getline(in, line)) {
    const char* p = line.c_str();
    for (auto& column : t.columns) {
      char* end = nullptr;
      column.push_back(std::strtod(p, &end));
      p = *end == ',' ? end + 1 : end;
    }
  }
  return t;
}

double startValue(const std::string& unit, const std::string& name) {
  const master::ModelDescription md =
      master::readModelDescription(fs::path(VEHICLE_FMU_DIR) / unit / "modelDescription.xml");
  return std::stod(*md.find(name)->start);
}

// The checks of one whole-cycle run; each test process would otherwise run the NEDC again.
void expectFinite(const Table& t) {
  for (std::size_t c = 0; c < t.names.size(); ++c) {
    for (std::size_t r = 0; r < t.rows(); ++r) {
      ASSERT_TRUE(std::isfinite(t.columns[c][r])) << t.names[c] << " at row " << r;
    }
  }
}

void expectFollowing(const Table& t) {
  const auto& target = t["targetSpeedKmh"];
  const auto& actual = t["chassis.vehicleSpeedKmh"];
  const auto& time = t["time"];
  double squares = 0.0, worst = 0.0;
  std::size_t at = 0;
  for (std::size_t r = 0; r < target.size(); ++r) {
    const double e = actual[r] - target[r];
    squares += e * e;
    if (std::fabs(e) > std::fabs(worst)) {
      worst = e;
      at = r;
    }
  }
  const double rms = std::sqrt(squares / static_cast<double>(target.size()));
  std::printf("speed error: RMS %.3f km/h, largest %+.3f km/h at t = %.2f s (target %.2f km/h)\n", rms, worst,
              time[at], target[at]);
  testing::Test::RecordProperty("rmsSpeedErrorKmh", std::to_string(rms));
  testing::Test::RecordProperty("maxSpeedErrorKmh", std::to_string(worst));
  testing::Test::RecordProperty("worstTimeS", std::to_string(time[at]));
  EXPECT_LT(rms, 1.0);
  EXPECT_LT(std::fabs(worst), 2.5);
}

void expectEngineInsideItsMaps(const Table& t) {
  const auto& rpm = t["powertrain.engineRpm"];
  const auto& speed = t["chassis.vehicleSpeedKmh"];
  double lowestWhileDriving = 1e9;
  for (std::size_t r = 0; r < rpm.size(); ++r) {
    ASSERT_GE(rpm[r], 0.0) << "row " << r;
    ASSERT_LE(rpm[r], 6500.0) << "row " << r;
    // Without idle control the engine runs down at a stop; while driving the gear keeps it in
    // the maps.
    if (speed[r] > 10.0) lowestWhileDriving = std::min(lowestWhileDriving, rpm[r]);
  }
  EXPECT_GE(lowestWhileDriving, 500.0);
}

void expectChargeWithinItsLimits(const Table& t) {
  const double lower = startValue("ZORVEL", "chargeLowerPercent");
  const double upper = startValue("ZORVEL", "chargeUpperPercent");
  for (double soc : t["electrical.stateOfCharge"]) {
    ASSERT_GE(soc, lower);
    ASSERT_LE(soc, upper);
  }
}

TEST(NedcRun, FollowsTheCycleWithinThePhysicalLimitsAndRepeatsBitForBit) {
  TempFolder folder;
  const fs::path out = folder.path() / "a";
  const RunResult run = vehicleSim({"--out", out.string(), "--no-plots"});
  ASSERT_EQ(run.status, 0) << run.output;
  std::cout << run.output;
  EXPECT_NE(run.output.find("Results: " + (out / "results.csv").string()), std::string::npos);
  EXPECT_NE(run.output.find("Summary: " + (out / "summary.txt").string()), std::string::npos);
  EXPECT_NE(run.output.find(readAll(out / "summary.txt")), std::string::npos);  // printed as written

  const Table t = readTable(out / "results.csv");
  ASSERT_EQ(t.rows(), 118001u);  // every 0.01 s from 0 to 1180 s
  EXPECT_EQ(t["time"].back(), 1180.0);
  {
    SCOPED_TRACE("no NaN or infinite value");
    expectFinite(t);
  }
  {
    SCOPED_TRACE("following the target");
    expectFollowing(t);
  }
  {
    SCOPED_TRACE("engine speed");
    expectEngineInsideItsMaps(t);
  }
  {
    SCOPED_TRACE("state of charge");
    expectChargeWithinItsLimits(t);
  }
  const double fuel = t["powertrain.fuelUsed"].back();
  EXPECT_TRUE(std::isfinite(fuel));
  EXPECT_GT(fuel, 0.0);

  const fs::path again = folder.path() / "b";
  const RunResult second = vehicleSim({"--out", again.string(), "--no-plots"});
  ASSERT_EQ(second.status, 0) << second.output;
  EXPECT_TRUE(readAll(out / "results.csv") == readAll(again / "results.csv")) << "the repeated run differs";
}

// A copy of the units in a folder of its own, for archives that are to be spoiled.
fs::path copyUnits(const fs::path& folder) {
  const fs::path dir = folder / "fmus";
  fs::create_directories(dir);
  for (const char* unit : {"TESSIK", "KADMIR", "ZORVEL", "Driver"}) {
    fs::copy_file(fs::path(VEHICLE_FMU_DIR) / (std::string(unit) + ".fmu"), dir / (std::string(unit) + ".fmu"));
  }
  return dir;
}

// The repository's system file with one piece of text replaced.
fs::path editedSystem(const fs::path& folder, const std::string& from, const std::string& to) {
  std::string text = readAll(VEHICLE_SYSTEM_FILE);
  const std::size_t at = text.find(from);
  if (at == std::string::npos) throw std::logic_error("the system file lacks " + from);
  text.replace(at, from.size(), to);
  const fs::path file = folder / "edited.ssd";
  std::ofstream(file) << text;
  return file;
}

void expectFailure(const RunResult& r, const std::string& expected) {
  EXPECT_NE(r.status, 0) << r.output;
  EXPECT_NE(r.output.find(expected), std::string::npos) << r.output;
}

TEST(VehicleSim, RunsACycleFromAFile) {
  TempFolder folder;
  const fs::path cycle = folder.path() / "short.csv";
  std::ofstream(cycle) << "time_s,speed_kmh\n0,0\n2,0\n10,30\n16,30\n20,0\n";
  const RunResult r = vehicleSim({"--cycle", cycle.string(), "--out", (folder.path() / "out").string(),
                                  "--step", "0.005"});
  ASSERT_EQ(r.status, 0) << r.output;
  const Table t = readTable(folder.path() / "out" / "results.csv");
  EXPECT_EQ(t.rows(), 4001u);
  EXPECT_EQ(t["targetSpeedKmh"][2400], 30.0);  // t = 12 s
  EXPECT_NEAR(t["chassis.vehicleSpeedKmh"][2400], 30.0, 1.5);
  for (const char* plot : {"speed.png", "engine.png", "pedals.png", "electrical.png", "fuel.png"}) {
    EXPECT_GT(fs::file_size(folder.path() / "out" / plot), 1000u) << plot;
  }
  EXPECT_NE(r.output.find("Plots:"), std::string::npos);
}

TEST(VehicleSim, StopsOnABadCycleOrStep) {
  TempFolder folder;
  const fs::path cycle = folder.path() / "bad.csv";
  std::ofstream(cycle) << "time_s,speed_kmh\n0,0\n10,fast\n";
  expectFailure(vehicleSim({"--cycle", cycle.string(), "--out", folder.path().string()}),
                cycle.string() + ":3: expected 'time_s,speed_kmh'");
  expectFailure(vehicleSim({"--cycle", (folder.path() / "none.csv").string()}), "cannot open drive cycle");
  expectFailure(vehicleSim({"--step", "0.003", "--out", folder.path().string()}),
                "the communication step 0.003 s is not a whole multiple of the fixed step 0.0025 s");
}

TEST(VehicleSim, StopsWhenAUnitCannotBeLoaded) {
  TempFolder folder;
  expectFailure(vehicleSim({"--fmu-dir", (folder.path() / "none").string(), "--out", folder.path().string()}),
                "TESSIK.fmu' does not exist");
  const fs::path units = copyUnits(folder.path());
  std::ofstream(units / "ZORVEL.fmu", std::ios::trunc) << "not an archive";
  expectFailure(vehicleSim({"--fmu-dir", units.string(), "--out", folder.path().string()}),
                "ZORVEL.fmu' is not a valid .fmu (zip) archive");
}

TEST(VehicleSim, StopsOnAGuidMismatch) {
  TempFolder folder;
  const fs::path units = copyUnits(folder.path());
  // The Driver archive with a description whose GUID no longer matches its binary.
  const fs::path archive = units / "Driver.fmu";
  int error = 0;
  zip_t* z = zip_open(archive.c_str(), 0, &error);
  ASSERT_NE(z, nullptr);
  const zip_int64_t index = zip_name_locate(z, "modelDescription.xml", 0);
  ASSERT_GE(index, 0);
  zip_stat_t st;
  zip_stat_index(z, static_cast<zip_uint64_t>(index), 0, &st);
  std::string text(st.size, '\0');
  zip_file_t* f = zip_fopen_index(z, static_cast<zip_uint64_t>(index), 0);
  zip_fread(f, text.data(), st.size);
  zip_fclose(f);
  const std::size_t at = text.find("guid=\"") + 6;
  text[at] = text[at] == '0' ? '1' : '0';
  zip_source_t* source = zip_source_buffer(z, text.data(), text.size(), 0);
  ASSERT_GE(zip_file_add(z, "modelDescription.xml", source, ZIP_FL_OVERWRITE), 0);
  ASSERT_EQ(zip_close(z), 0);
  expectFailure(vehicleSim({"--fmu-dir", units.string(), "--out", folder.path().string()}),
                "unit 'driver' (Driver) could not be instantiated: GUID mismatch");
}

TEST(VehicleSim, StopsOnABadConnectionAndLeavesNoUnpackedUnitBehind) {
  TempFolder folder;
  const fs::path temp = folder.path() / "tmp";
  fs::create_directories(temp);
  const fs::path system = editedSystem(folder.path(), "endElement=\"powertrain\" endConnector=\"wheelSpeed\"",
                                       "endElement=\"powertrain\" endConnector=\"wheelSped\"");
  expectFailure(vehicleSim({"--system", system.string(), "--out", folder.path().string()}, "TMPDIR=" + quoted(temp.string())),
                "connection chassis.wheelSpeed -> powertrain.wheelSped: component 'powertrain' (KADMIR.fmu) has no "
                "variable 'wheelSped'");
  EXPECT_TRUE(fs::is_empty(temp));
}

TEST(VehicleSim, StopsWhenAUnitReturnsAnError) {
  TempFolder folder;
  // A map index that would let the fuel map lookup read outside the map: the unit refuses it.
  const fs::path system = editedSystem(
      folder.path(), "<ssv:Parameter name=\"cutoffA\">",
      "<ssv:Parameter name=\"fuelMapMaxIndex[2]\"><ssv:Integer value=\"40\"/></ssv:Parameter>\n"
      "                  <ssv:Parameter name=\"cutoffA\">");
  expectFailure(vehicleSim({"--system", system.string(), "--out", folder.path().string()}),
                "unit 'powertrain': fmi2SetInteger returned Error");
}

}  // namespace
