#include "master/sweep/sweep_command.h"

#include <sched.h>

#include <CLI/CLI.hpp>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <memory>

#include "master/default_system.h"
#include "master/error.h"
#include "master/sweep/case_runner.h"
#include "master/sweep/slurm_job.h"
#include "master/sweep/sweep_cases.h"
#include "master/sweep/sweep_check.h"
#include "master/sweep/sweep_file.h"
#include "master/sweep/sweep_plan.h"
#include "master/sweep/sweep_results.h"

namespace master::sweep {

namespace fs = std::filesystem;

namespace {

struct SweepOptions {
  std::string file;
  int jobs = 0;
  bool slurm = false;
  bool yes = false;
  bool noProgress = false;
  std::string outputDir;
  std::string collectDir;
  std::string caseDir;
  std::size_t caseIndex = 0;
};

int processors() {
  cpu_set_t set;
  if (sched_getaffinity(0, sizeof set, &set) == 0) return CPU_COUNT(&set);
  return 1;
}

std::string selfExecutable() { return fs::read_symlink("/proc/self/exe").string(); }

int report(const Plan& plan, const Collected& collected, bool listFailures) {
  if (listFailures) {
    for (const std::string& line : collected.failures) std::fprintf(stderr, "%s\n", line.c_str());
  }
  std::printf("%zu cases: %zu finished, %zu failed, %zu not run\n", plan.cases.size(), collected.finished,
              collected.failed, collected.missing);
  std::printf("Results: %s\n", collected.csv.c_str());
  if (!collected.plots.empty()) std::printf("Plots:   %s\n", (plan.dir / "plots").c_str());
  return collected.failed == 0 && collected.missing == 0 ? 0 : 1;
}

int runSweep(const SweepOptions& o) {
  const SweepFile file = readSweepFile(o.file);
  if (file.grid.empty() && file.cases.empty() && file.cycles.empty() && !file.sample) {
    throw MasterError(file.where(0) + "the sweep names no cycles, [grid], [[case]] or [sample]: it has no cases");
  }
  checkCount(file, o.yes);
  checkInputs(file, readComponents(file.system.empty() ? programDefaultSystem() : file.system));
  const CaseSet cases = expandCases(file);
  const fs::path dir = o.outputDir.empty() ? fs::path("out") / fs::path(o.file).stem() : fs::path(o.outputDir);
  const Plan plan = makePlan(file, cases, dir, selfExecutable());
  writePlan(plan);

  if (o.slurm) {
    std::vector<std::size_t> pending;
    for (const PlannedCase& c : plan.cases) {
      if (!plan.complete(c)) pending.push_back(c.index);
    }
    if (pending.empty()) {
      std::printf("Every case of the sweep is complete; nothing to submit.\n");
      return report(plan, collect(plan), true);
    }
    const std::string job = submitSlurm(plan, pending);
    std::printf("Submitted job array %s: %zu cases (%zu already complete)\n", job.c_str(), pending.size(),
                plan.cases.size() - pending.size());
    std::printf("When it has finished: vehicle-sim sweep collect %s\n", plan.dir.c_str());
    return 0;
  }

  const int jobs = o.jobs > 0 ? o.jobs : processors();
  const LocalRun run = runLocal(plan, jobs, !o.noProgress);
  if (run.skipped > 0) std::printf("%zu cases already complete, skipped\n", run.skipped);
  if (run.interrupted) {
    std::fprintf(stderr, "vehicle-sim: the sweep was interrupted; rerun it to run the cases left\n");
    return 130;
  }
  return report(plan, collect(plan), false);  // each failure was reported as it happened
}

// Runs `body`, turning its outcome into the exit code that ends the parse.
template <typename Body>
void finish(Body body) {
  int code = 1;
  try {
    code = body();
  } catch (const std::exception& e) {  // a MasterError, or a file the system would not write
    std::fprintf(stderr, "vehicle-sim: %s\n", e.what());
  }
  std::fflush(stdout);
  throw CLI::RuntimeError(code);
}

}  // namespace

void addCommands(CLI::App& app) {
  auto options = std::make_shared<SweepOptions>();
  CLI::App* sweep = app.add_subcommand(
      "sweep", "Runs a system over a grid of parameter values and cycles, each case in its own process");
  sweep->footer(
      "Each case is an ordinary vehicle-sim run with its own output folder DIR/cases/<id>; a rerun\n"
      "skips the cases whose results are complete. Results: DIR/sweep.csv (one row per case) and\n"
      "DIR/plots/. Exit codes: 0 every case finished, 1 a case failed or the sweep file was refused,\n"
      "130 interrupted.\n\n"
      "Examples:\n"
      "  vehicle-sim sweep masses.toml                 # every core\n"
      "  vehicle-sim sweep masses.toml --jobs 1 --output-dir out/masses\n"
      "  vehicle-sim sweep masses.toml --slurm         # one Slurm array task per case\n"
      "  vehicle-sim sweep collect out/masses          # gather what the array tasks left");
  sweep->add_option("SWEEP_FILE", options->file, "the sweep (TOML): system, cycles, [settings], [grid] or [[case]]");
  sweep->add_option("--jobs,-j", options->jobs, "cases at once (default: the number of processors)")
      ->check(CLI::PositiveNumber);
  sweep->add_flag("--slurm", options->slurm, "submit the cases as a Slurm job array instead of running them here");
  sweep->add_flag("--yes", options->yes, "run a sweep with more cases than its limit");
  sweep->add_option("--output-dir,-o", options->outputDir, "folder of the sweep (default: out/<sweep file name>)");
  sweep->add_flag("--no-progress", options->noProgress, "do not show the progress bar");
  sweep->callback([options] {
    if (options->file.empty()) throw CLI::CallForHelp();
    finish([&] { return runSweep(*options); });
  });

  CLI::App* collectCommand = sweep->add_subcommand("collect", "Gathers the finished cases of a sweep into sweep.csv and plots");
  collectCommand->add_option("DIR", options->collectDir, "folder of the sweep")->required();
  collectCommand->callback([options] {
    finish([&] {
      const Plan plan = readPlan(options->collectDir);
      return report(plan, collect(plan), true);
    });
  });

  CLI::App* runCaseCommand = sweep->add_subcommand("run-case", "Runs one case of a planned sweep (what a Slurm array task runs)");
  runCaseCommand->group("");  // not listed: the batch script calls it
  runCaseCommand->add_option("DIR", options->caseDir, "folder of the sweep")->required();
  runCaseCommand->add_option("INDEX", options->caseIndex, "the case")->required();
  runCaseCommand->callback([options] { finish([&] { return runCase(readPlan(options->caseDir), options->caseIndex); }); });
}

}  // namespace master::sweep
