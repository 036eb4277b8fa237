#include "app/sweep/check_step.h"

#include <stdlib.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <set>

#include "app/cli/log.h"
#include "app/cli/run_options.h"
#include "app/cli/run_session.h"
#include "app/cli/run_summary.h"
#include "engine/error.h"
#include "app/sweep/case_runner.h"
#include "app/child_process.h"
#include "app/sweep/step_comparison.h"
#include "app/sweep/step_ladder.h"
#include "app/sweep/sweep_check.h"
#include "app/sweep/sweep_plan.h"

namespace master::sweep {

namespace fs = std::filesystem;
using Group = DeclaredStepping::Group;

namespace {

// A run's command line parsed by the run command's own options.
struct ParsedRun {
  cli::CliOptions options;
  CLI::App app;

  explicit ParsedRun(const std::vector<std::string>& args) {
    cli::addRunOptions(app, options);
    std::vector<std::string> reversed(args.rbegin(), args.rend());  // as CLI11 takes them
    try {
      app.parse(reversed);
    } catch (const CLI::ParseError& e) {
      throw MasterError(std::string("the run's options: ") + e.what());
    }
  }
};

// The options each run of the check sets itself: where it writes, what it writes, its stepping.
const std::set<std::string> replaced{"output-dir", "force",  "step",  "output-interval", "output-variables",
                                     "output-file", "coupling", "group", "no-feedthrough", "threads",
                                     "no-plots",    "no-progress", "quiet", "help", "version"};

// Removes the temporary folder of the runs unless told to keep it.
struct FolderGuard {
  fs::path dir;
  bool keep = false;
  ~FolderGuard() {
    std::error_code ec;
    if (!keep) fs::remove_all(dir, ec);
  }
};

}  // namespace

std::vector<std::string> commandLine(const CLI::App& app, const std::set<std::string>& leaveOut) {
  std::vector<std::string> system, rest;
  for (const CLI::Option* opt : app.get_options()) {
    if (opt->count() == 0) continue;
    if (opt->get_lnames().empty()) {
      system = opt->results();
      continue;
    }
    const std::string name = opt->get_lnames().front();
    if (leaveOut.count(name) != 0) continue;
    if (opt->get_expected_max() == 0) {  // a flag
      rest.push_back("--" + name);
      continue;
    }
    // In one word, so that no value (a negative number, say) can pass for an option.
    for (const std::string& value : opt->results()) rest.push_back("--" + name + "=" + value);
  }
  system.insert(system.end(), rest.begin(), rest.end());
  return system;
}

namespace {

std::string seconds(double s) { return numberText(s) + " s"; }

// "multirate: cycle,driver at 0.0025 s; powertrain at 0.005 s" or "jacobi: every component at 0.01 s".
std::string stepping(const StepLevel& l, const std::string& coupling) {
  std::string text = coupling + ": ";
  for (const Group& g : l.faster) {
    for (std::size_t k = 0; k < g.components.size(); ++k) text += (k ? "," : "") + g.components[k];
    text += " at " + seconds(g.step) + "; ";
  }
  return text + (l.faster.empty() ? "every component" : "the others") + " at " + seconds(l.step);
}

// A folder of its own for the runs: `dir`, which must be new or empty; without it a new
// temporary folder.
fs::path runsFolder(const std::string& dir) {
  if (!dir.empty()) {
    std::error_code ec;
    if (fs::exists(dir, ec) && !(fs::is_directory(dir, ec) && fs::is_empty(dir, ec))) {
      throw MasterError("--output-dir '" + dir + "' exists and is not an empty folder: a step check never writes over "
                        "earlier results; name a new folder");
    }
    fs::create_directories(dir);
    return fs::absolute(dir).lexically_normal();
  }
  std::string pattern = (fs::temp_directory_path() / "vehicle-sim-check-step-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) {
    throw MasterError("cannot make a temporary folder in " + fs::temp_directory_path().string());
  }
  return pattern;
}

std::string firstOutput(const LoadedSystem& system) {
  std::vector<SystemComponent> components;
  for (std::size_t i = 0; i < system.descriptions.size(); ++i) {
    components.push_back(SystemComponent{system.structure.components[i].name, system.descriptions[i], {}});
  }
  const std::vector<std::string> outputs = outputColumns(components);
  if (outputs.empty()) throw MasterError("the system has no output to record");
  return outputs.front();
}

}  // namespace

double parseTolerance(const std::string& text) {
  const bool percent = !text.empty() && text.back() == '%';
  char* end = nullptr;
  const double v = std::strtod(text.c_str(), &end);
  if (text.empty() || end != text.c_str() + text.size() - (percent ? 1 : 0) || !std::isfinite(v) || v < 0.0) {
    throw MasterError("--tolerance '" + text + "' is no share (0.005, or 0.5%)");
  }
  return percent ? v / 100.0 : v;
}

namespace {

// The plan of the ladder's runs, the finest (the longest) first so that two at a time end
// together, and the heading that lists them; `columns` gets each level's step as shown.
Plan planLadder(const std::vector<StepLevel>& ladder, const std::string& coupling, const std::vector<std::string>& base,
                const std::string& output, const fs::path& dir, std::vector<std::string>& columns, std::string& heading) {
  Plan plan;
  plan.dir = dir;
  plan.executable = selfExecutable();
  plan.inputNames = {"step", "coupling"};
  plan.sweptNames = {"step"};
  heading = "Step check: " + std::to_string(ladder.size()) + " runs of the case, in " + plan.dir.string() + "\n";
  std::size_t width = 0;
  for (const StepLevel& l : ladder) {
    columns.push_back(seconds(l.step));
    width = std::max(width, columns.back().size());
  }
  for (std::size_t i = 0; i < ladder.size(); ++i) {
    heading += "  " + columns[i] + std::string(width - columns[i].size(), ' ') + "  " + stepping(ladder[i], coupling) +
               (i == 0 ? "  (the chosen step)" : i + 1 == ladder.size() ? "  (the finest)" : "") + "\n";
  }
  for (std::size_t i = ladder.size(); i-- > 0;) {
    const StepLevel& l = ladder[i];
    PlannedCase c;
    c.index = i;
    c.id = "step-" + numberText(l.step);
    c.values = {numberText(l.step), coupling};
    c.args = {"--output-dir", (plan.dir / "cases" / c.id).string()};
    c.args.insert(c.args.end(), base.begin(), base.end());
    c.args.insert(c.args.end(), {"--step", numberText(l.step), "--coupling", coupling});
    for (const Group& g : l.groups) c.args.insert(c.args.end(), {"--group", groupArgument(g)});
    c.args.insert(c.args.end(), {"--quiet", "--no-plots", "--threads", "1"});
    const std::vector<std::string> lean = leanResultsArgs(l.step, output);
    c.args.insert(c.args.end(), lean.begin(), lean.end());
    plan.cases.push_back(std::move(c));
  }
  return plan;
}

// What the ladder's runs left, in the order of the ladder (the chosen step first, the finest
// last): each run's summary (empty for a run stopped before its end), `failed` naming a run that
// leaves nothing to compare, `stopped` the message of the chosen run if it stopped early.
std::vector<nlohmann::json> ladderSummaries(const Plan& plan, const std::vector<StepLevel>& ladder, std::string& failed,
                                            std::string& stopped) {
  std::vector<nlohmann::json> summaries(ladder.size());
  for (const PlannedCase& c : plan.cases) {
    const CaseState state = readCaseState(plan, c);
    nlohmann::json& summary = summaries[c.index];
    readSummary(plan.summaryFile(c), summary);
    if (state.status != CaseStatus::ok && state.status != CaseStatus::healthCheckFailed) {
      failed = "the run at " + seconds(ladder[c.index].step) + " failed";
    } else if (summary.value("partial", false)) {
      // Stopped before its end by a health check (the report's monitor): the figures of a part.
      if (c.index + 1 == ladder.size()) failed = "the finest run stopped before its end";
      if (c.index == 0) stopped = state.message;
      summary = nlohmann::json::object();
    }
  }
  return summaries;
}

}  // namespace

int checkStep(const std::vector<std::string>& runArgs, const StepCheckSettings& settings,
              const std::string& defaultSystem, std::FILE* out) {
  const ParsedRun run(runArgs);
  const cli::CliOptions& o = run.options;
  cli::log().open(o.logLevel, o.logFile);
  // The case checked as a run checks it, once, before any run starts.
  const cli::PreparedRun prepared = cli::prepareRun(o, defaultSystem);
  const std::string coupling = cli::couplingScheme(o);
  std::vector<Group> given;
  for (const std::string& text : o.groups) given.push_back(cli::parseGroup(text));
  const std::vector<Group>& declared = prepared.system.stepping.groups;
  std::vector<double> unitSteps;
  for (const ModelDescription& d : prepared.system.descriptions) unitSteps.push_back(d.defaultStepSize);
  std::vector<Group> all = declared;
  all.insert(all.end(), given.begin(), given.end());
  const double finest = settings.finestStep.value_or(finestDeclaredStep(unitSteps, all));
  if (!(finest > 0.0) || !std::isfinite(finest)) {
    throw MasterError("the system declares no step of its own (no unit suggests one, no stepping group): give "
                      "--finest-step");
  }
  const std::vector<StepLevel> ladder =
      stepLadder(o.step, coupling == "multirate" ? declared : std::vector<Group>{}, given, finest);
  if (ladder.size() == 1) {
    std::fprintf(out, "The step %s is no longer than the finest step %s: there is nothing finer to compare it with.\n",
                 seconds(o.step).c_str(), seconds(finest).c_str());
    return 0;
  }

  const bool temporary = settings.outputDir.empty();
  std::vector<std::string> columns;
  std::string heading;
  const fs::path dir = runsFolder(settings.outputDir);
  FolderGuard guard{dir, !temporary};
  const Plan plan =
      planLadder(ladder, coupling, commandLine(run.app, replaced), firstOutput(prepared.system), dir, columns, heading);
  std::fprintf(out, "%s", heading.c_str());
  std::fflush(out);

  const int jobs = settings.jobs > 0 ? settings.jobs : processorCount();
  const LocalRun ran = runLocal(plan, std::min<int>(jobs, static_cast<int>(plan.cases.size())), settings.progress);
  if (ran.interrupted) {
    std::fprintf(stderr, "vehicle-sim: the step check was interrupted\n");
    return 130;
  }
  std::string failed, stopped;
  const std::vector<nlohmann::json> summaries = ladderSummaries(plan, ladder, failed, stopped);
  if (!failed.empty()) {
    guard.keep = true;
    std::fprintf(stderr, "vehicle-sim: %s: the step check has nothing to compare with; the runs are kept in %s\n",
                 failed.c_str(), plan.dir.c_str());
    return 1;
  }
  const StepComparison compared =
      compareRuns(columns, summaries, settings.tolerance, "The step " + seconds(o.step) + " (" + coupling + ")");
  const std::string text =
      compared.table + (stopped.empty() ? compared.verdict
                                        : "The step " + seconds(o.step) + " (" + coupling +
                                              ") is NOT converged: its run stopped before its end (" + stopped + ")") +
      ".\n";
  std::fprintf(out, "%s", text.c_str());
  writeTextFile(plan.dir / "check-step.txt", heading + text);
  if (!temporary || ran.failed > 0) {
    guard.keep = true;
    std::fprintf(out, "The runs are in %s (check-step.txt: this table).\n", plan.dir.c_str());
  }
  return compared.converged && stopped.empty() ? 0 : 2;
}

}  // namespace master::sweep
