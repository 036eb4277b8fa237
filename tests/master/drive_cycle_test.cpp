// The built-in NEDC and cycles read from CSV files.
#include <gtest/gtest.h>

#include <sstream>

#include "master/drive_cycle.h"
#include "master/error.h"

namespace master {
namespace {

// Area under the target speed, km/h * s: exact for straight lines between breakpoints.
double area(const DriveCycle& c) {
  double sum = 0.0;
  for (std::size_t i = 1; i < c.times.size(); ++i) {
    sum += 0.5 * (c.speeds[i - 1] + c.speeds[i]) * (c.times[i] - c.times[i - 1]);
  }
  return sum;
}

TEST(Nedc, LastsElevenHundredEightySecondsAndCoversItsDistance) {
  const DriveCycle c = nedcCycle();
  EXPECT_EQ(c.duration(), 1180.0);
  EXPECT_EQ(c.times.front(), 0.0);
  EXPECT_EQ(c.speeds.front(), 0.0);
  EXPECT_EQ(c.speeds.back(), 0.0);
  // Four urban cycles of 3578.5 km/h*s and one extra-urban cycle of 24560 km/h*s.
  EXPECT_EQ(area(c), 4 * 3578.5 + 24560.0);
  for (std::size_t i = 1; i < c.times.size(); ++i) EXPECT_GT(c.times[i], c.times[i - 1]);
}

TEST(Nedc, UrbanSegmentEndPointsRepeatFourTimes) {
  const DriveCycle c = nedcCycle();
  // (time within the urban cycle, speed) at every segment end.
  const std::pair<double, double> ends[] = {{11, 0},   {15, 15},  {23, 15},  {28, 0},   {49, 0},
                                            {61, 32},  {85, 32},  {96, 0},   {117, 0},  {143, 50},
                                            {155, 50}, {163, 35}, {176, 35}, {188, 0},  {195, 0}};
  for (int cycle = 0; cycle < 4; ++cycle) {
    for (const auto& [t, v] : ends) EXPECT_EQ(c.speedAt(195.0 * cycle + t), v) << "urban " << cycle << " t " << t;
  }
  EXPECT_EQ(c.speedAt(13.0), 7.5);          // half-way up the first ramp
  EXPECT_EQ(c.speedAt(159.0), 42.5);        // half-way down from 50 to 35
}

TEST(Nedc, ExtraUrbanSegmentEndPoints) {
  const DriveCycle c = nedcCycle();
  const std::pair<double, double> ends[] = {{20, 0},    {61, 70},   {111, 70},  {119, 50}, {188, 50},
                                            {201, 70},  {251, 70},  {286, 100}, {316, 100}, {336, 120},
                                            {346, 120}, {380, 0},   {400, 0}};
  for (const auto& [t, v] : ends) EXPECT_EQ(c.speedAt(780.0 + t), v) << "t " << t;
  EXPECT_EQ(c.speedAt(780.0 + 363.0), 60.0);  // half-way down from 120
}

TEST(DriveCycle, HoldsTheEndValuesOutsideTheCycle) {
  const DriveCycle c = cycleFromSegments("ramp", {{10, 20}});
  EXPECT_EQ(c.speedAt(-1.0), 0.0);
  EXPECT_EQ(c.speedAt(10.0), 20.0);
  EXPECT_EQ(c.speedAt(50.0), 20.0);
}

TEST(CycleCursor, GivesTheSameValuesAsTheSearchWhenWalkingForward) {
  const DriveCycle c = nedcCycle();
  CycleCursor cursor(c);
  for (int k = 0; k <= 118000; k += 7) {
    const double t = k * 0.01;
    ASSERT_EQ(cursor.speedAt(t), c.speedAt(t)) << "t " << t;
  }
  EXPECT_EQ(cursor.speedAt(2000.0), 0.0);
}

DriveCycle parse(const std::string& text) {
  std::istringstream in(text);
  return parseDriveCycle(in, "cycle.csv");
}

TEST(CycleFile, ReadsRowsWithHeaderCommentsAndWindowsLineEnds) {
  const DriveCycle c = parse("time_s,speed_kmh\r\n# warm-up\r\n0,0\r\n\r\n10, 36\r\n 20 ,36\r\n30,0\r\n");
  ASSERT_EQ(c.times.size(), 4u);
  EXPECT_EQ(c.duration(), 30.0);
  EXPECT_EQ(c.speedAt(5.0), 18.0);
  EXPECT_EQ(c.speedAt(15.0), 36.0);
  EXPECT_EQ(c.speedAt(25.0), 18.0);
  EXPECT_EQ(parse("0,0\n1.5,2e1\n").speedAt(1.5), 20.0);  // no header, exponent form
}

TEST(CycleFile, ReportsAMalformedFileWithItsLineNumber) {
  const std::pair<const char*, const char*> cases[] = {
      {"time_s,speed_kmh\n0,0\n10,fast\n", "cycle.csv:3: expected 'time_s,speed_kmh'"},
      {"0,0\n10,20,30\n", "cycle.csv:2: expected"},
      {"0,0\n10\n", "cycle.csv:2: expected"},
      {"0,0\n10,20\ntime_s,speed_kmh\n", "cycle.csv:3: expected"},  // a header only comes first
      {"0,0\n10,20\n10,30\n", "cycle.csv:3: the time must increase"},
      {"0,0\n10,20\n5,30\n", "cycle.csv:3: the time must increase"},
      {"0,0\n10,-5\n", "cycle.csv:2: the speed must not be negative"},
      {"1,0\n10,5\n", "cycle.csv:1: the cycle must start at time 0"},
      {"0,0\n10,nan\n", "cycle.csv:2: time and speed must be finite"},
      {"0,0\ninf,5\n", "cycle.csv:2: time and speed must be finite"},
      {"# only\n0,0\n", "cycle.csv: a drive cycle needs at least two rows"},
      {"", "cycle.csv: a drive cycle needs at least two rows"},
  };
  for (const auto& [text, expected] : cases) {
    try {
      parse(text);
      ADD_FAILURE() << "accepted: " << text;
    } catch (const MasterError& e) {
      EXPECT_NE(std::string(e.what()).find(expected), std::string::npos) << e.what();
    }
  }
}

TEST(CycleFile, AMissingFileIsAnError) {
  EXPECT_THROW(readDriveCycle("/nonexistent/cycle.csv"), MasterError);
}

}  // namespace
}  // namespace master
