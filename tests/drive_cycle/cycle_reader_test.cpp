// The forms of a cycle file the reader accepts, and the standard cycles as it reads them against
// the figures of their README.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <sstream>

#include "formats/cycle_file/cycle_reader.h"

namespace drive_cycle {
namespace {

CycleTrace parsed(const std::string& text) {
  std::istringstream in(text);
  CycleReadResult r = parseCycle(in, "test.csv");
  if (!r.trace) ADD_FAILURE() << r.error;
  return r.trace.value_or(CycleTrace{{0, 1}, {0, 0}, {}, {-1, -1}, "", {}, {}});
}

std::string refusal(const std::string& text) {
  std::istringstream in(text);
  const CycleReadResult r = parseCycle(in, "test.csv");
  return r.trace ? std::string("read") : r.error;
}

TEST(CycleReader, ReadsEveryFormOfTheFormat) {
  // No header, tab separators, decimal commas, a comment after a row, CRLF line ends, a BOM.
  CycleTrace a = parsed("\xEF\xBB\xBF# made by hand\r\n0\t0\r\n2\t10,5  # accelerating\r\n\r\n4\t0\r\n");
  EXPECT_EQ(a.time, (std::vector<double>{0, 2, 4}));
  EXPECT_EQ(a.speedKmh, (std::vector<double>{0, 10.5, 0}));
  EXPECT_TRUE(a.phaseNames.empty());
  EXPECT_EQ(a.phaseOfRow, (std::vector<int>{-1, -1, -1}));

  // The speed unit in the header; semicolons.
  EXPECT_EQ(parsed("time;speed[mph]\n0;0\n1;10\n").speedKmh[1], 10 * 1.609344);
  EXPECT_EQ(parsed("t,v (m/s)\n0,0\n1,10\n").speedKmh[1], 36.0);
  EXPECT_EQ(parsed("time_s,speed_kmh\n0,0\n1,10\n").speedKmh[1], 10.0);

  // A start other than 0 is shifted, with a note; phases by name, a row without one continuing.
  CycleTrace b = parsed("time_s,speed_kmh,phase\n5,0,city\n6,20\n6,30,road\n8,0,city\n");
  EXPECT_EQ(b.time, (std::vector<double>{0, 1, 1, 3}));
  ASSERT_EQ(b.notes.size(), 1u);
  EXPECT_NE(b.notes[0].find("shifted by -5 s"), std::string::npos) << b.notes[0];
  EXPECT_EQ(b.phaseNames, (std::vector<std::string>{"city", "road"}));
  EXPECT_EQ(b.phaseOfRow, (std::vector<int>{0, 0, 1, 0}));
  // The repeated time stamp is a step: the later row holds from that time on.
  EXPECT_EQ(b.speedAt(0.5), 10.0);
  EXPECT_EQ(b.speedAt(1.0), 30.0);
  EXPECT_EQ(b.phaseAt(1.0), 2);
  EXPECT_EQ(b.speedAt(-1.0), 0.0);
  EXPECT_EQ(b.speedAt(99.0), 0.0);
}

// A unit the reader does not know refuses the file; a column that is not headed `phase` never
// becomes phases: it is ignored with a warning.
TEST(CycleReader, UnknownUnitsAreRefusedAndOnlyAPhaseColumnNamesPhases) {
  EXPECT_EQ(refusal("time,speed_furlong\n0,0\n1,1\n"),
            "test.csv:1: unknown speed unit in the header column 'speed_furlong' (km/h, mph or m/s)");
  EXPECT_EQ(refusal("time,speed [furlong]\n0,0\n1,1\n").substr(0, 30), "test.csv:1: unknown speed unit");
  EXPECT_EQ(refusal("time [min],speed\n0,0\n1,1\n").substr(0, 29), "test.csv:1: unknown time unit");
  EXPECT_EQ(parsed("t,target speed\n0,0\n1,10\n").speedKmh[1], 10.0);
  EXPECT_EQ(parsed("t,speed_ms\n0,0\n1,10\n").speedKmh[1], 36.0);

  const CycleTrace grade = parsed("time_s,speed_kmh,grade\n0,0,0\n10,20,1.5\n20,0,0\n");
  EXPECT_TRUE(grade.phaseNames.empty());
  EXPECT_EQ(grade.phaseOfRow, (std::vector<int>{-1, -1, -1}));
  ASSERT_EQ(grade.warnings.size(), 1u);
  EXPECT_EQ(grade.warnings[0], "test.csv:2: column 3 ('grade') is ignored: only a column headed 'phase' names the phases");
  const CycleTrace bare = parsed("0,0,a\n10,20,b\n");
  EXPECT_TRUE(bare.phaseNames.empty());
  EXPECT_EQ(bare.warnings.size(), 1u);
  const CycleTrace named = parsed("time;grade;speed;Phase Name\n0;1;0;go\n1;2;5\n");
  EXPECT_EQ(named.phaseNames, (std::vector<std::string>{"go"})) << "the phase column is found by its header";
  EXPECT_EQ(named.speedKmh[1], 2.0) << "the speed is the second column";
  EXPECT_EQ(named.warnings.size(), 1u);
  EXPECT_EQ(refusal("time,speed,phase\n0,0,a\n1,1,b,c\n").substr(0, 44), "test.csv:3: expected a time and a speed and ");
}

// The README's table: file, cycle, duration s, distance km, ...
struct Figures {
  std::string file;
  double duration;
  double distanceKm;
};

std::vector<Figures> readmeFigures() {
  std::ifstream in(CYCLES_README);
  std::vector<Figures> rows;
  const std::regex row(R"(^\| `([^`]+)` \|[^|]*\| ([0-9.]+) \| ([0-9.]+) \|)");
  for (std::string line; std::getline(in, line);) {
    std::smatch m;
    if (std::regex_search(line, m, row)) rows.push_back({m[1], std::stod(m[2]), std::stod(m[3])});
  }
  return rows;
}

TEST(CycleReader, StandardCyclesMatchTheirReadme) {
  const std::vector<Figures> figures = readmeFigures();
  ASSERT_EQ(figures.size(), 6u);
  for (const char* name : {"wltc", "nedc", "udds", "ftp75", "hwfet", "us06"}) {
    const std::string file = standardCycleFile(name);
    const CycleReadResult r = readCycle(resolveCycle(name, DRIVECYCLE_RESOURCES));
    ASSERT_TRUE(r.trace) << r.error;
    EXPECT_TRUE(r.trace->warnings.empty()) << name;
    bool listed = false;
    for (const Figures& f : figures) {
      if (f.file != file) continue;
      listed = true;
      EXPECT_EQ(r.trace->duration(), f.duration) << name;
      EXPECT_NEAR(r.trace->distanceKm(), f.distanceKm, 0.0005) << name;
    }
    EXPECT_TRUE(listed) << file;
  }

  // The WLTC's phases and their distances (README: 3.095, 4.756, 7.162, 8.254 km).
  const CycleTrace wltc = *readCycle(resolveCycle("WLTC", DRIVECYCLE_RESOURCES)).trace;
  ASSERT_EQ(wltc.phaseNames, (std::vector<std::string>{"low", "medium", "high", "extra-high"}));
  double km[4] = {0, 0, 0, 0};
  for (std::size_t k = 0; k + 1 < wltc.time.size(); ++k) {
    km[wltc.phaseOfRow[k]] += (wltc.time[k + 1] - wltc.time[k]) * (wltc.speedKmh[k] + wltc.speedKmh[k + 1]) / 7200.0;
  }
  EXPECT_NEAR(km[0], 3.095, 0.0005);
  EXPECT_NEAR(km[1], 4.756, 0.0005);
  EXPECT_NEAR(km[2], 7.162, 0.0005);
  EXPECT_NEAR(km[3], 8.254, 0.0005);
  EXPECT_EQ(readCycle(resolveCycle("nedc", DRIVECYCLE_RESOURCES)).trace->phaseAt(780.0), 2);
  EXPECT_EQ(readCycle(resolveCycle("ftp75", DRIVECYCLE_RESOURCES)).trace->phaseNames.size(), 3u);
}

}  // namespace
}  // namespace drive_cycle
