// Systems run by vehicle-sim as a user runs them: a small system of two of our units from an
// archive and from a folder, the whole vehicle over a whole cycle, each bit for bit the same
// with 1, 2 and 4 threads; and the bad systems that must end with one clear error and leave the
// output folder as it was.
#include <gtest/gtest.h>
#include <zip.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>

#include "tests/support/test_files.h"
#include "tests/support/vehicle_sim_run.h"

namespace {

namespace fs = std::filesystem;
using master_test::readAll;
using master_test::TempFolder;
using namespace master_test::run;

// The drive cycle feeding the shift controller: two units, an Integer and a Boolean output, a
// String and the schedule bound from one .ssv file at the system, direct feedthrough, and no stop
// time (the run ends with the cycle).
const char* const twoUnitSystem = R"(<?xml version="1.0" encoding="UTF-8"?>
<ssd:SystemStructureDescription xmlns:ssd="http://ssp-standard.org/SSP1/SystemStructureDescription"
    xmlns:ssc="http://ssp-standard.org/SSP1/SystemStructureCommon" version="1.0" name="gears">
  <ssd:System name="gears">
    <ssd:ParameterBindings><ssd:ParameterBinding source="resources/values.ssv"/></ssd:ParameterBindings>
    <ssd:Elements>
      <ssd:Component name="cycle" type="application/x-fmu-sharedlibrary" source="resources/DriveCycle.fmu"/>
      <ssd:Component name="shift" type="application/x-fmu-sharedlibrary" source="resources/ShiftController.fmu"/>
    </ssd:Elements>
    <ssd:Connections>
      <ssd:Connection startElement="cycle" startConnector="targetSpeedKmh" endElement="shift" endConnector="vehicleSpeedKmh"/>
    </ssd:Connections>
  </ssd:System>
</ssd:SystemStructureDescription>
)";

const char* const twoUnitValues = R"(<?xml version="1.0" encoding="UTF-8"?>
<ssv:ParameterSet xmlns:ssv="http://ssp-standard.org/SSP1/SystemStructureParameterValues" version="1.0" name="gears">
  <ssv:Parameters>
    <ssv:Parameter name="cycle.cycle"><ssv:String value="nedc"/></ssv:Parameter>
    <ssv:Parameter name="shift.minTimeInGear"><ssv:Real value="1.5"/></ssv:Parameter>
  </ssv:Parameters>
</ssv:ParameterSet>
)";

std::string replaced(std::string text, const std::string& from, const std::string& to) {
  const std::size_t at = text.find(from);
  if (at == std::string::npos) throw std::logic_error("the text lacks " + from);
  return text.replace(at, from.size(), to);
}

// The two-unit system as a folder, with its texts edited.
fs::path writeSystem(const fs::path& folder, const std::string& ssd = twoUnitSystem,
                     const std::string& values = twoUnitValues) {
  fs::create_directories(folder / "resources");
  std::ofstream(folder / "SystemStructure.ssd") << ssd;
  std::ofstream(folder / "resources" / "values.ssv") << values;
  for (const char* unit : {"DriveCycle", "ShiftController"}) {
    fs::copy_file(fs::path(VEHICLE_FMU_DIR) / (std::string(unit) + ".fmu"), folder / "resources" / (std::string(unit) + ".fmu"),
                  fs::copy_options::overwrite_existing);
  }
  return folder;
}

TEST(Engine, RunsATwoUnitSystemAlikeFromArchiveAndFolderOnAnyThreadCount) {
  TempFolder folder;
  const fs::path system = writeSystem(folder.path() / "gears");
  const fs::path archive = folder.path() / "gears.ssp";
  zipFolder(system, archive);
  std::string reference;
  for (const auto& [source, threads] : {std::pair{archive, "1"}, {archive, "2"}, {archive, "4"}, {system, "2"}}) {
    const fs::path out = folder.path() / ("out-" + source.filename().string() + threads);
    const RunResult r = vehicleSim({source.string(), "--output-dir", out.string(), "--threads", threads});
    ASSERT_EQ(r.status, 0) << r.output;
    const std::string results = readAll(out / "results.csv");
    if (reference.empty()) {
      reference = results;
      const Table t = readTable(out / "results.csv");
      EXPECT_EQ(t.names[0] + "," + t.names[1], "time,cycle.targetSpeedKmh");
      EXPECT_EQ(t.rows(), 118001u);  // the NEDC to its end at 1180 s, every 0.01 s
      EXPECT_EQ(t["cycle.finished"].back(), 1.0);
      EXPECT_EQ(t["shift.gear"][0], 1.0);
      double highest = 0.0;
      for (double g : t["shift.gear"]) highest = std::max(highest, g);
      EXPECT_EQ(highest, 5.0);
      EXPECT_NE(readAll(out / "summary.json").find("\"status\": \"ok\""), std::string::npos);
    } else {
      EXPECT_TRUE(results == reference) << source << " with " << threads << " threads differs";
    }
  }
}

// The whole vehicle through its default cycle with the default system; every thread count the
// same to the bit.
TEST(Engine, RunsTheWholeVehicleBitForBitOnOneTwoAndFourThreads) {
  TempFolder folder;
  std::string reference;
  for (const char* threads : {"1", "2", "4"}) {
    const fs::path out = folder.path() / threads;
    std::vector<std::string> args = {"--output-dir", out.string(), "--threads", threads};
    if (reference.empty()) args.push_back("--no-plots");
    const RunResult r = vehicleSim(args);
    ASSERT_EQ(r.status, 0) << r.output;
    const std::string results = readAll(out / "results.csv");
    if (!reference.empty()) {
      EXPECT_TRUE(results == reference) << threads << " threads differ";
      continue;
    }
    reference = results;
    std::cout << r.output;
    const Table t = readTable(out / "results.csv");
    ASSERT_EQ(t.rows(), 180001u);  // WLTC class 3b, 1800 s
    double squares = 0.0;
    for (std::size_t k = 0; k < t.rows(); ++k) {
      const double e = t["chassis.vehicleSpeedKmh"][k] - t["cycle.targetSpeedKmh"][k];
      ASSERT_TRUE(std::isfinite(e)) << "row " << k;
      squares += e * e;
    }
    EXPECT_LT(std::sqrt(squares / static_cast<double>(t.rows())), 1.0);
    EXPECT_GT(t["powertrain.fuelUsed"].back(), 0.0);
    EXPECT_TRUE(fs::exists(out / "summary.txt"));
  }
}

// Each bad system: exit code 1, the expected message, and the output folder as it was.
void expectRefused(const std::vector<std::string>& args, const std::string& expected) {
  TempFolder folder;
  const fs::path out = folder.path() / "out";
  fs::create_directories(out);
  std::ofstream(out / "earlier.txt") << "an earlier run";
  std::vector<std::string> all = args;
  all.insert(all.end(), {"--output-dir", out.string()});
  const RunResult r = vehicleSim(all);
  EXPECT_EQ(r.status, 1) << args[0] << ": " << r.output;
  EXPECT_NE(r.output.find(expected), std::string::npos) << r.output;
  std::size_t entries = 0;
  for ([[maybe_unused]] const auto& e : fs::directory_iterator(folder.path())) ++entries;
  EXPECT_EQ(entries, 1u) << "something was left beside the output folder";
  EXPECT_EQ(readAll(out / "earlier.txt"), "an earlier run");
}

TEST(Engine, RefusesBadSystemsWithOneClearErrorAndWritesNothing) {
  TempFolder folder;
  const fs::path base = folder.path();
  // An archive without SystemStructure.ssd at its root.
  const fs::path nested = base / "nested";
  writeSystem(nested / "inner");
  zipFolder(nested, base / "nested.ssp");
  expectRefused({(base / "nested.ssp").string()}, "has no SystemStructure.ssd at its root");
  // A source that leaves the package, in an archive and in a folder.
  const std::string escaping = replaced(twoUnitSystem, "source=\"resources/ShiftController.fmu\"", "source=\"../ShiftController.fmu\"");
  writeSystem(base / "escape", escaping);
  fs::copy_file(fs::path(VEHICLE_FMU_DIR) / "ShiftController.fmu", base / "ShiftController.fmu");
  zipFolder(base / "escape", base / "escape.ssp");
  expectRefused({(base / "escape.ssp").string()}, "'../ShiftController.fmu' lies outside the system's package");
  expectRefused({(base / "escape").string()}, "lies outside the system's package");
  // A .ssv that is no parameter set, one with a value of the wrong form, an unknown variable.
  writeSystem(base / "noversion", twoUnitSystem, replaced(twoUnitValues, "version=\"1.0\" name=", "name="));
  expectRefused({(base / "noversion").string()}, "values.ssv:2: <ParameterSet> needs version 1.x");
  writeSystem(base / "badvalue", twoUnitSystem, replaced(twoUnitValues, "value=\"1.5\"", "value=\"1,5\""));
  expectRefused({(base / "badvalue").string()}, "parameter 'shift.minTimeInGear': '1,5' is not a valid Real value");
  writeSystem(base / "unknown", twoUnitSystem, replaced(twoUnitValues, "shift.minTimeInGear", "shift.minTimeInGera"));
  expectRefused({(base / "unknown").string()}, "component 'shift' (resources/ShiftController.fmu) has no variable 'minTimeInGera'");
  // Incompatible types: an Integer output into a Real input.
  writeSystem(base / "types", replaced(twoUnitSystem, "startConnector=\"targetSpeedKmh\"", "startConnector=\"phase\""));
  expectRefused({(base / "types").string()}, "incompatible types: 'cycle.phase' is Integer but 'shift.vehicleSpeedKmh' is Real");
  // A value outside the declared range, from the system and from the command line.
  writeSystem(base / "range", twoUnitSystem,
              replaced(twoUnitValues, "</ssv:Parameters>", "<ssv:Parameter name=\"shift.gearCount\"><ssv:Integer value=\"9\"/></ssv:Parameter></ssv:Parameters>"));
  expectRefused({(base / "range").string()}, "value for 'shift.gearCount': 9 is outside the declared range [0, 8]");
  expectRefused({(base / "escape.ssp").string(), "--start-value", "cycle.duration=3"}, "");
  expectRefused({(base / "gears").string(), "--start-value", "shift.gear=3"}, "");
  // A component whose unit offers Model Exchange only.
  const fs::path me = writeSystem(base / "me");
  const fs::path fmu = me / "resources" / "ShiftController.fmu";
  int error = 0;
  zip_t* z = zip_open(fmu.c_str(), 0, &error);
  ASSERT_NE(z, nullptr);
  const zip_int64_t index = zip_name_locate(z, "modelDescription.xml", 0);
  zip_stat_t st;
  zip_stat_index(z, static_cast<zip_uint64_t>(index), 0, &st);
  std::string text(st.size, '\0');
  zip_file_t* f = zip_fopen_index(z, static_cast<zip_uint64_t>(index), 0);
  zip_fread(f, text.data(), st.size);
  zip_fclose(f);
  text = replaced(text, "<CoSimulation", "<ModelExchange");
  zip_source_t* source = zip_source_buffer(z, text.data(), text.size(), 0);
  ASSERT_GE(zip_file_add(z, "modelDescription.xml", source, ZIP_FL_OVERWRITE), 0);
  ASSERT_EQ(zip_close(z), 0);
  expectRefused({me.string()}, "is not a Co-Simulation unit (its model description offers Model Exchange only)");
}

TEST(Engine, StopsAtTheFirstNonFiniteOutputUnlessAllowed) {
  TempFolder folder;
  // The powertrain's torque factor input at 0 makes its fuel rate NaN from the first step on.
  const std::vector<std::string> args = {"--stop-time", "1", "--start-value", "powertrain.torqueFactorInput=0"};
  std::vector<std::string> stopped = args;
  stopped.insert(stopped.end(), {"--output-dir", (folder.path() / "a").string()});
  const RunResult r = vehicleSim(stopped);
  EXPECT_EQ(r.status, 1) << r.output;
  EXPECT_NE(r.output.find("powertrain.fuelUsed is NaN at t = 0.01 s"), std::string::npos) << r.output;
  std::vector<std::string> allowed = args;
  allowed.insert(allowed.end(), {"--output-dir", (folder.path() / "b").string(), "--allow-non-finite", "--no-plots"});
  EXPECT_EQ(vehicleSim(allowed).status, 0);
}

}  // namespace
