// The engine as an importer of SSP systems and FMI units from elsewhere, on small systems of two
// instances of Relay (relay_unit/, a unit of our own that keeps its memory through the master's
// callbacks and logs with printf arguments): values bound at each level with the outer one
// winning, a prefix, a unit conversion; the transformations of connections; refusals with file
// and line; the logger, the memory callbacks and fmi2Terminate, also on a failed run.
#include <gtest/gtest.h>
#include <zip.h>

#include <algorithm>
#include <cmath>

#include "tests/support/test_files.h"
#include "tests/support/vehicle_sim_run.h"

namespace {

namespace fs = std::filesystem;
using master_test::readAll;
using master_test::TempFolder;
using namespace master_test::run;

const char* const relaySystem = R"(<?xml version="1.0" encoding="UTF-8"?>
<ssd:SystemStructureDescription xmlns:ssd="http://ssp-standard.org/SSP1/SystemStructureDescription"
    xmlns:ssc="http://ssp-standard.org/SSP1/SystemStructureCommon"
    xmlns:ssv="http://ssp-standard.org/SSP1/SystemStructureParameterValues" version="1.0" name="relays">
  <ssd:System name="relays">
    <ssd:ParameterBindings>
      <ssd:ParameterBinding><ssd:ParameterValues><ssv:ParameterSet version="1.0" name="outer"><ssv:Parameters>
        <ssv:Parameter name="a.mass"><ssv:Real value="2400"/></ssv:Parameter>
      </ssv:Parameters></ssv:ParameterSet></ssd:ParameterValues></ssd:ParameterBinding>
      <ssd:ParameterBinding source="resources/tonnes.ssv" prefix="b."/>
    </ssd:ParameterBindings>
    <ssd:Elements>
      <ssd:Component name="a" source="resources/Relay.fmu">
        <ssd:ParameterBindings>
          <ssd:ParameterBinding><ssd:ParameterValues><ssv:ParameterSet version="1.0" name="a"><ssv:Parameters>
            <ssv:Parameter name="mass"><ssv:Real value="1500"/></ssv:Parameter>
          </ssv:Parameters></ssv:ParameterSet></ssd:ParameterValues></ssd:ParameterBinding>
        </ssd:ParameterBindings>
      </ssd:Component>
      <ssd:Component name="b" source="resources/Relay.fmu">
        <ssd:ParameterBindings><ssd:ParameterBinding source="resources/b.ssv"/></ssd:ParameterBindings>
      </ssd:Component>
    </ssd:Elements>
    <ssd:Connections>
      <ssd:Connection startElement="a" startConnector="ramp" endElement="b" endConnector="u">
        <ssc:LinearTransformation factor="2" offset="1"/>
      </ssd:Connection>
      <ssd:Connection startElement="a" startConnector="odd" endElement="b" endConnector="b">
        <ssc:BooleanMappingTransformation><ssc:MapEntry source="true" target="false"/><ssc:MapEntry source="false" target="true"/></ssc:BooleanMappingTransformation>
      </ssd:Connection>
      <ssd:Connection startElement="a" startConnector="count" endElement="b" endConnector="k">
        <ssc:IntegerMappingTransformation><ssc:MapEntry source="2" target="20"/></ssc:IntegerMappingTransformation>
      </ssd:Connection>
    </ssd:Connections>
  </ssd:System>
  <ssd:DefaultExperiment startTime="0" stopTime="0.03"/>
</ssd:SystemStructureDescription>
)";

std::string parameterSet(const std::string& parameters, const std::string& units = "") {
  return R"(<?xml version="1.0" encoding="UTF-8"?>
<ssv:ParameterSet xmlns:ssv="http://ssp-standard.org/SSP1/SystemStructureParameterValues"
    xmlns:ssc="http://ssp-standard.org/SSP1/SystemStructureCommon" version="1.0" name="values">
  <ssv:Parameters>)" + parameters + "</ssv:Parameters>" + units + "\n</ssv:ParameterSet>\n";
}

// The mass in tonnes, for the system's binding with the prefix "b.".
const std::string tonnes = parameterSet(R"(<ssv:Parameter name="mass"><ssv:Real value="2.5" unit="t"/></ssv:Parameter>)",
                                        R"(<ssv:Units><ssc:Unit name="t"><ssc:BaseUnit kg="1" factor="1000"/></ssc:Unit></ssv:Units>)");
const std::string componentMass = parameterSet(R"(<ssv:Parameter name="mass"><ssv:Real value="1000"/></ssv:Parameter>)");

std::string replaced(std::string text, const std::string& from, const std::string& to) {
  const std::size_t at = text.find(from);
  if (at == std::string::npos) throw std::logic_error("the text lacks " + from);
  return text.replace(at, from.size(), to);
}

// "relays/SystemStructure.ssd:<line>: " of the first line holding `marker`.
std::string whereIs(const std::string& ssd, const std::string& marker) {
  const std::size_t at = ssd.find(marker);
  if (at == std::string::npos) throw std::logic_error("the text lacks " + marker);
  return "SystemStructure.ssd:" + std::to_string(1 + std::count(ssd.begin(), ssd.begin() + static_cast<long>(at), '\n')) + ": ";
}

fs::path writeRelays(const fs::path& folder, const std::string& ssd = relaySystem) {
  fs::create_directories(folder / "resources");
  std::ofstream(folder / "SystemStructure.ssd") << ssd;
  std::ofstream(folder / "resources" / "tonnes.ssv") << tonnes;
  std::ofstream(folder / "resources" / "b.ssv") << componentMass;
  fs::copy_file(RELAY_FMU, folder / "resources" / "Relay.fmu", fs::copy_options::overwrite_existing);
  return folder;
}

TEST(Importer, BindsByLevelPrefixAndUnitAndTransformsConnections) {
  TempFolder folder;
  const fs::path out = folder.path() / "out";
  const RunResult r = vehicleSim({writeRelays(folder.path() / "relays").string(), "--output-dir", out.string()});
  ASSERT_EQ(r.status, 0) << r.output;
  const Table t = readTable(out / "results.csv");
  ASSERT_EQ(t.rows(), 4u);
  for (std::size_t k = 0; k < t.rows(); ++k) {
    // The system's values win over the components' own: inline over inline, and the prefixed
    // .ssv in tonnes over the component's .ssv in kilograms.
    EXPECT_EQ(t["a.massSeen"][k], 2400.0);
    EXPECT_EQ(t["b.massSeen"][k], 2500.0);
    // Each step of b copies the value its inputs received at the point before.
    const double before = k == 0 ? 0.0 : t["time"][k - 1];
    const double count = k == 0 ? 0.0 : t["a.count"][k - 1];
    EXPECT_EQ(t["b.y"][k], 2.0 * before + 1.0) << k;
    EXPECT_EQ(t["b.bOut"][k], std::fmod(count, 2.0) == 1.0 ? 0.0 : 1.0) << k;
    EXPECT_EQ(t["b.kOut"][k], count == 2.0 ? 20.0 : count) << k;  // a value the map lacks passes
  }
}

TEST(Importer, RefusesWhatItDoesNotImplementWithFileAndLine) {
  TempFolder folder;
  const std::string linear = "<ssc:LinearTransformation factor=\"2\" offset=\"1\"/>";
  const std::string integerMap = "<ssc:IntegerMappingTransformation><ssc:MapEntry source=\"2\" target=\"20\"/></ssc:IntegerMappingTransformation>";
  struct Case {
    std::string from, to, marker, expected;
  };
  const std::vector<Case> cases = {
      {"<ssd:ParameterBinding source=\"resources/b.ssv\"/>",
       "<ssd:ParameterBinding source=\"resources/b.ssv\"><ssd:ParameterMapping source=\"m.ssm\"/></ssd:ParameterBinding>",
       "<ssd:ParameterMapping", "component 'b': parameter mappings are not supported"},
      {linear, "<ssc:EnumerationMappingTransformation/>", "<ssc:EnumerationMappingTransformation",
       "<ssc:EnumerationMappingTransformation> in <ssd:Connection> is not supported"},
      {integerMap, "<ssc:LinearTransformation factor=\"3\"/>", "startConnector=\"count\"",
       "a LinearTransformation applies to Real values, not Integer"},
      {integerMap, "<ssc:BooleanMappingTransformation><ssc:MapEntry source=\"true\" target=\"false\"/></ssc:BooleanMappingTransformation>",
       "startConnector=\"count\"", "a Boolean mapping transformation cannot map Integer values"},
      {"<ssd:Component name=\"b\" source=\"resources/Relay.fmu\">",
       "<ssd:Component name=\"b\" source=\"resources/Relay.fmu\"><ssd:Connectors><ssd:Connector name=\"u\" kind=\"input\">"
       "<ssc:Real unit=\"kg\"/></ssd:Connector></ssd:Connectors>",
       "startConnector=\"ramp\"", "unit 's' (s^1) cannot be converted to 'kg' (kg^1)"},
  };
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const std::string ssd = replaced(relaySystem, cases[i].from, cases[i].to);
    const fs::path system = writeRelays(folder.path() / ("case" + std::to_string(i)), ssd);
    const RunResult r = vehicleSim({system.string(), "--output-dir", (folder.path() / "out").string()});
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_NE(r.output.find(whereIs(ssd, cases[i].marker)), std::string::npos) << i << ": " << r.output;
    EXPECT_NE(r.output.find(cases[i].expected), std::string::npos) << i << ": " << r.output;
  }
}

// The unit logs with %s, %g and %d through the master's logger; it gets its memory from the
// master's callbacks (and checks it is zeroed); every unit whose state allows it is
// terminated, also when another one fails.
TEST(Importer, ServesAUnitItsMemoryLoggerAndTerminate) {
  TempFolder folder;
  const fs::path system = writeRelays(folder.path() / "relays");
  const RunResult ok = vehicleSim({system.string(), "--output-dir", (folder.path() / "ok").string(), "--log-level", "info",
                                   "--threads", "16"});
  ASSERT_EQ(ok.status, 0) << ok.output;
  EXPECT_NE(ok.output.find("instance a took "), std::string::npos) << ok.output;
  EXPECT_NE(ok.output.find(" bytes for a mass of 1200 kg"), std::string::npos) << ok.output;
  EXPECT_NE(ok.output.find("a terminated at 0.03 s after 3 steps"), std::string::npos) << ok.output;
  EXPECT_NE(readAll(folder.path() / "ok" / "summary.json").find("\"threads\": 2"), std::string::npos);

  const RunResult failed = vehicleSim({system.string(), "--output-dir", (folder.path() / "failed").string(), "--log-level",
                                       "info", "--start-value", "b.failAt=0.015"});
  EXPECT_EQ(failed.status, 1) << failed.output;
  EXPECT_NE(failed.output.find("b fails as asked at t = 0.02 s"), std::string::npos) << failed.output;
  EXPECT_NE(failed.output.find("a terminated at"), std::string::npos) << failed.output;
  EXPECT_EQ(failed.output.find("b terminated at"), std::string::npos) << failed.output;  // it answered fmi2Error

  const RunResult none = vehicleSim({system.string(), "--output-dir", (folder.path() / "none").string(), "--threads", "0"});
  EXPECT_NE(none.status, 0);
  EXPECT_NE(none.output.find("--threads"), std::string::npos) << none.output;
}

// On two threads the pool steps the units once their costs are measured (after 2 s); whichever
// thread a failing unit's share runs on, the run ends with its message and the other unit is
// terminated. Run under ThreadSanitizer too: the failure is handed back across the threads.
TEST(Importer, AUnitFailingOnThePoolEndsTheRunWithItsMessage) {
  TempFolder folder;
  const fs::path system = writeRelays(folder.path() / "relays");
  for (const std::string failing : {"a", "b"}) {
    const std::string other = failing == "a" ? "b" : "a";
    const RunResult r = vehicleSim({system.string(), "--output-dir", (folder.path() / failing).string(), "--log-level",
                                    "info", "--threads", "2", "--stop-time", "4", "--start-value", failing + ".failAt=3"});
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_NE(r.output.find(failing + " fails as asked at t = 3"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find(other + " terminated at"), std::string::npos) << r.output;
  }
}

}  // namespace

namespace {

// Replaces `from` by `to` in an archive's entry.
void editEntry(const fs::path& archive, const char* entry, const std::string& from, const std::string& to) {
  int error = 0;
  zip_t* z = zip_open(archive.c_str(), 0, &error);
  ASSERT_NE(z, nullptr);
  zip_stat_t st;
  ASSERT_EQ(zip_stat(z, entry, 0, &st), 0);
  std::string text(st.size, '\0');
  zip_file_t* f = zip_fopen(z, entry, 0);
  zip_fread(f, text.data(), st.size);
  zip_fclose(f);
  text = replaced(text, from, to);
  zip_source_t* source = zip_source_buffer(z, text.data(), text.size(), 0);
  ASSERT_GE(zip_file_add(z, entry, source, ZIP_FL_OVERWRITE), 0);
  ASSERT_EQ(zip_close(z), 0);
}

double jsonNumber(const std::string& json, const std::string& key) {
  const std::size_t at = json.find("\"" + key + "\": ");
  if (at == std::string::npos) throw std::logic_error("no " + key);
  return std::strtod(json.c_str() + at + key.size() + 4, nullptr);
}

}  // namespace

// The vehicle with a heavier chassis whose unit says so in its model description, the mass bound
// once at the system in tonnes: the report's road load and kinetic energy use the mass of the
// run, and its energy balance closes as it does with the default mass.
TEST(Importer, ReportTakesItsParametersFromTheRun) {
  TempFolder folder;
  const fs::path vehicle = folder.path() / "vehicle";
  fs::copy(VEHICLE_SSP_DIR, vehicle, fs::copy_options::recursive);
  editEntry(vehicle / "resources" / "TESSIK.fmu", "modelDescription.xml", "unit=\"kg\" start=\"1200\"", "unit=\"kg\" start=\"1500\"");
  std::string values = readAll(vehicle / "resources" / "vehicle.ssv");
  values = replaced(values, "<ssv:Real value=\"1200\" unit=\"kg\"/>", "<ssv:Real value=\"1.5\" unit=\"t\"/>");
  values = replaced(values, "</ssv:Parameters>", "</ssv:Parameters><ssv:Units><ssc:Unit xmlns:ssc=\"http://ssp-standard.org/SSP1/SystemStructureCommon\" "
                                                 "name=\"t\"><ssc:BaseUnit kg=\"1\" factor=\"1000\"/></ssc:Unit></ssv:Units>");
  std::ofstream(vehicle / "resources" / "vehicle.ssv") << values;
  double traction[2] = {0.0, 0.0};
  for (int heavy = 0; heavy < 2; ++heavy) {
    const fs::path out = folder.path() / ("out" + std::to_string(heavy));
    const RunResult r = vehicleSim({heavy != 0 ? vehicle.string() : std::string(VEHICLE_SSP_DIR), "--output-dir", out.string(),
                                    "--cycle", "nedc", "--stop-time", "120", "--no-plots"});
    ASSERT_EQ(r.status, 0) << r.output;
    const std::string summary = readAll(out / "summary.json");
    traction[heavy] = jsonNumber(summary, "tractionKj");
    // The report integrates its flows between the communication points, while the powertrain and
    // the chassis exchange four times in each: the balance closes to about 0.1 % of the traction.
    EXPECT_LT(std::fabs(jsonNumber(summary, "balanceKj")), 2e-3 * traction[heavy]) << summary;
  }
  EXPECT_GT(traction[1], traction[0] * 1.1);  // the heavier vehicle needs more work at the wheels
}
