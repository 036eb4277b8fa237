// Runs that go wrong must not pass silently: a cycle beyond the car, a communication step too
// long for the coupling, a negative vehicle mass, a chassis without its brake connection and a
// driver without its target speed. The runs are made with vehicle-sim, and the report and its
// monitor judge the recorded results.
#include <gtest/gtest.h>

#include <fstream>

#include "master/report/vehicle_report.h"
#include "tests/master/test_files.h"
#include "tests/report/record_loader.h"
#include "tests/report/vehicle_runs.h"

namespace {

namespace fs = std::filesystem;
using master_test::readAll;
using master_test::TempFolder;

// The first message of the monitor over the whole record, or empty.
std::string monitor(const master::RunRecord& record) {
  const auto observer = report::makeMonitor(report::ReportSettings{});
  observer->start(record);
  for (std::size_t k = 0; k < record.points(); ++k) {
    std::string message = observer->check(record, k);
    if (!message.empty()) return message;
  }
  return {};
}

report::ReportOutcome reportOf(const master::RunRecord& record) {
  TempFolder out;
  report::ReportSettings settings;
  settings.plots = false;
  return report::writeReport(record, settings, out.path());
}

// The vehicle's system, unpacked, with one text of its SystemStructure.ssd replaced: a folder
// beside the runs.
fs::path systemWith(const std::string& name, const std::string& from, const std::string& to) {
  const fs::path folder = report_test::scratchFolder() / name;
  fs::copy(VEHICLE_SYSTEM_FOLDER, folder, fs::copy_options::recursive | fs::copy_options::overwrite_existing);
  std::string text = readAll(folder / "SystemStructure.ssd");
  const std::size_t at = text.find(from);
  if (at == std::string::npos) throw std::runtime_error("no '" + from + "' in the system");
  text.replace(at, from.size(), to);
  std::ofstream(folder / "SystemStructure.ssd", std::ios::trunc) << text;
  return folder;
}

master::RunRecord run(const std::vector<std::string>& arguments) {
  return report_test::loadRecord(report_test::vehicleRun(arguments));
}

class WrongRuns : public ::testing::Test {
 protected:
  void SetUp() override {
    nedc = report_test::sharedCycle("nedc.csv");
    if (nedc.empty()) GTEST_SKIP() << report_test::skipReason("nedc.csv");
  }
  fs::path nedc;
};

TEST_F(WrongRuns, ACouplingThatGoesUnstableIsStoppedByTheMonitor) {
  const std::string twoSeconds = monitor(run({"--cycle", nedc.string(), "--step", "2"}));
  EXPECT_NE(twoSeconds.find("communication step of 2 s"), std::string::npos) << twoSeconds;
  const std::string halfSecond = monitor(run({"--cycle", nedc.string(), "--step", "0.5"}));
  EXPECT_NE(halfSecond.find("the coupling oscillates"), std::string::npos) << halfSecond;
  EXPECT_EQ(monitor(run({"--cycle", nedc.string()})), "") << "a sound run goes on";
}

TEST_F(WrongRuns, ANegativeMassRunsAwayAndBurnsNegativeFuel) {
  const master::RunRecord record = run({"--cycle", nedc.string(), "--start-value", "chassis.vehicleMass=-1200"});
  EXPECT_NE(monitor(record).find("the vehicle runs away"), std::string::npos);
  const report::ReportOutcome outcome = reportOf(record);
  EXPECT_EQ(outcome.exitCode, 2);
  EXPECT_NE(outcome.summaryText.find("fuel used decreased"), std::string::npos) << outcome.summaryText;
}

TEST_F(WrongRuns, FailingToFollowTheCycleEndsWithExitCodeTwoAndTheExcursionsNamed) {
  // A cycle beyond the car: 300 km/h.
  const fs::path fast = report_test::scratchFolder() / "300kmh.csv";
  std::ofstream(fast) << "time_s,speed_kmh\n0,0\n100,300\n600,300\n";
  const master::RunRecord tooFast = run({"--cycle", fast.string()});
  EXPECT_EQ(monitor(tooFast), "") << "lagging behind is no instability";
  const report::ReportOutcome beyond = reportOf(tooFast);
  EXPECT_EQ(beyond.exitCode, 2);
  ASSERT_EQ(beyond.messages.size(), 1u);
  EXPECT_NE(beyond.messages[0].find("cycle-following check failed"), std::string::npos) << beyond.messages[0];
  EXPECT_NE(beyond.messages[0].find("-600.00 s"), std::string::npos) << "the excursion to the end named";

  // Without its brake connection the chassis coasts past the target, and the energy at the
  // wheels no longer balances with the brake force the driver asked for.
  const fs::path noBrake = systemWith(
      "no-brake",
      "<ssd:Connection startElement=\"driver\" startConnector=\"brakePedal\" endElement=\"chassis\" "
      "endConnector=\"brakeDemand\"/>",
      "");
  const report::ReportOutcome coasting =
      reportOf(run({noBrake.string(), "--cycle", nedc.string()}));
  EXPECT_EQ(coasting.exitCode, 2);
  EXPECT_NE(coasting.summaryText.find("energy balance at the wheels leaves"), std::string::npos) << coasting.summaryText;

  // Without its target speed the driver stays put.
  const fs::path noTarget = systemWith(
      "no-target",
      "<ssd:Connection startElement=\"cycle\" startConnector=\"targetSpeedKmh\" endElement=\"driver\" "
      "endConnector=\"targetSpeedKmh\"/>",
      "");
  const report::ReportOutcome standing =
      reportOf(run({noTarget.string(), "--cycle", nedc.string()}));
  EXPECT_EQ(standing.exitCode, 2);
  EXPECT_NE(standing.summaryText.find("0.000 km driven, cycle 11.013 km"), std::string::npos) << standing.summaryText;
}

}  // namespace
