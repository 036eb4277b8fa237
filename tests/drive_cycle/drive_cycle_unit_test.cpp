// The DriveCycle unit through its built library, as a master drives it: the trace it reads from
// its resources folder or a path, the target speed, phase and end at each communication point,
// and the refusal of every trace it cannot use, with the file, line and reason.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "formats/cycle_file/cycle_reader.h"
#include "tests/support/unit_library.h"

namespace {

namespace fs = std::filesystem;
using test_support::MessageLog;
using test_support::UnitLibrary;

// Value references of the unit.
constexpr fmi2ValueReference targetSpeedVr = 0, durationVr = 1, distanceVr = 2;  // Real
constexpr fmi2ValueReference phaseVr = 0, phaseCountVr = 1;                       // Integer
constexpr fmi2ValueReference finishedVr = 0;                                      // Boolean
constexpr fmi2ValueReference cycleVr = 0;                                         // String

std::string fileUri(const fs::path& folder) {
  std::string uri = "file://";
  char escaped[4];
  for (unsigned char c : folder.string()) {
    if (std::isalnum(c) || c == '/' || c == '.' || c == '-' || c == '_') {
      uri += static_cast<char>(c);
    } else {
      std::snprintf(escaped, sizeof escaped, "%%%02X", c);
      uri += escaped;
    }
  }
  return uri;
}

UnitLibrary& library() {
  static UnitLibrary lib(DRIVECYCLE_LIBRARY);
  return lib;
}

const std::string& guid() {
  static const std::string g = test_support::readGuid(DRIVECYCLE_DESCRIPTION);
  return g;
}

class CycleUnit {
 public:
  explicit CycleUnit(const fs::path& resources) {
    c_ = library().fmi2Instantiate("cycle", fmi2CoSimulation, guid().c_str(), fileUri(resources).c_str(),
                                   &callbacks_, fmi2False, fmi2True);
    if (c_ == nullptr) throw std::runtime_error("fmi2Instantiate returned NULL");
  }
  ~CycleUnit() { library().fmi2FreeInstance(c_); }

  fmi2Status setCycle(const std::string& cycle) {
    const char* value = cycle.c_str();
    return library().fmi2SetString(c_, &cycleVr, 1, &value);
  }
  // Set-up and initialisation; the worst status of the three calls.
  fmi2Status initialise() {
    fmi2Status worst = library().fmi2SetupExperiment(c_, fmi2False, 0.0, 0.0, fmi2False, 0.0);
    worst = std::max(worst, library().fmi2EnterInitializationMode(c_));
    return std::max(worst, library().fmi2ExitInitializationMode(c_));
  }
  fmi2Status step(double tc, double hc) { return library().fmi2DoStep(c_, tc, hc, fmi2True); }
  double real(fmi2ValueReference vr) {
    double v = -1.0;
    EXPECT_EQ(library().fmi2GetReal(c_, &vr, 1, &v), fmi2OK);
    return v;
  }
  int integer(fmi2ValueReference vr) {
    int v = -1;
    EXPECT_EQ(library().fmi2GetInteger(c_, &vr, 1, &v), fmi2OK);
    return v;
  }
  bool finished() {
    fmi2Boolean v = fmi2False;
    EXPECT_EQ(library().fmi2GetBoolean(c_, &finishedVr, 1, &v), fmi2OK);
    return v == fmi2True;
  }
  fmi2Component component() const { return c_; }
  MessageLog& log() { return log_; }

 private:
  MessageLog log_;
  fmi2CallbackFunctions callbacks_{test_support::recordingLogger, nullptr, nullptr, nullptr, &log_};
  fmi2Component c_ = nullptr;
};

// A folder of the user's own, with a name that needs percent-encoding.
class UserFolder : public ::testing::Test {
 protected:
  UserFolder() {
    folder = fs::temp_directory_path() / ("drive cycle 100% " + std::to_string(::getpid()));
    fs::create_directories(folder);
  }
  ~UserFolder() override { fs::remove_all(folder); }
  void write(const std::string& name, const std::string& text) { std::ofstream(folder / name) << text; }
  fs::path folder;
};

TEST_F(UserFolder, FollowsTheTraceAtTheCommunicationPoints) {
  write("mine.csv",
        "# a trace of my own\n"
        "time_s;speed[m/s];phase\n"
        "0;0;start\n"
        "10;10\n"
        "10;5\n"
        "20;5;end\n");
  CycleUnit unit(folder);
  ASSERT_EQ(unit.setCycle("mine.csv"), fmi2OK);
  ASSERT_EQ(unit.initialise(), fmi2OK);
  EXPECT_EQ(unit.real(durationVr), 20.0);
  EXPECT_DOUBLE_EQ(unit.real(distanceVr), 0.1);
  EXPECT_EQ(unit.integer(phaseCountVr), 2);

  // Time at the start, then tc + hc after each step; 36 km/h at 10 s steps down to 18 km/h.
  struct Expected { double tc, hc, speed; int phase; bool finished; };
  const Expected expected[] = {{0, 0, 0.0, 1, false},  {0, 5, 18.0, 1, false},
                               {5, 4.5, 36.0 * (9.5 / 10.0), 1, false}, {9.5, 0.5, 18.0, 1, false},
                               {10, 10, 18.0, 2, true}, {20, 7.5, 18.0, 2, true}};
  for (const Expected& e : expected) {
    if (e.hc != 0.0) {
      ASSERT_EQ(unit.step(e.tc, e.hc), fmi2OK);
    }
    EXPECT_EQ(unit.real(targetSpeedVr), e.speed) << e.tc + e.hc;
    EXPECT_EQ(unit.integer(phaseVr), e.phase) << e.tc + e.hc;
    EXPECT_EQ(unit.finished(), e.finished) << e.tc + e.hc;
  }

  // The same trace by its absolute path, from an instance whose resources are elsewhere.
  CycleUnit other(fs::temp_directory_path());
  ASSERT_EQ(other.setCycle((folder / "mine.csv").string()), fmi2OK);
  ASSERT_EQ(other.initialise(), fmi2OK);
  EXPECT_EQ(other.real(durationVr), 20.0);
}

TEST_F(UserFolder, RefusesEveryTraceItCannotUseNamingFileLineAndReason) {
  fs::create_directories(folder / "folder.csv");
  const struct {
    const char* file;
    const char* text;  // null: not written
    const char* message;
  } cases[] = {
      {"missing.csv", nullptr, "missing.csv: no such file"},
      {"folder.csv", nullptr, "folder.csv: a folder, not a cycle file"},
      {"empty.csv", "", "empty.csv: the file is empty"},
      {"header.csv", "time_s,speed_kmh\n# nothing else\n", "header.csv: a drive cycle needs at least two rows of time and speed, found 0"},
      {"one.csv", "0,0\n", "one.csv: a drive cycle needs at least two rows of time and speed, found 1"},
      {"number.csv", "time_s,speed_kmh\n0,0\n1,1O\n", "number.csv:3: malformed speed '1O'"},
      {"time.csv", "0,0\nx1,1\n", "time.csv:2: malformed time 'x1'"},
      {"back.csv", "0,0\n2,5\n1.5,6\n", "back.csv:3: the time goes back from 2 s to 1.5 s"},
      {"negative.csv", "0,0\n1,-0.5\n", "negative.csv:2: the speed -0.5 is negative"},
      {"nan.csv", "0,0\n1,nan\n", "nan.csv:2: the speed nan is not finite"},
      {"infinite.csv", "0,0\ninf,1\n", "infinite.csv:2: the time inf is not finite"},
      {"fields.csv", "time,speed,phase\n0,0\n1,2,city,4\n", "fields.csv:3: expected a time and a speed and at most the 3 columns the header names separated by ',', found 4 fields"},
      {"unit.csv", "time,speed[ft/s]\n0,0\n1,1\n", "unit.csv:1: unknown speed unit in the header column 'speed[ft/s]'"},
      {"still.csv", "3,0\n3,5\n", "still.csv: the trace lasts 0 s"},
      {"phase.csv", "time,speed,phase\n0,0\n1,5,road\n", "phase.csv:3: the phase 'road' starts here, but the first row (line 2) names no phase"},
  };
  for (const auto& c : cases) {
    if (c.text != nullptr) write(c.file, c.text);
    CycleUnit unit(folder);
    ASSERT_EQ(unit.setCycle(c.file), fmi2OK);
    EXPECT_EQ(unit.initialise(), fmi2Error) << c.file;
    ASSERT_NE(unit.log().last(), nullptr);
    EXPECT_EQ(unit.log().last()->status, fmi2Error);
    const std::string& message = unit.log().last()->message;
    // The unit's messages are printf formats: the '%' of the folder's name comes doubled.
    std::string escaped;
    for (char ch : folder.string()) escaped += ch == '%' ? std::string("%%") : std::string(1, ch);
    EXPECT_NE(message.find(std::string("The drive cycle '") + c.file + "' cannot be used: " + escaped + "/"),
              std::string::npos) << message;
    EXPECT_NE(message.find(c.message), std::string::npos) << message;
    // Without a trace there is nothing to step through.
    EXPECT_EQ(unit.step(0.0, 0.01), fmi2Error) << c.file;
  }
  CycleUnit unit(folder);
  ASSERT_EQ(unit.setCycle(""), fmi2OK);
  EXPECT_EQ(unit.initialise(), fmi2Error);
  EXPECT_TRUE(unit.log().contains("The parameter cycle is empty"));
  // A device is never read: it could go on forever.
  ASSERT_EQ(unit.setCycle("/dev/zero"), fmi2OK);
  EXPECT_EQ(library().fmi2ExitInitializationMode(unit.component()), fmi2Error);
  EXPECT_TRUE(unit.log().contains("The drive cycle '/dev/zero' cannot be used: /dev/zero: not a regular file"));
}

// A trace repaired between entering and leaving initialisation is read at the exit; a note
// tells of a shifted start.
TEST_F(UserFolder, ReadsTheTraceAgainWhenTheParameterChangesDuringInitialisation) {
  write("late.csv", "100,0\n110,20\n");
  CycleUnit unit(folder);
  ASSERT_EQ(unit.setCycle("absent.csv"), fmi2OK);
  ASSERT_EQ(library().fmi2SetupExperiment(unit.component(), fmi2False, 0.0, 0.0, fmi2False, 0.0), fmi2OK);
  EXPECT_EQ(library().fmi2EnterInitializationMode(unit.component()), fmi2Error);
  ASSERT_EQ(unit.setCycle("late.csv"), fmi2OK);
  EXPECT_EQ(library().fmi2ExitInitializationMode(unit.component()), fmi2OK);
  EXPECT_TRUE(unit.log().contains("late.csv: the first time stamp is 100 s; every time is shifted by -100 s"));
  EXPECT_EQ(unit.real(durationVr), 10.0);
  ASSERT_EQ(unit.step(0.0, 5.0), fmi2OK);
  EXPECT_EQ(unit.real(targetSpeedVr), 10.0);

  // The parameter reads back; a text that does not fit, a NULL one and a reference outside the
  // map are refused.
  fmi2String value = nullptr;
  ASSERT_EQ(library().fmi2GetString(unit.component(), &cycleVr, 1, &value), fmi2OK);
  EXPECT_STREQ(value, "late.csv");
  const std::string huge(5000, 'x');
  EXPECT_EQ(unit.setCycle(huge), fmi2Error);
  EXPECT_TRUE(unit.log().contains("is too long (5000 bytes, at most 4095)"));
  const fmi2String nullValue = nullptr;
  EXPECT_EQ(library().fmi2SetString(unit.component(), &cycleVr, 1, &nullValue), fmi2Error);
  const fmi2ValueReference outside = 1;
  EXPECT_EQ(library().fmi2GetString(unit.component(), &outside, 1, &value), fmi2Error);
  EXPECT_TRUE(unit.log().contains("Value reference 1 is not a valid String variable of this FMU (it has 1)"));
}

// Every standard cycle from the packaged resources, by name; the target speed at each
// communication point is the reader's interpolation at tc + hc, to the bit.
TEST(StandardCycles, AreFoundByNameInThePackagedResources) {
  for (const char* name : {"wltc", "nedc", "udds", "ftp75", "hwfet", "us06"}) {
    CycleUnit unit(DRIVECYCLE_RESOURCES);
    ASSERT_EQ(unit.setCycle(name), fmi2OK);
    ASSERT_EQ(unit.initialise(), fmi2OK) << name << ": " << (unit.log().last() ? unit.log().last()->message : "");
    const drive_cycle::CycleTrace trace =
        *drive_cycle::readCycle(drive_cycle::resolveCycle(name, DRIVECYCLE_RESOURCES)).trace;
    EXPECT_EQ(unit.real(durationVr), trace.duration());
    EXPECT_EQ(unit.real(distanceVr), trace.distanceKm());
    const double h = 0.37;
    for (int k = 0; k * h < trace.duration() + 2.0; ++k) {
      const double tc = k * h;
      ASSERT_EQ(unit.step(tc, h), fmi2OK);
      ASSERT_EQ(unit.real(targetSpeedVr), trace.speedAt(tc + h)) << name << " at " << tc + h;
      ASSERT_EQ(unit.integer(phaseVr), trace.phaseAt(tc + h)) << name << " at " << tc + h;
      ASSERT_EQ(unit.finished(), tc + h >= trace.duration()) << name << " at " << tc + h;
    }
  }
}

}  // namespace
