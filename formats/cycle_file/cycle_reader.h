// Drive cycle files: a speed trace over time, read into a CycleTrace, and the target speed and
// phase at any time. Standard library only, and neither model nor engine code: the drive cycle
// unit and vehicle-sim read cycles with this one reader.
//
// The format: one row per line, time in seconds then speed, separated by ',' ';' or a tab (the
// first row decides; with ';' or a tab a decimal comma is read as a point). An optional header
// line comes first. Its time column may end in the unit s (`time_s`, `t [s]`); its speed column
// may end in a unit, km/h (the default; also kmh, kph, kmph), mph or m/s (also mps, ms), as in
// `time_s,speed_kmh`, `time,speed[mph]` or `t;v (m/s)`, or in a name of the speed (`speed`,
// `target speed`): any other last word is an unknown unit, and the file is refused. Only a
// column headed `phase` (or `phase name`) names the phase a row begins or belongs to (a row
// without one stays in the phase of the row before); any other column, and every column beyond
// the speed in a file without a header, is ignored with a warning. '#' starts a comment, to the
// end of the line; blank lines are skipped. A time stamp may repeat (a step change of the speed:
// the later row holds from that time on) but never go back. A first time other than 0 is shifted
// to 0, with a note.
#pragma once

#include <cstddef>
#include <filesystem>
#include <istream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace drive_cycle {

struct CycleTrace {
  std::vector<double> time;      // s, from 0, never decreasing
  std::vector<double> speedKmh;  // km/h, finite and not negative
  std::vector<std::string> phaseNames;  // in order of first appearance; empty without phases
  std::vector<int> phaseOfRow;   // per row: index into phaseNames, or -1 without phases
  std::string source;            // the file the trace came from
  std::vector<std::string> notes;  // what the reader changed (a shifted start), for the log
  std::vector<std::string> warnings;  // what it left unread (a column that names no phase)

  double duration() const { return time.back(); }
  // Trapezoid of the speed over time, in km.
  double distanceKm() const;
  // The row that starts the segment holding time t: the last row whose time is not after t (the
  // later of repeated time stamps), 0 before the start, the last row at or after the end.
  std::size_t rowAt(double t) const;
  // The speed at time t: linear between rows, the first speed before the start, the last one
  // from the end on.
  double speedAt(double t) const;
  // The 1-based phase number at time t; 0 for a trace without phases.
  int phaseAt(double t) const;
};

// A trace, or the reason why there is none: "<file>:<line>: <reason>" (or "<file>: <reason>"
// for the file as a whole).
struct CycleReadResult {
  std::optional<CycleTrace> trace;
  std::string error;
};

CycleReadResult parseCycle(std::istream& in, const std::string& source);
CycleReadResult readCycle(const std::filesystem::path& file);

// The file of a standard cycle name (`wltc`, `nedc`, `udds`, `ftp75`, `hwfet`, `us06`, in any
// case), or null for any other name.
const char* standardCycleFile(std::string_view name);

// Where the cycle `name` is: an absolute path as it is; a standard name, or any other name, in
// `folder`.
std::filesystem::path resolveCycle(std::string_view name, const std::filesystem::path& folder);

}  // namespace drive_cycle
