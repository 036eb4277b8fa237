// The plan of a sweep, written into its folder before any case runs (sweep-plan.json), so that
// a Slurm array task or a later `sweep collect` knows every case without the sweep file: each
// case's inputs, its command line and its identity. A case is identified by a digest of its
// command line, so a rerun of the same sweep finds the cases it already ran even when the file
// lists them in another order.
//
// Folder layout: cases/<id>/ (the case's own results, written by the run itself),
// logs/<id>.log (its terminal output), logs/<id>.exit (its exit code), slurm/ (batch script),
// sweep.csv and plots/ (the collected results).
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "app/summary_conventions.h"
#include "app/sweep/sweep_cases.h"
#include "app/sweep/sweep_file.h"

namespace master::sweep {

struct PlannedCase {
  std::size_t index = 0;
  std::string id;
  std::vector<std::string> values;  // one per Plan::inputNames, empty where the case sets none
  std::vector<std::string> args;    // the command line after the executable
};

struct Plan {
  std::filesystem::path dir;  // absolute
  std::string executable;
  std::vector<std::string> inputNames, sweptNames;
  std::vector<PlannedCase> cases;
  SlurmResources slurm;

  std::filesystem::path caseFolder(const PlannedCase& c) const { return dir / "cases" / c.id; }
  std::filesystem::path logFile(const PlannedCase& c) const { return dir / "logs" / (c.id + ".log"); }
  std::filesystem::path exitFile(const PlannedCase& c) const { return dir / "logs" / (c.id + ".exit"); }
  std::filesystem::path summaryFile(const PlannedCase& c) const { return caseFolder(c) / conventions::summary::fileName; }
};

// The --cycle of a case: a standard cycle's name as it is, any other text the absolute path of
// a file relative to the sweep file.
std::string cycleArgument(const SweepFile& file, const std::string& text);

// The results options of a run that needs only its summary: an output interval of 2^20 steps
// (an exact multiple, so a row at the start and one at the end) and one column, `variable`
// (an output of the system). Last on a command line: --output-variables takes every word after it.
std::vector<std::string> leanResultsArgs(double step, const std::string& variable);

// Each case runs quietly (its log keeps only warnings and errors) and, unless the sweep file
// asks for results ([results], or an output-interval of its own), writes its summary and report
// with a results file of one column (`leanVariable`, an output of the system) and two rows.
Plan makePlan(const SweepFile& file, const CaseSet& cases, const std::filesystem::path& dir,
              const std::string& executable, const std::string& leanVariable);
void writePlan(const Plan& plan);             // dir/sweep-plan.json
Plan readPlan(const std::filesystem::path& dir);  // throws MasterError

}  // namespace master::sweep
