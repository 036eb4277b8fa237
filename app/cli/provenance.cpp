#include "app/cli/provenance.h"

#include <unistd.h>

#include <cctype>
#include <charconv>
#include <chrono>
#include <ctime>
#include <system_error>

#include "app/cli/build_info.h"
#include "app/cli/sha256.h"
#include "formats/cycle_file/cycle_reader.h"

namespace master::cli {

namespace fs = std::filesystem;
using json = nlohmann::ordered_json;

namespace {

std::string utcNow() {
  const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
  std::tm utc{};
  gmtime_r(&now, &utc);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return text;
}

std::string hostName() {
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) != 0) return "unknown";
  return name;
}

std::string executable() {
  std::error_code ec;
  const fs::path self = fs::read_symlink("/proc/self/exe", ec);
  return ec ? std::string("vehicle-sim") : self.string();
}

// The file of a system to hash: the archive or .ssd itself, a folder's SystemStructure.ssd.
fs::path hashedSystemFile(const LoadedSystem& system, const fs::path& systemPath) {
  std::error_code ec;
  return fs::is_directory(systemPath, ec) ? system.package->ssdFile() : systemPath;
}

// The value the last binding gave `variable` of component `index`, else its start value.
std::string boundText(const LoadedSystem& system, std::size_t index, const std::string& variable) {
  std::string text;
  const ModelVariable* v = system.descriptions[index].find(variable);
  if (v != nullptr && v->start) text = *v->start;
  for (const CouplingPlan::Binding& b : system.coupling.bindings) {
    if (b.target.component == index && b.target.variable != nullptr && b.target.variable->name == variable) {
      text = b.value.text;
    }
  }
  return text;
}

// The trace of the first drive cycle component, as the unit finds it.
json cycleOf(const LoadedSystem& system) {
  for (std::size_t i = 0; i < system.descriptions.size(); ++i) {
    if (system.descriptions[i].modelIdentifier != "DriveCycle") continue;
    const std::string setting = boundText(system, i, "cycle");
    const fs::path resources = system.archives[i]->resourcesFolder();
    const fs::path file = drive_cycle::resolveCycle(setting, resources);
    const fs::path inside = file.lexically_relative(resources);
    const bool packaged = !inside.empty() && *inside.begin() != "..";
    std::string name = setting;
    if (drive_cycle::standardCycleFile(setting) != nullptr) {
      for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    } else {
      name = fs::path(setting).stem().string();
    }
    std::error_code ec;
    return json{{"component", system.structure.components[i].name},
                {"name", name},
                {"file", packaged ? system.structure.components[i].source + ":resources/" + inside.string() : file.string()},
                {"sha256", fs::is_regular_file(file, ec) ? json(sha256File(file)) : json(nullptr)}};
  }
  return nullptr;
}

std::string numberText(double v) {
  char text[32];
  return std::string(text, std::to_chars(text, text + sizeof text, v).ptr);
}

}  // namespace

std::string shellQuoted(const std::vector<std::string>& words) {
  std::string out;
  for (const std::string& w : words) {
    if (!out.empty()) out += ' ';
    bool plain = !w.empty();
    for (const char c : w) {
      plain &= std::isalnum(static_cast<unsigned char>(c)) != 0 || std::string_view("-_./=:,+@%").find(c) != std::string_view::npos;
    }
    if (plain) {
      out += w;
      continue;
    }
    out += '\'';
    for (const char c : w) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    out += '\'';
  }
  return out;
}

json runProvenance(const CliOptions& o, const LoadedSystem& system, const fs::path& systemPath, double outputInterval,
                   unsigned threads) {
  json p;
  p["system"] = {{"file", systemPath.string()}, {"sha256", sha256File(hashedSystemFile(system, systemPath))}};
  json components = json::array();
  for (std::size_t i = 0; i < system.descriptions.size(); ++i) {
    const SsdComponent& c = system.structure.components[i];
    components.push_back({{"name", c.name},
                          {"unit", system.descriptions[i].modelIdentifier},
                          {"fmu", c.source},
                          {"guid", system.descriptions[i].guid},
                          {"sha256", sha256File(system.archives[i]->archive())}});
  }
  p["components"] = components;
  p["cycle"] = cycleOf(system);
  p["step"] = o.step;
  p["outputInterval"] = outputInterval;
  // The coupling scheme as the options choose it (--no-feedthrough is plain Jacobi), with any
  // stepping groups given on the command line.
  std::string coupling = o.noFeedthrough ? "jacobi" : o.coupling;
  for (const std::string& g : o.groups) coupling += " --group " + g;
  p["coupling"] = coupling;
  p["threads"] = threads;
  json values = json::array();
  for (const CouplingPlan::Binding& b : system.coupling.bindings) {
    values.push_back({{"variable", system.structure.components[b.target.component].name + "." + b.value.name},
                      {"value", b.value.text},
                      {"from", b.value.line > 0 ? b.value.file + ":" + std::to_string(b.value.line) : b.value.file}});
  }
  p["values"] = values;
  json files = json::array();
  for (const std::string& f : o.parameterFiles) {
    files.push_back({{"file", fs::absolute(f).lexically_normal().string()}, {"sha256", sha256File(f)}});
  }
  p["parameterFiles"] = files;
  p["vehicleSim"] = {{"version", version()}, {"commit", sourceCommit().empty() ? json(nullptr) : json(sourceCommit())}};
  p["date"] = utcNow();
  p["host"] = hostName();
  p["workingDirectory"] = fs::current_path().string();
  p["arguments"] = o.arguments;
  std::vector<std::string> words{executable()};
  words.insert(words.end(), o.arguments.begin(), o.arguments.end());
  p["command"] = "cd " + shellQuoted({fs::current_path().string()}) + " && " + shellQuoted(words);
  return p;
}

report::ProvenanceRows provenanceRows(const json& p) {
  report::ProvenanceRows rows;
  auto text = [](const json& v) { return v.is_string() ? v.get<std::string>() : v.dump(); };
  rows.push_back({"system", text(p["system"]["file"]) + ", SHA-256 " + text(p["system"]["sha256"])});
  for (const json& c : p["components"]) {
    rows.push_back({"component", text(c["name"]) + ": " + text(c["fmu"]) + ", GUID " + text(c["guid"]) + ", SHA-256 " +
                                     text(c["sha256"])});
  }
  if (!p["cycle"].is_null()) {
    rows.push_back({"cycle", text(p["cycle"]["name"]) + ": " + text(p["cycle"]["file"]) + ", SHA-256 " +
                                 text(p["cycle"]["sha256"])});
  }
  rows.push_back({"stepping", "step " + numberText(p["step"].get<double>()) + " s, results every " +
                                  numberText(p["outputInterval"].get<double>()) + " s, " + text(p["coupling"]) + ", " +
                                  text(p["threads"]) + " thread" + (p["threads"].get<unsigned>() == 1 ? "" : "s")});
  // The values the system binds itself are counted per file (summary.json lists each); those
  // from outside it are shown one by one.
  const std::string inside = text(p["system"]["file"]) + "/";
  std::vector<std::pair<std::string, int>> systemFiles;
  for (const json& v : p["values"]) {
    const std::string from = text(v["from"]);
    if (from.rfind(inside, 0) != 0) {
      rows.push_back({"value", text(v["variable"]) + " = " + text(v["value"]) + " (" + from + ")"});
      continue;
    }
    const std::string file = from.substr(inside.size(), from.rfind(':') > inside.size() ? from.rfind(':') - inside.size()
                                                                                         : std::string::npos);
    if (systemFiles.empty() || systemFiles.back().first != file) systemFiles.push_back({file, 0});
    ++systemFiles.back().second;
  }
  for (const auto& [file, count] : systemFiles) {
    rows.push_back({"system values", std::to_string(count) + " from " + file});
  }
  for (const json& f : p["parameterFiles"]) {
    rows.push_back({"parameter file", text(f["file"]) + ", SHA-256 " + text(f["sha256"])});
  }
  const json& build = p["vehicleSim"];
  rows.push_back({"vehicle-sim", text(build["version"]) +
                                     (build["commit"].is_null() ? std::string(" (not built from a git checkout)")
                                                                : ", source commit " + text(build["commit"]))});
  rows.push_back({"run", text(p["date"]) + " on " + text(p["host"])});
  rows.push_back({"command", text(p["command"])});
  return rows;
}

}  // namespace master::cli
