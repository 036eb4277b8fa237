// A drive cycle: the target speed over time as breakpoints joined by straight lines. The NEDC
// is built in; any other cycle comes from a CSV file of time_s,speed_kmh rows.
#pragma once

#include <cstddef>
#include <filesystem>
#include <istream>
#include <string>
#include <vector>

namespace master {

struct DriveCycle {
  std::string name;
  std::vector<double> times;   // s, strictly increasing, starting at 0
  std::vector<double> speeds;  // km/h, at the same breakpoints

  double duration() const { return times.back(); }
  // The target at time t: linear between breakpoints, held beyond the ends.
  double speedAt(double t) const;
};

// A stretch of a cycle: its length and the speed at its end; the speed ramps linearly from
// the end speed of the stretch before (0 at the start).
struct CycleSegment {
  double duration;
  double endSpeed;
};

DriveCycle cycleFromSegments(std::string name, const std::vector<CycleSegment>& segments);

// Four urban ECE-15 cycles (195 s each) and one extra-urban cycle (400 s): 1180 s.
DriveCycle nedcCycle();

// Rows of "time_s,speed_kmh"; an optional header line first, '#' comments and blank lines
// anywhere. Throws MasterError "<source>:<line>: <reason>" for a malformed row, a time that
// does not increase, a negative or non-finite value, a first time other than 0, or fewer than
// two rows.
DriveCycle parseDriveCycle(std::istream& in, const std::string& source);
DriveCycle readDriveCycle(const std::filesystem::path& file);

// Walks a cycle forward in time without searching: each call continues from the segment of the
// previous one. Times must not decrease between calls.
class CycleCursor {
 public:
  explicit CycleCursor(const DriveCycle& cycle) : cycle_(cycle) {}
  double speedAt(double t);

 private:
  const DriveCycle& cycle_;
  std::size_t segment_ = 0;
};

}  // namespace master
