// Whether the figures of a run depend on its step: the same case (system, cycle, parameters,
// start values, stop time, ...) run at the chosen stepping and at finer ones down to the finest
// step the system declares (step_ladder.h), each an ordinary run in a process of its own (the
// units share each library's stored default parameters between the instances of one process),
// two or more at a time, its figures read back from its summary.json and compared
// (step_comparison.h).
#pragma once

#include <cstdio>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace CLI {
class App;
}

namespace master::sweep {

struct StepCheckSettings {
  double tolerance = 0.005;          // of the finest run's figure
  int jobs = 0;                      // runs at once; 0: one per processor
  std::optional<double> finestStep;  // else the finest step the system declares
  std::string outputDir;             // the runs' folder, new or empty; empty: a temporary one
  bool progress = true;
};

// `runArgs`: a run's command line after the program's name, as `vehicle-sim [SYSTEM] [options]`
// takes it (its output options are replaced: each run writes only its summary). Prints the runs,
// the table and the verdict on `out`. Returns 0 when the chosen step is converged within the
// tolerance, 2 when not, 1 when a run fails (its line names its folder and log, which are kept)
// and 130 when interrupted. Throws MasterError for options or a system it cannot take.
int checkStep(const std::vector<std::string>& runArgs, const StepCheckSettings& settings,
              const std::string& defaultSystem, std::FILE* out);

// The command line that `app` parsed, without the options named in `leaveOut` (long names
// without dashes): the positional argument first, then each option as given ("--name=value"), a
// flag once.
std::vector<std::string> commandLine(const CLI::App& app, const std::set<std::string>& leaveOut);

// "0.005", or "0.5%": a share; throws MasterError unless it is finite and at least 0.
double parseTolerance(const std::string& text);

}  // namespace master::sweep
