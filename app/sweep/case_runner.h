// Runs the cases of a sweep as child processes of the executable itself, each an ordinary run
// with its own output folder. Separate processes, never sibling instances in one: the units
// share each library's stored default parameters between the instances of one process.
#pragma once

#include <cstddef>
#include <string>
#include <sys/types.h>

#include "app/sweep/case_status.h"
#include "app/sweep/sweep_plan.h"

namespace master::sweep {

// Starts case `c` with its terminal output going to its log file; throws MasterError when it
// cannot be started.
pid_t startCase(const Plan& plan, const PlannedCase& c);

// Records the exit code in the case's exit file; returns how the case stands now.
CaseState finishCase(const Plan& plan, const PlannedCase& c, int exitCode);

// "cycle=nedc, chassis.vehicleMass=1200": the inputs a case sets.
std::string caseInputs(const Plan& plan, const PlannedCase& c);

// "case N (inputs): health check failed (exit code 2): <its message>" and its folder and log.
std::string failureLine(const Plan& plan, const PlannedCase& c, const CaseState& state);

// Runs one case to its end (what a Slurm array task does); returns its exit code.
int runCase(const Plan& plan, std::size_t index);

struct LocalRun {
  std::size_t ran = 0, skipped = 0, failed = 0;
  bool interrupted = false;
};

// Runs every case that is not ok yet, `jobs` at a time, with a progress bar on a terminal and
// a line per failed case. SIGINT/SIGTERM stop starting cases and end the running ones.
LocalRun runLocal(const Plan& plan, int jobs, bool progress);

}  // namespace master::sweep
