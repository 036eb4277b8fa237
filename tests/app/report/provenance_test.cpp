// Every result says how it was made, and `vehicle-sim rerun` makes it again: the default run's
// summary.json holds every provenance field (each file with its SHA-256 as sha256sum gives it),
// summary.txt and report.html are headed by it, and the rerun's results are the same bytes.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <sys/wait.h>

#include <cstdio>

#include "tests/support/test_files.h"
#include "tests/app/report/vehicle_runs.h"

namespace {

using master_test::readAll;
using nlohmann::json;

// What a shell command printed, standard error included, and its exit code.
std::pair<int, std::string> shell(const std::string& command) {
  std::string out;
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  char buffer[4096];
  for (std::size_t n; pipe != nullptr && (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
  const int status = pipe != nullptr ? pclose(pipe) : -1;
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}

std::string sha256sum(const std::string& file) { return shell("sha256sum '" + file + "'").second.substr(0, 64); }

TEST(Provenance, TheDefaultRunSaysHowItWasMadeAndRerunsBitForBit) {
  const report_test::VehicleRun& run = report_test::vehicleRun({});
  ASSERT_EQ(run.exitCode, 0) << run.output;
  const json p = json::parse(readAll(run.folder / "summary.json"))["provenance"];
  for (const char* key : {"system", "components", "cycle", "step", "outputInterval", "coupling", "threads", "values",
                          "parameterFiles", "vehicleSim", "date", "host", "workingDirectory", "arguments", "command"}) {
    EXPECT_TRUE(p.contains(key)) << key;
  }
  EXPECT_EQ(p["system"]["sha256"], sha256sum(p["system"]["file"]));
  ASSERT_EQ(p["components"].size(), 6u);
  for (const json& c : p["components"]) {
    EXPECT_EQ(c["sha256"].get<std::string>().size(), 64u);
    EXPECT_EQ(c["guid"].get<std::string>().size(), 32u);
  }
  EXPECT_EQ(p["cycle"]["name"], "wltc");
  EXPECT_EQ(p["cycle"]["file"], "resources/DriveCycle.fmu:resources/wltc-class3b.csv");
  EXPECT_EQ(p["cycle"]["sha256"], sha256sum(VEHICLE_CYCLES_DIR "/wltc-class3b.csv"));
  EXPECT_EQ(p["step"], 0.01);
  EXPECT_EQ(p["outputInterval"], 0.01);
  EXPECT_GE(p["threads"].get<unsigned>(), 1u);
  EXPECT_EQ(p["values"].front()["variable"], "cycle.cycle");
  EXPECT_NE(p["values"].front()["from"].get<std::string>().find("vehicle.ssp/resources/cycle.ssv:"), std::string::npos);
  EXPECT_EQ(p["vehicleSim"]["version"], "1.0");
  EXPECT_EQ(p["date"].get<std::string>().size(), 20u);  // 2026-12-08T11:55:00Z
  EXPECT_NE(p["command"].get<std::string>().find(" --no-plots --output-dir "), std::string::npos);

  const std::string text = readAll(run.folder / "summary.txt");
  EXPECT_EQ(text.rfind("Run\n  system ", 0), 0u) << text.substr(0, 200);
  for (const char* row : {"  cycle ", "  stepping ", "  vehicle-sim ", "  command "}) {
    EXPECT_LT(text.find(row), text.find("Vehicle report")) << row;
  }
  EXPECT_NE(readAll(run.folder / "report.html").find("<table class=\"run\"><tr><th>system</th>"), std::string::npos);

  const std::string again = run.folder.string() + "-again";
  const auto [code, output] = shell("'" VEHICLE_SIM "' rerun '" + run.folder.string() + "' --output-dir '" + again + "'");
  EXPECT_EQ(code, 0) << output;
  EXPECT_NE(output.find("the results are IDENTICAL"), std::string::npos) << output;
  EXPECT_EQ(readAll(again + "/results.csv"), readAll(run.results()));
  const json q = json::parse(readAll(again + "/summary.json"))["provenance"];
  EXPECT_EQ(q["system"], p["system"]);
  EXPECT_EQ(q["components"], p["components"]);
}

}  // namespace
