#include "app/sweep/sweep_plan.h"

#include <cstdio>
#include <fstream>

#include <nlohmann/json.hpp>

#include "app/cli/run_options.h"
#include "app/sweep/sweep_check.h"
#include "engine/error.h"
#include "formats/cycle_file/cycle_reader.h"

namespace master::sweep {

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

const char* const planName = "sweep-plan.json";

// The option of the case's command line that carries a master setting.
std::string optionOf(const std::string& setting) { return "--" + setting; }

// 64-bit FNV-1a over the arguments, each ended by a zero byte.
std::string digest(const std::vector<std::string>& args) {
  std::uint64_t h = 0xcbf29ce484222325ull;
  for (const std::string& a : args) {
    for (const char c : a) h = (h ^ static_cast<unsigned char>(c)) * 0x100000001b3ull;
    h *= 0x100000001b3ull;
  }
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(h));
  return text;
}

// The results options of a case: none for the lean default but leanResultsArgs.
std::vector<std::string> resultsArgs(const SweepFile& file, const Case& k, const std::string& leanVariable) {
  double step = cli::CliOptions{}.step;
  bool ownInterval = false;
  for (const Assignment& a : k.inputs) {
    if (a.name == "step") step = a.value.number;
    if (a.name == "output-interval") ownInterval = true;
  }
  std::vector<std::string> args;
  if (!file.results) {
    if (!ownInterval) args = leanResultsArgs(step, leanVariable);
    return args;
  }
  if (file.results->interval && !ownInterval) args = {"--output-interval", file.results->interval->text};
  if (!file.results->variables.empty()) {
    args.push_back("--output-variables");
    for (const Value& v : file.results->variables) args.push_back(v.text);
  }
  return args;
}

}  // namespace

std::vector<std::string> leanResultsArgs(double step, const std::string& variable) {
  return {"--output-interval", numberText(step * 0x1p20), "--output-variables", variable};
}

std::string cycleArgument(const SweepFile& file, const std::string& text) {
  if (drive_cycle::standardCycleFile(text) != nullptr) return text;
  return fs::absolute(file.source.parent_path() / text).lexically_normal().string();
}

Plan makePlan(const SweepFile& file, const CaseSet& set, const fs::path& dir, const std::string& executable,
              const std::string& leanVariable) {
  Plan plan;
  plan.dir = fs::absolute(dir).lexically_normal();
  plan.executable = executable;
  plan.inputNames = set.inputNames;
  plan.sweptNames = set.sweptNames;
  plan.slurm = file.slurm;
  for (const Case& k : set.cases) {
    PlannedCase c;
    c.index = k.index;
    std::vector<std::string> args;
    if (!file.system.empty()) args.push_back(fs::absolute(file.system).lexically_normal().string());
    args.insert(args.end(), {"--quiet", "--threads", "1"});
    if (!file.casePlots) args.push_back("--no-plots");
    for (const std::string& name : set.inputNames) {
      std::string value;
      for (const Assignment& a : k.inputs) {
        if (a.name == name) value = a.value.text;
      }
      c.values.push_back(value);
      if (std::find_if(k.inputs.begin(), k.inputs.end(), [&](const Assignment& a) { return a.name == name; }) ==
          k.inputs.end()) {
        continue;
      }
      if (name == "cycle") {
        args.insert(args.end(), {"--cycle", cycleArgument(file, value)});
      } else if (name.find('.') == std::string::npos && isMasterSetting(name)) {
        args.insert(args.end(), {optionOf(name), value});
      } else {
        args.insert(args.end(), {"--start-value", name + "=" + value});
      }
    }
    const std::vector<std::string> results = resultsArgs(file, k, leanVariable);
    args.insert(args.end(), results.begin(), results.end());  // last: --output-variables takes every word after it
    c.id = digest(args);
    c.args = {"--output-dir", (plan.dir / "cases" / c.id).string()};
    c.args.insert(c.args.end(), args.begin(), args.end());
    plan.cases.push_back(std::move(c));
  }
  return plan;
}

void writePlan(const Plan& plan) {
  json cases = json::array();
  for (const PlannedCase& c : plan.cases) {
    cases.push_back({{"index", c.index}, {"id", c.id}, {"values", c.values}, {"args", c.args}});
  }
  const SlurmResources& r = plan.slurm;
  const json root = {{"executable", plan.executable},
                     {"inputs", plan.inputNames},
                     {"swept", plan.sweptNames},
                     {"slurm",
                      {{"time", r.time}, {"mem", r.mem}, {"cpusPerTask", r.cpusPerTask}, {"partition", r.partition},
                       {"account", r.account}, {"maxParallel", r.maxParallel}}},
                     {"cases", cases}};
  fs::create_directories(plan.dir);
  const fs::path file = plan.dir / planName, temporary = plan.dir / (std::string(planName) + ".tmp");
  {
    std::ofstream out(temporary);
    out << root.dump(1) << '\n';
    if (!out) throw MasterError("cannot write '" + temporary.string() + "'");
  }
  fs::rename(temporary, file);
}

Plan readPlan(const fs::path& dir) {
  const fs::path file = dir / planName;
  std::ifstream in(file);
  if (!in) throw MasterError("'" + dir.string() + "' holds no sweep (no " + planName + ")");
  try {
    const json root = json::parse(in);
    Plan plan;
    plan.dir = fs::absolute(dir).lexically_normal();
    plan.executable = root.at("executable").get<std::string>();
    plan.inputNames = root.at("inputs").get<std::vector<std::string>>();
    plan.sweptNames = root.at("swept").get<std::vector<std::string>>();
    const json& r = root.at("slurm");
    plan.slurm = SlurmResources{r.at("time"), r.at("mem"), r.at("cpusPerTask"), r.at("partition"),
                                r.at("account"), r.at("maxParallel")};
    for (const json& c : root.at("cases")) {
      plan.cases.push_back(PlannedCase{c.at("index"), c.at("id"), c.at("values").get<std::vector<std::string>>(),
                                       c.at("args").get<std::vector<std::string>>()});
    }
    return plan;
  } catch (const json::exception& e) {
    throw MasterError(file.string() + ": not a sweep plan (" + e.what() + ")");
  }
}

}  // namespace master::sweep
