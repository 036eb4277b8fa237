#include "app/sweep/sweep_command.h"

#include <CLI/CLI.hpp>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <map>
#include <memory>

#include "app/default_system.h"
#include "engine/error.h"
#include "app/sweep/case_runner.h"
#include "app/sweep/check_step.h"
#include "app/child_process.h"
#include "app/sweep/slurm_job.h"
#include "app/sweep/sweep_cases.h"
#include "app/sweep/sweep_check.h"
#include "app/sweep/sweep_file.h"
#include "app/sweep/sweep_plan.h"
#include "app/sweep/sweep_results.h"

namespace master::sweep {

namespace fs = std::filesystem;

namespace {

struct SweepOptions {
  std::string file;
  int jobs = 0;
  bool slurm = false;
  bool yes = false;
  bool noProgress = false;
  bool checkStep = false;
  std::string outputDir;
  std::string collectDir;
  std::string caseDir;
  std::size_t caseIndex = 0;
  std::string listFile;
  std::string statusDir;
};

// The counts by status and where the results are; the sweep's exit code: 0 every case ok, 2 the
// others only failed a health check, 1 any error, interruption or case not run.
int report(const Plan& plan, const Collected& collected, bool listFailures) {
  if (listFailures) {
    for (const std::string& line : collected.failures) std::fprintf(stderr, "%s\n", line.c_str());
  }
  std::printf("%zu cases: %s\n", plan.cases.size(), collected.counts.text().c_str());
  std::printf("Results: %s\n", collected.csv.c_str());
  if (!collected.plots.empty()) {
    std::printf("Plots:   %s%s\n", (plan.dir / "plots").c_str(),
                collected.counts[CaseStatus::ok] < plan.cases.size() ? " (only the ok cases)" : "");
  }
  return collected.counts.exitCode();
}

// Submits every case that is neither ok nor still queued or running in Slurm.
int submit(const Plan& plan) {
  const QueueStates queue = queueStates(plan);
  std::vector<std::size_t> pending;
  std::size_t ok = 0;
  for (const PlannedCase& c : plan.cases) {
    if (queue.queued.count(c.index)) continue;
    if (caseDone(plan, c)) {
      ++ok;
    } else {
      pending.push_back(c.index);
    }
  }
  const std::size_t queued = queue.queued.size();
  if (pending.empty()) {
    std::printf("Nothing to submit: %zu cases ok, %zu still queued or running.\n", ok, queued);
    if (queued > 0) return 0;
    return report(plan, collect(plan), true);
  }
  const Submission s = submitSlurm(plan, pending);
  std::string jobs;
  for (const std::string& j : s.jobs) jobs += (jobs.empty() ? "" : " ") + j;
  std::printf("Submitted %zu cases as %zu job array%s (%s), in %s; %zu cases already ok, %zu still queued or running\n",
              pending.size(), s.jobs.size(), s.jobs.size() == 1 ? "" : "s", jobs.c_str(), s.folder.c_str(), ok, queued);
  std::printf("While they run: vehicle-sim sweep status %s\n", plan.dir.c_str());
  std::printf("When they have finished: vehicle-sim sweep collect %s\n", plan.dir.c_str());
  return 0;
}

// The counts by status from the cases' files, the cases Slurm still has queued or running
// counted apart; those Slurm ended without a result are named by its state.
int status(const Plan& plan) {
  const QueueStates queue = queueStates(plan);
  StatusCounts counts;
  std::size_t pendingInQueue = 0, runningInQueue = 0;
  std::map<std::string, std::size_t> endedWithout;
  for (const PlannedCase& c : plan.cases) {
    if (const auto q = queue.queued.find(c.index); q != queue.queued.end()) {
      ++(q->second == "RUNNING" || q->second == "COMPLETING" ? runningInQueue : pendingInQueue);
      continue;
    }
    const CaseState state = readCaseState(plan, c);
    ++counts[state.status];
    const auto ended = queue.ended.find(c.index);
    if (state.status == CaseStatus::notRun && ended != queue.ended.end()) ++endedWithout[ended->second];
  }
  std::printf("%zu cases: %s; in Slurm %zu running, %zu pending\n", plan.cases.size(), counts.text().c_str(),
              runningInQueue, pendingInQueue);
  for (const auto& [state, n] : endedWithout) {
    std::printf("  %zu cases not run that Slurm ended as %s\n", n, state.c_str());
  }
  return 0;
}

// The step check on the case the sweep file names (the first by default), before anything of
// the sweep is written: 0 when its step is converged, else the check's exit code.
int checkCaseStep(const SweepFile& file, const Plan& plan, const SweepOptions& o) {
  const StepCheckRequest request = file.checkStep.value_or(StepCheckRequest{});
  if (request.caseIndex >= plan.cases.size()) {
    throw MasterError(file.where(request.line) + "check-step: the sweep has no case " +
                      std::to_string(request.caseIndex) + " (it has " + std::to_string(plan.cases.size()) + ")");
  }
  const PlannedCase& c = plan.cases[request.caseIndex];
  std::printf("Checking the step on case %zu (%s) before the sweep\n", c.index, caseInputs(plan, c).c_str());
  StepCheckSettings settings;
  settings.tolerance = request.tolerance;
  settings.jobs = o.jobs;
  settings.progress = !o.noProgress;
  const int code = checkStep(c.args, settings, programDefaultSystem().string(), stdout);
  if (code == 2) {
    std::fprintf(stderr, "vehicle-sim: the sweep does not start: the step of case %zu is not converged (see above); "
                         "choose a finer step, or leave the check out\n", c.index);
  }
  return code;
}

int runSweep(const SweepOptions& o) {
  const SweepFile file = readSweepFile(o.file);
  if (file.grid.empty() && file.cases.empty() && file.cycles.empty() && !file.sample) {
    throw MasterError(file.where(0) + "the sweep names no cycles, [grid], [[case]] or [sample]: it has no cases");
  }
  checkCount(file, o.yes);
  const std::vector<SystemComponent> components =
      readComponents(file.system.empty() ? programDefaultSystem() : file.system);
  checkInputs(file, components);
  const std::vector<std::string> outputs = outputColumns(components);
  if (outputs.empty()) throw MasterError(file.where(file.systemLine) + "the system has no output to record");
  const CaseSet cases = expandCases(file);
  checkCases(file, cases);
  checkOverrides(file, cases, components);
  const fs::path dir = o.outputDir.empty() ? fs::path("out") / fs::path(o.file).stem() : fs::path(o.outputDir);
  const Plan plan = makePlan(file, cases, dir, selfExecutable(), outputs.front());
  if (file.checkStep || o.checkStep) {
    if (const int code = checkCaseStep(file, plan, o); code != 0) return code;
  }
  writePlan(plan);

  if (o.slurm) return submit(plan);

  const int jobs = o.jobs > 0 ? o.jobs : processorCount();
  const LocalRun run = runLocal(plan, jobs, !o.noProgress);
  if (run.skipped > 0) std::printf("%zu cases already ok, skipped\n", run.skipped);
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
      "runs only the cases that are not ok yet. Results: DIR/sweep.csv (one row per case, with its\n"
      "status: ok, health-check-failed, error, interrupted, not-run) and DIR/plots/ (ok cases only).\n"
      "Exit codes: 0 every case ok, 2 the others only failed a health check, 1 an error, a case not\n"
      "run or the sweep file refused, 130 interrupted.\n\n"
      "Examples:\n"
      "  vehicle-sim sweep masses.toml                 # every core\n"
      "  vehicle-sim sweep masses.toml --jobs 1 --output-dir out/masses\n"
      "  vehicle-sim sweep masses.toml --check-step    # first: is the first case's step converged?\n"
      "  vehicle-sim sweep masses.toml --slurm         # one Slurm array task per case\n"
      "  vehicle-sim sweep status out/masses           # how the cases stand while they run\n"
      "  vehicle-sim sweep collect out/masses          # gather what the array tasks left");
  sweep->add_option("SWEEP_FILE", options->file, "the sweep (TOML): system, cycles, [settings], [grid] or [[case]]");
  sweep->add_option("--jobs,-j", options->jobs, "cases at once (default: the number of processors)")
      ->check(CLI::PositiveNumber);
  sweep->add_flag("--slurm", options->slurm, "submit the cases as a Slurm job array instead of running them here");
  sweep->add_flag("--yes", options->yes, "run a sweep with more cases than its limit");
  sweep->add_option("--output-dir,-o", options->outputDir, "folder of the sweep (default: out/<sweep file name>)");
  sweep->add_flag("--no-progress", options->noProgress, "do not show the progress bar");
  sweep->add_flag("--check-step", options->checkStep,
                  "check the step on the first case (or the sweep file's check-step case) before the sweep; a step "
                  "that is not converged stops it (exit 2)");
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

  CLI::App* statusCommand =
      sweep->add_subcommand("status", "Counts the cases of a sweep by status, with what Slurm still has queued or running");
  statusCommand->add_option("DIR", options->statusDir, "folder of the sweep")->required();
  statusCommand->callback([options] { finish([&] { return status(readPlan(options->statusDir)); }); });

  CLI::App* runCaseCommand = sweep->add_subcommand("run-case", "Runs one case of a planned sweep (what a Slurm array task runs)");
  runCaseCommand->group("");  // not listed: the batch script calls it
  runCaseCommand->add_option("DIR", options->caseDir, "folder of the sweep")->required();
  runCaseCommand->add_option("INDEX", options->caseIndex, "the case, or with --list the line of the list")->required();
  runCaseCommand->add_option("--list", options->listFile, "an array's list of cases, one per task");
  runCaseCommand->callback([options] {
    finish([&] {
      const std::size_t index =
          options->listFile.empty() ? options->caseIndex : caseOfTask(options->listFile, options->caseIndex);
      return runCase(readPlan(options->caseDir), index);
    });
  });
}

}  // namespace master::sweep
