#include "formats/cycle_file/cycle_reader.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <initializer_list>
#include <fstream>
#include <system_error>

namespace drive_cycle {

namespace {

struct StandardCycle {
  const char* name;
  const char* file;
};

constexpr StandardCycle standardCycles[] = {
    {"wltc", "wltc-class3b.csv"}, {"nedc", "nedc.csv"},   {"udds", "udds.csv"},
    {"ftp75", "ftp75.csv"},       {"hwfet", "hwfet.csv"}, {"us06", "us06.csv"},
};

// Far more than any drive cycle needs (a day at 100 rows per second is some 100 MB).
constexpr std::uintmax_t maxFileBytes = std::uintmax_t{256} << 20;

// Factors from the speed unit a header names to km/h.
constexpr double kmhPerMph = 1.609344;
constexpr double kmhPerMs = 3.6;

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

std::string lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

std::vector<std::string_view> split(std::string_view line, char separator) {
  std::vector<std::string_view> fields;
  for (;;) {
    const std::size_t at = line.find(separator);
    fields.push_back(trim(line.substr(0, at)));
    if (at == std::string_view::npos) return fields;
    line.remove_prefix(at + 1);
  }
}

// The whole field as a number; with a separator other than ',' a decimal comma is accepted.
bool parseNumber(std::string_view field, char separator, double& out) {
  std::string text(field);
  if (separator != ',' && text.find('.') == std::string::npos) {
    std::replace(text.begin(), text.end(), ',', '.');
  }
  std::string_view view(text);
  if (!view.empty() && view.front() == '+') view.remove_prefix(1);
  const auto [end, error] = std::from_chars(view.data(), view.data() + view.size(), out);
  return !view.empty() && error == std::errc() && end == view.data() + view.size();
}

std::string numberText(double v) {
  char buffer[32];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, v);
  return std::string(buffer, result.ptr);
}

// The words of a header column: split at spaces, '_' and brackets, so that `speed_kmh`,
// `speed [mph]` and `v (m/s)` end in their unit.
std::vector<std::string> words(std::string_view column) {
  std::vector<std::string> out;
  std::string word;
  for (const char c : lower(column)) {
    if (c == ' ' || c == '\t' || c == '_' || c == '[' || c == ']' || c == '(' || c == ')') {
      if (!word.empty()) out.push_back(std::move(word));
      word.clear();
    } else {
      word += c;
    }
  }
  if (!word.empty()) out.push_back(std::move(word));
  return out;
}

bool oneOf(const std::string& word, std::initializer_list<const char*> names) {
  return std::any_of(names.begin(), names.end(), [&word](const char* n) { return word == n; });
}

// The factor to km/h of the speed column a header names: its last word is a unit (km/h, kmh,
// kph, kmph; mph; m/s, mps, ms), or a name of the speed itself (then km/h, as for a column of
// one word); anything else is an unknown unit.
bool speedFactor(std::string_view column, double& factor) {
  const std::vector<std::string> w = words(column);
  const std::string last = w.empty() ? std::string() : w.back();
  factor = 1.0;
  if (w.size() <= 1 || oneOf(last, {"km/h", "kmh", "kph", "kmph", "speed", "velocity", "v"})) return true;
  if (oneOf(last, {"mph"})) {
    factor = kmhPerMph;
    return true;
  }
  if (oneOf(last, {"m/s", "mps", "ms"})) {
    factor = kmhPerMs;
    return true;
  }
  return false;
}

// Whether the time column a header names is in seconds: its last word is s, sec, secs, second
// or seconds, or a name of the time itself (time, t), or it is a single word.
bool inSeconds(std::string_view column) {
  const std::vector<std::string> w = words(column);
  return w.size() <= 1 || oneOf(w.back(), {"s", "sec", "secs", "second", "seconds", "time", "t"});
}

// A header column that names the phases: `phase`, `phase_name` or `phase name`, in any case.
bool isPhaseColumn(std::string_view column) {
  const std::vector<std::string> w = words(column);
  return (w.size() == 1 && w[0] == "phase") || (w.size() == 2 && w[0] == "phase" && w[1] == "name");
}

class Parser {
 public:
  explicit Parser(std::string source) { trace_.source = std::move(source); }

  CycleReadResult run(std::istream& in) {
    std::string raw;
    while (std::getline(in, raw)) {
      ++line_;
      if (!error_.empty()) break;
      std::string_view text(raw);
      if (line_ == 1 && text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
      text = trim(text.substr(0, text.find('#')));
      if (text.empty()) continue;
      ++contentLines_;
      if (separator_ == '\0') separator_ = text.find('\t') != std::string_view::npos ? '\t'
                                           : text.find(';') != std::string_view::npos ? ';'
                                                                                      : ',';
      row(split(text, separator_));
    }
    if (error_.empty() && in.bad()) error_ = trace_.source + ": cannot read the file";
    if (error_.empty()) finish();
    if (!error_.empty()) return {std::nullopt, error_};
    return {std::move(trace_), ""};
  }

 private:
  void fail(const std::string& reason) {
    if (error_.empty()) error_ = trace_.source + ":" + std::to_string(line_) + ": " + reason;
  }

  void row(const std::vector<std::string_view>& fields) {
    double t = 0.0;
    const bool numeric = parseNumber(fields[0], separator_, t);
    if (!numeric && contentLines_ == 1) {
      header(fields);
      return;
    }
    if (fields.size() < 2 || (headerColumns_ > 0 && fields.size() > headerColumns_)) {
      fail("expected a time and a speed" +
           std::string(headerColumns_ > 2 ? " and at most the " + std::to_string(headerColumns_) + " columns the header names"
                                           : std::string()) +
           " separated by '" + std::string(separator_ == '\t' ? "tab" : std::string(1, separator_)) + "', found " +
           std::to_string(fields.size()) + " field" + (fields.size() == 1 ? "" : "s"));
      return;
    }
    double v = 0.0;
    if (!numeric) return fail("malformed time '" + std::string(fields[0]) + "'");
    if (!parseNumber(fields[1], separator_, v)) return fail("malformed speed '" + std::string(fields[1]) + "'");
    if (!std::isfinite(t)) return fail("the time " + std::string(fields[0]) + " is not finite");
    if (!std::isfinite(v)) return fail("the speed " + std::string(fields[1]) + " is not finite");
    if (v < 0.0) return fail("the speed " + std::string(fields[1]) + " is negative");
    if (!trace_.time.empty() && t < trace_.time.back()) {
      return fail("the time goes back from " + numberText(trace_.time.back()) + " s to " + numberText(t) + " s");
    }
    if (phaseColumn_ > 0 && fields.size() > phaseColumn_ && !fields[phaseColumn_].empty()) phase(fields[phaseColumn_]);
    if (error_.empty()) ignored(fields);
    const double kmh = factor_ == 1.0 ? v : v * factor_;
    if (!std::isfinite(kmh)) return fail("the speed " + std::string(fields[1]) + " is beyond any speed in km/h");
    trace_.time.push_back(t);
    trace_.speedKmh.push_back(kmh);
    trace_.phaseOfRow.push_back(phase_);
    if (trace_.time.size() == 1) firstRowLine_ = line_;
  }

  // Only a column headed `phase` names phases: any other column beyond time and speed is read by
  // nothing, which the first row that has a value in it says once.
  void ignored(const std::vector<std::string_view>& fields) {
    for (std::size_t c = 2; c < fields.size(); ++c) {
      if (c == phaseColumn_ || fields[c].empty() || (c < warned_.size() && warned_[c])) continue;
      if (warned_.size() <= c) warned_.resize(c + 1, false);
      warned_[c] = true;
      const std::string name = c < headerNames_.size() ? "'" + headerNames_[c] + "'" : "without a header";
      trace_.warnings.push_back(trace_.source + ":" + std::to_string(line_) + ": column " + std::to_string(c + 1) +
                                " (" + name + ") is ignored: only a column headed 'phase' names the phases");
    }
  }

  void header(const std::vector<std::string_view>& fields) {
    headerColumns_ = fields.size();
    for (const std::string_view f : fields) headerNames_.emplace_back(f);
    if (!inSeconds(fields[0])) {
      return fail("unknown time unit in the header column '" + std::string(fields[0]) + "' (times are in s)");
    }
    if (fields.size() >= 2 && !speedFactor(fields[1], factor_)) {
      return fail("unknown speed unit in the header column '" + std::string(fields[1]) + "' (km/h, mph or m/s)");
    }
    for (std::size_t c = 2; c < fields.size(); ++c) {
      if (isPhaseColumn(fields[c]) && phaseColumn_ == 0) phaseColumn_ = c;
    }
  }

  void phase(std::string_view name) {
    if (phase_ < 0 && !trace_.time.empty()) {
      return fail("the phase '" + std::string(name) + "' starts here, but the first row (line " +
                  std::to_string(firstRowLine_) + ") names no phase");
    }
    const auto found = std::find(trace_.phaseNames.begin(), trace_.phaseNames.end(), name);
    phase_ = static_cast<int>(found - trace_.phaseNames.begin());
    if (found == trace_.phaseNames.end()) trace_.phaseNames.emplace_back(name);
  }

  void finish() {
    const std::size_t rows = trace_.time.size();
    if (contentLines_ == 0) {
      error_ = trace_.source + ": the file is empty";
      return;
    }
    if (rows < 2) {
      error_ = trace_.source + ": a drive cycle needs at least two rows of time and speed, found " +
               std::to_string(rows);
      return;
    }
    const double start = trace_.time.front();
    if (!(trace_.time.back() > start)) {
      error_ = trace_.source + ": the trace lasts 0 s (every row is at " + numberText(start) + " s)";
      return;
    }
    if (!std::isfinite(trace_.time.back() - start)) {
      error_ = trace_.source + ": the trace from " + numberText(start) + " s to " + numberText(trace_.time.back()) +
               " s lasts longer than any time in s";
      return;
    }
    if (start != 0.0) {
      for (double& t : trace_.time) t = t - start;
    }
    if (!std::isfinite(trace_.distanceKm())) {
      error_ = trace_.source + ": the trace covers more than any distance in km (times up to " +
               numberText(trace_.time.back()) + " s)";
      return;
    }
    if (start != 0.0) {
      trace_.notes.push_back(trace_.source + ": the first time stamp is " + numberText(start) +
                             " s; every time is shifted by " + numberText(-start) + " s to start at 0");
    }
  }

  CycleTrace trace_;
  std::string error_;
  int line_ = 0;
  int contentLines_ = 0;
  int firstRowLine_ = 0;
  char separator_ = '\0';
  double factor_ = 1.0;
  int phase_ = -1;
  std::size_t headerColumns_ = 0;  // 0: no header
  std::vector<std::string> headerNames_;
  std::size_t phaseColumn_ = 0;    // 0: none
  std::vector<bool> warned_;       // per column: its being ignored was said
};

}  // namespace

double CycleTrace::distanceKm() const {
  double kmhSeconds = 0.0;
  for (std::size_t k = 0; k + 1 < time.size(); ++k) {
    kmhSeconds += (time[k + 1] - time[k]) * (speedKmh[k] + speedKmh[k + 1]) * 0.5;
  }
  return kmhSeconds / 3600.0;
}

std::size_t CycleTrace::rowAt(double t) const {
  if (!(t >= time.front())) return 0;
  const auto upper = std::upper_bound(time.begin(), time.end(), t);
  return static_cast<std::size_t>(upper - time.begin()) - 1;
}

double CycleTrace::speedAt(double t) const {
  if (!(t >= time.front())) return speedKmh.front();
  const std::size_t k = rowAt(t);
  if (k + 1 >= time.size()) return speedKmh.back();
  // time[k] <= t < time[k + 1]: the segment has a length.
  const double t0 = time[k];
  const double t1 = time[k + 1];
  const double v0 = speedKmh[k];
  const double v1 = speedKmh[k + 1];
  return v0 + (v1 - v0) * ((t - t0) / (t1 - t0));
}

int CycleTrace::phaseAt(double t) const {
  return phaseOfRow[rowAt(t)] + 1;
}

CycleReadResult parseCycle(std::istream& in, const std::string& source) {
  return Parser(source).run(in);
}

CycleReadResult readCycle(const std::filesystem::path& file) {
  const std::string source = file.string();
  std::error_code code;
  const std::filesystem::file_status status = std::filesystem::status(file, code);
  if (!std::filesystem::exists(status)) return {std::nullopt, source + ": no such file"};
  if (std::filesystem::is_directory(status)) return {std::nullopt, source + ": a folder, not a cycle file"};
  // A device or pipe could be read forever; a cycle file is small.
  if (!std::filesystem::is_regular_file(status)) return {std::nullopt, source + ": not a regular file"};
  const std::uintmax_t size = std::filesystem::file_size(file, code);
  if (!code && size > maxFileBytes) {
    return {std::nullopt, source + ": " + std::to_string(size) + " bytes; a cycle file has at most " +
                              std::to_string(maxFileBytes)};
  }
  std::ifstream in(file, std::ios::binary);
  if (!in) return {std::nullopt, source + ": cannot open the file (" + std::strerror(errno) + ")"};
  return parseCycle(in, source);
}

const char* standardCycleFile(std::string_view name) {
  const std::string key = lower(name);
  for (const StandardCycle& c : standardCycles) {
    if (key == c.name) return c.file;
  }
  return nullptr;
}

std::filesystem::path resolveCycle(std::string_view name, const std::filesystem::path& folder) {
  const std::filesystem::path path(name);
  if (path.is_absolute()) return path;
  if (const char* file = standardCycleFile(name)) return folder / file;
  return folder / path;
}

}  // namespace drive_cycle
