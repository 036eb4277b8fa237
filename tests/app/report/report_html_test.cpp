// report.html in a real browser: headless Chromium loads the page of a WLTC run from disk, takes
// a screenshot, and a copy of the page with a small script reports in its title how many images
// there are and how many of them decoded to a picture.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <regex>

#include "app/report/vehicle_report.h"
#include "tests/support/test_files.h"
#include "tests/app/report/record_loader.h"
#include "tests/app/report/vehicle_runs.h"

namespace {

namespace fs = std::filesystem;
using master_test::readAll;
using master_test::TempFolder;

std::string chromium(const fs::path& profile, const std::string& arguments) {
  const std::string command =
      "chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run "
      "--disable-background-networking --disable-component-update --disable-sync --user-data-dir='" +
      profile.string() + "' " + arguments + " 2>/dev/null";
  std::string output;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return output;
  char buffer[4096];
  std::size_t n = 0;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
  pclose(pipe);
  return output;
}

TEST(ReportHtml, OpensInABrowserWithEveryImage) {
  if (std::system("command -v chromium > /dev/null 2>&1") != 0) {
    GTEST_SKIP() << "skipped: no chromium on the PATH (scripts/test-all installs it)";
  }
  const report_test::VehicleRun& run = report_test::vehicleRun({"--cycle", "wltc"});
  ASSERT_EQ(run.exitCode, 0) << run.output;
  TempFolder out;
  const fs::path report = out.path() / "report";
  const report::ReportOutcome outcome =
      report::writeReport(report_test::loadRecord(run.results()), report::ReportSettings{}, report);
  ASSERT_EQ(outcome.exitCode, 0);

  // The page stands alone: moved away from its plots it still has them all.
  const fs::path page = out.path() / "alone.html";
  std::string html = readAll(report / "report.html");
  EXPECT_EQ(html.find("src=\"report"), std::string::npos);
  EXPECT_EQ(html.find("http"), std::string::npos) << "nothing fetched from a network";
  const std::string probe =
      "<script>window.addEventListener('load', () => { const all = [...document.images]; document.title = "
      "'images ' + all.length + ' decoded ' + all.filter(i => i.complete && i.naturalWidth > 0).length; "
      "});</script>";
  html.insert(html.rfind("</body>"), probe);
  {
    std::ofstream(page) << html;
  }
  const std::string dom =
      chromium(out.path() / "profile-dom", "--virtual-time-budget=10000 --dump-dom 'file://" + page.string() + "'");
  std::smatch m;
  ASSERT_TRUE(std::regex_search(dom, m, std::regex("<title>images (\\d+) decoded (\\d+)</title>"))) << dom.substr(0, 400);
  EXPECT_EQ(m[1], "7") << "speed, engine map, fuel, phases, electrical, pedals, gear";
  EXPECT_EQ(m[1], m[2]) << "every image decoded";

  const fs::path shot = out.path() / "screenshot.png";
  chromium(out.path() / "profile-shot",
           "--window-size=1280,4000 --screenshot='" + shot.string() + "' 'file://" + (report / "report.html").string() + "'");
  ASSERT_TRUE(fs::exists(shot));
  EXPECT_GT(fs::file_size(shot), 100000u) << "a page of tables and plots, not a blank one";
  if (const char* keep = std::getenv("REPORT_TEST_KEEP")) fs::copy(out.path(), keep, fs::copy_options::recursive);
}

}  // namespace
