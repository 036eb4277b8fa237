#include "master/drive_cycle.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <fstream>

#include "master/error.h"

namespace master {

namespace {

double interpolate(const DriveCycle& c, std::size_t k, double t) {
  const double t0 = c.times[k];
  const double t1 = c.times[k + 1];
  const double v0 = c.speeds[k];
  const double v1 = c.speeds[k + 1];
  return v0 + (v1 - v0) * ((t - t0) / (t1 - t0));
}

}  // namespace

double DriveCycle::speedAt(double t) const {
  if (!(t > times.front())) return speeds.front();
  if (t >= times.back()) return speeds.back();
  const auto upper = std::upper_bound(times.begin(), times.end(), t);
  return interpolate(*this, static_cast<std::size_t>(upper - times.begin()) - 1, t);
}

double CycleCursor::speedAt(double t) {
  const std::size_t last = cycle_.times.size() - 1;
  if (!(t > cycle_.times.front())) return cycle_.speeds.front();
  if (t >= cycle_.times[last]) return cycle_.speeds[last];
  while (cycle_.times[segment_ + 1] <= t) ++segment_;
  return interpolate(cycle_, segment_, t);
}

DriveCycle cycleFromSegments(std::string name, const std::vector<CycleSegment>& segments) {
  DriveCycle c;
  c.name = std::move(name);
  c.times.push_back(0.0);
  c.speeds.push_back(0.0);
  for (const CycleSegment& s : segments) {
    c.times.push_back(c.times.back() + s.duration);
    c.speeds.push_back(s.endSpeed);
  }
  return c;
}

DriveCycle nedcCycle() {
  // Urban ECE-15: idle 11 s; 0 -> 15 in 4 s; 15 for 8 s; 15 -> 0 in 5 s; idle 21 s;
  // 0 -> 32 in 12 s; 32 for 24 s; 32 -> 0 in 11 s; idle 21 s; 0 -> 50 in 26 s; 50 for 12 s;
  // 50 -> 35 in 8 s; 35 for 13 s; 35 -> 0 in 12 s; idle 7 s.
  static const CycleSegment urban[] = {{11, 0},  {4, 15},  {8, 15},  {5, 0},   {21, 0},
                                       {12, 32}, {24, 32}, {11, 0},  {21, 0},  {26, 50},
                                       {12, 50}, {8, 35},  {13, 35}, {12, 0},  {7, 0}};
  // Extra-urban: idle 20 s; 0 -> 70 in 41 s; 70 for 50 s; 70 -> 50 in 8 s; 50 for 69 s;
  // 50 -> 70 in 13 s; 70 for 50 s; 70 -> 100 in 35 s; 100 for 30 s; 100 -> 120 in 20 s;
  // 120 for 10 s; 120 -> 0 in 34 s; idle 20 s.
  static const CycleSegment extraUrban[] = {{20, 0},   {41, 70},  {50, 70},  {8, 50},  {69, 50},
                                            {13, 70},  {50, 70},  {35, 100}, {30, 100}, {20, 120},
                                            {10, 120}, {34, 0},   {20, 0}};
  std::vector<CycleSegment> all;
  for (int i = 0; i < 4; ++i) all.insert(all.end(), std::begin(urban), std::end(urban));
  all.insert(all.end(), std::begin(extraUrban), std::end(extraUrban));
  return cycleFromSegments("NEDC", all);
}

namespace {

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

bool parseNumber(std::string_view text, double& out) {
  text = trim(text);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), out);
  return !text.empty() && error == std::errc() && end == text.data() + text.size();
}

}  // namespace

DriveCycle parseDriveCycle(std::istream& in, const std::string& source) {
  DriveCycle c;
  c.name = source;
  std::string raw;
  int line = 0;
  bool first = true;
  auto fail = [&](const std::string& reason) { return MasterError(source + ":" + std::to_string(line) + ": " + reason); };
  while (std::getline(in, raw)) {
    ++line;
    const std::string_view text = trim(raw);
    if (text.empty() || text.front() == '#') continue;
    const std::size_t comma = text.find(',');
    double t = 0.0;
    double v = 0.0;
    const bool numeric = comma != std::string_view::npos && text.find(',', comma + 1) == std::string_view::npos &&
                         parseNumber(text.substr(0, comma), t) && parseNumber(text.substr(comma + 1), v);
    if (!numeric) {
      // A first line that does not start with a number is the column header.
      const bool header = first && !text.empty() && !(std::isdigit(static_cast<unsigned char>(text.front())) ||
                                                       text.front() == '-' || text.front() == '+' || text.front() == '.');
      first = false;
      if (header) continue;
      throw fail("expected 'time_s,speed_kmh' with two numbers, found '" + std::string(text) + "'");
    }
    first = false;
    if (!std::isfinite(t) || !std::isfinite(v)) throw fail("time and speed must be finite");
    if (v < 0.0) throw fail("the speed must not be negative");
    if (c.times.empty() && t != 0.0) throw fail("the cycle must start at time 0");
    if (!c.times.empty() && !(t > c.times.back())) throw fail("the time must increase from row to row");
    c.times.push_back(t);
    c.speeds.push_back(v);
  }
  if (in.bad()) throw MasterError("cannot read drive cycle '" + source + "'");
  if (c.times.size() < 2) throw MasterError(source + ": a drive cycle needs at least two rows");
  return c;
}

DriveCycle readDriveCycle(const std::filesystem::path& file) {
  std::ifstream in(file);
  if (!in) throw MasterError("cannot open drive cycle '" + file.string() + "'");
  return parseDriveCycle(in, file.string());
}

}  // namespace master
