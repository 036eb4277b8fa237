// A sweep file: the system, the cycles, the values given to every case, and either a grid (the
// product of value lists) or a list of explicit cases, with an optional seeded random sample.
// Reading checks the file's own structure (TOML syntax, types of the sweep's own keys, empty
// lists); sweep_check.h checks the inputs against the system's units.
//
//   system = "vehicle.ssp"             # optional: the built vehicle; relative to this file
//   cycles = ["nedc", "udds"]          # optional: every case runs on each of them
//   limit = 1000                       # optional: the most cases run without --yes
//   case-plots = false                 # optional: each case draws its own report plots
//   [settings]                         # the same in every case
//   stop-time = 120
//   [grid]                             # the product of the lists (or [[case]] tables instead)
//   "chassis.mass" = [1200, 1500]      # a component's parameter or input (quoted: one key)
//   step = [0.01, 0.005]               # a master setting: cycle, step, stop-time, start-time,
//                                      # output-interval
//   [sample]                           # optional: `count` cases drawn from the grid with `seed`
//   count = 10
//   seed = 1
//   [sample.ranges]                    # optional: a uniform value in [min, max] for each drawn case
//   "powertrain.finalDriveRatio" = [3.2, 4.4]
//   [results]                          # optional: each case writes its results file (else only
//   interval = 1.0                     # its summary); every `interval` s (default: the step),
//   variables = ["chassis.*"]          # these outputs (default: all)
//   check-step = true                  # optional: check the step on the first case before the
//                                      # sweep; or a table: case = 0, tolerance = 0.005
//   [slurm]                            # optional: resources of each array task with --slurm
//   time = "00:30:00"
//   mem = "1G"
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace master::sweep {

// One value as the file gives it.
struct Value {
  enum class Kind { real, integer, boolean, string };
  Kind kind = Kind::real;
  std::string text;    // as passed on a case's command line (numbers in their shortest exact form)
  double number = 0.0; // real and integer values
  int line = 0;
};

const char* kindName(Value::Kind kind);  // "a number", "a whole number", ...
// The shortest text that reads back as the same double.
std::string numberText(double x);

// A "component.variable" or a master setting (a name without a dot) with its values.
struct Input {
  std::string name;
  std::vector<Value> values;
  int line = 0;
};

struct Range {
  std::string name;
  double min = 0.0, max = 0.0;
  int line = 0;
};

struct Sample {
  std::uint64_t count = 0;
  std::uint64_t seed = 0;
  std::vector<Range> ranges;
  int line = 0;
};

// What a case writes beyond its summary, when the sweep file asks for its results.
struct ResultsRequest {
  std::optional<Value> interval;       // else every communication point
  std::vector<Value> variables;        // patterns; empty: every output
  int line = 0;
};

// A step check on one case before the sweep starts (check_step.h).
struct StepCheckRequest {
  std::uint64_t caseIndex = 0;  // the case checked
  double tolerance = 0.005;
  int line = 0;
};

struct SlurmResources {
  std::string time = "01:00:00";
  std::string mem = "2G";
  int cpusPerTask = 1;
  std::string partition, account;
  int maxParallel = 0;  // 0: as many array tasks at once as Slurm allows
};

struct SweepFile {
  std::filesystem::path source;
  std::filesystem::path system;  // empty: the built vehicle
  int systemLine = 0;
  std::vector<Value> cycles;     // empty: the system's own cycle
  int cyclesLine = 0;
  std::vector<Input> settings;   // one value each
  std::vector<Input> grid;       // in file order
  int gridLine = 0;
  std::vector<std::vector<Input>> cases;  // explicit cases, one value per input
  std::optional<Sample> sample;
  std::uint64_t limit = 1000;
  int limitLine = 0;
  bool casePlots = false;
  std::optional<ResultsRequest> results;  // none: the lean default
  std::optional<StepCheckRequest> checkStep;  // none: no step check
  SlurmResources slurm;

  std::string where(int line) const;  // "<file>:<line>: "
};

// Throws MasterError naming the file and line.
SweepFile parseSweepFile(std::string_view text, const std::filesystem::path& source);
SweepFile readSweepFile(const std::filesystem::path& file);

}  // namespace master::sweep
