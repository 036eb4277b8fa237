// vehicle-sim check-step: the subcommand's options and help.
#include "app/sweep/sweep_command.h"

#include <CLI/CLI.hpp>
#include <cstdio>
#include <memory>

#include "app/cli/run_options.h"
#include "app/default_system.h"
#include "engine/error.h"
#include "app/sweep/check_step.h"

namespace master::sweep {

namespace {

const char* const footer = R"(Runs the case (the same system, cycle, parameters, start values, stop time) at the chosen
stepping and at finer ones: the communication step halved (and with --coupling multirate the
steps of the faster groups with it) while it stays a whole multiple of the finest step, then
every component at the finest step: the shortest step the units suggest or the system's groups
declare (0.0025 s for the vehicle), or --finest-step. Each run is an ordinary vehicle-sim run in
a process of its own, one thread each, --jobs at a time, writing only its summary; the figures
are read from the summaries: fuel (g), L/100 km overall and per phase, distance, friction-brake
energy, side by side with their differences to the finest run, and the coupling error of each
power bond (shown, not compared).

The runs go into a temporary folder, removed afterwards unless a run failed or failed a health
check, or into --output-dir (a new or empty folder) with check-step.txt, the table.

Examples:
  vehicle-sim check-step                                  the default run of the WLTC
  vehicle-sim check-step --cycle nedc --stop-time 300
  vehicle-sim check-step --step 0.05 --coupling feedthrough --tolerance 1%
  vehicle-sim check-step my.ssp --parameters my.ssv --output-dir out/my-step-check

Exit codes: 0 the chosen step is converged (every figure within the tolerance of the finest
run's); 2 it is not; 1 an error (bad input, a run that failed: its folder and log are kept);
130 interrupted.)";

struct CheckStepCommand {
  cli::CliOptions run;
  StepCheckSettings settings;
  std::string tolerance = "0.005";
  bool noProgress = false;
};

}  // namespace

void addCheckStepCommand(CLI::App& app) {
  auto o = std::make_shared<CheckStepCommand>();
  CLI::App* sub = app.add_subcommand(
      "check-step", "Runs the case at the chosen step and at finer ones and says whether its figures are converged");
  cli::addRunOptions(*sub, o->run);
  sub->set_version_flag("");
  sub->footer(footer);
  // What each run of the check sets itself.
  for (const char* name : {"--force", "--output-interval", "--output-variables", "--output-file", "--threads",
                           "--no-plots", "--no-progress", "--quiet"}) {
    sub->remove_option(sub->get_option(name));
  }
  sub->get_option("--output-dir")->description("folder for the runs, new or empty (default: a temporary folder)");
  sub->add_option("--tolerance", o->tolerance,
                  "the largest difference of a figure to the finest run's, as a share (0.005) or in percent (0.5%)")
      ->capture_default_str();
  sub->add_option("--jobs,-j", o->settings.jobs, "runs at once (default: the number of processors)")
      ->check(CLI::PositiveNumber);
  sub->add_option("--finest-step", o->settings.finestStep,
                  "the finest step, s (default: the shortest step the units suggest or the system's groups declare)")
      ->check(CLI::PositiveNumber);
  sub->add_flag("--no-progress", o->noProgress, "do not show the progress bar");
  sub->callback([o, sub] {
    int code = 1;
    try {
      // The run's options before the subcommand's name went to the run, not to the check.
      const std::vector<std::string> before = commandLine(*sub->get_parent(), {"help"});
      if (!before.empty()) {
        throw MasterError("'" + before.front() + "' before check-step: give the case's options after it");
      }
      o->settings.tolerance = parseTolerance(o->tolerance);
      o->settings.outputDir = o->run.outputDir;
      o->settings.progress = !o->noProgress;
      const std::vector<std::string> args =
          commandLine(*sub, {"help", "tolerance", "jobs", "finest-step", "output-dir", "no-progress"});
      code = checkStep(args, o->settings, programDefaultSystem().string(), stdout);
    } catch (const std::exception& e) {
      std::fprintf(stderr, "vehicle-sim: %s\n", e.what());
    }
    std::fflush(stdout);
    throw CLI::RuntimeError(code);
  });
}

}  // namespace master::sweep
