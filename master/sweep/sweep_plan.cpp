#include "master/sweep/sweep_plan.h"

#include <cstdio>
#include <fstream>

#include <nlohmann/json.hpp>

#include "master/error.h"
#include "master/sweep/sweep_check.h"

namespace master::sweep {

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

const char* const planName = "sweep-plan.json";

// The option of the case's command line that carries a master setting.
std::string optionOf(const std::string& setting) { return "--" + setting; }

// A cycle that names a file beside the sweep file is given to the run by its absolute path.
std::string cycleArgument(const SweepFile& file, const std::string& text) {
  const fs::path candidate = file.source.parent_path() / text;
  if (text.find('/') != std::string::npos || text.find('.') != std::string::npos) {
    if (fs::exists(candidate)) return fs::absolute(candidate).lexically_normal().string();
  }
  return text;
}

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

}  // namespace

bool Plan::complete(const PlannedCase& c) const {
  std::ifstream in(summaryFile(c));
  if (!in) return false;
  const json summary = json::parse(in, nullptr, false);
  if (!summary.is_object() || !summary.contains("status") || !summary["status"].is_string()) return false;
  const std::string status = summary["status"];
  return status == "ok" || status == "health-check-failed";
}

Plan makePlan(const SweepFile& file, const CaseSet& set, const fs::path& dir, const std::string& executable) {
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
    args.insert(args.end(), {"--no-progress", "--threads", "1"});
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
      } else if (isMasterSetting(name)) {
        args.insert(args.end(), {optionOf(name), value});
      } else {
        args.insert(args.end(), {"--start-value", name + "=" + value});
      }
    }
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
