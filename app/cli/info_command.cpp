#include "app/cli/info_command.h"

#include <algorithm>
#include <array>
#include <cstdio>

#include "app/cli/variable_selection.h"
#include "engine/error.h"
#include "engine/fmu_archive.h"

namespace master::cli {

namespace fs = std::filesystem;

CLI::App* addInfoCommand(CLI::App& app, InfoOptions& o) {
  CLI::App* info = app.add_subcommand("info", "list the components of a system or unit and their variables");
  info->add_option("SYSTEM", o.target, "an .ssp, .ssd or .fmu (default: the built vehicle.ssp)");
  info->add_option("PATTERN", o.pattern, "only variables matching this (component.variable or variable, * wildcards)");
  info->footer("Examples:\n  vehicle-sim info\n  vehicle-sim info '*.fuel*'\n  vehicle-sim info build/fmus/TESSIK.fmu");
  return info;
}

InfoComponent describeUnit(const fs::path& unit) {
  InfoComponent c;
  c.source = unit.string();
  if (fs::is_directory(unit)) {
    c.description = readModelDescription(unit / "modelDescription.xml");
  } else {
    const ExtractedFmu archive(unit);
    c.description = readModelDescription(archive.modelDescriptionFile());
  }
  c.name = c.description.modelName;
  return c;
}

namespace {

bool isUnit(const fs::path& p) {
  return p.extension() == ".fmu" || (fs::is_directory(p) && fs::exists(p / "modelDescription.xml"));
}

using Row = std::array<std::string, 7>;

}  // namespace

void printVariables(std::ostream& out, const std::vector<InfoComponent>& components, const std::string& pattern) {
  std::size_t shown = 0;
  for (const InfoComponent& c : components) {
    std::vector<Row> rows;
    for (const ModelVariable& v : c.description.variables) {
      if (!pattern.empty() && !matchesPattern(pattern, c.name + "." + v.name) && !matchesPattern(pattern, v.name)) {
        continue;
      }
      rows.push_back({v.name, causalityName(v.causality), v.variability, typeName(v.type), v.unit,
                      v.start.value_or(""), v.description});
    }
    if (rows.empty() && !pattern.empty()) continue;
    shown += rows.size();
    out << c.name << ": " << c.description.modelIdentifier << " (" << c.description.modelName << "), from "
        << c.source << ", " << c.description.variables.size() << " variables\n";
    rows.insert(rows.begin(), Row{"variable", "causality", "variability", "type", "unit", "start", "description"});
    std::array<std::size_t, 7> width{};
    for (const Row& r : rows) {
      for (std::size_t i = 0; i < r.size(); ++i) width[i] = std::max(width[i], r[i].size());
    }
    for (const Row& r : rows) {
      std::string line = " ";
      for (std::size_t i = 0; i < r.size(); ++i) {
        line += ' ';
        line += r[i];
        if (i + 1 < r.size()) line.append(width[i] - r[i].size() + 1, ' ');
      }
      while (!line.empty() && line.back() == ' ') line.pop_back();
      out << line << '\n';
    }
  }
  if (!pattern.empty() && shown == 0) throw MasterError("no variable matches '" + pattern + "'");
}

std::vector<InfoComponent> describeTarget(const fs::path& target, const SystemDescriber& describeSystem) {
  if (isUnit(target)) return {describeUnit(target)};
  std::error_code ec;
  if (!fs::exists(target, ec)) throw MasterError("'" + target.string() + "' does not exist");
  return describeSystem(target);
}

int runInfo(const InfoOptions& o, const std::string& defaultSystem, const SystemDescriber& describeSystem,
            std::ostream& out) {
  try {
    fs::path target = o.target.empty() ? fs::path(defaultSystem) : fs::path(o.target);
    std::string pattern = o.pattern;
    // "info PATTERN": a lone argument that names no file and has no file's extension.
    std::error_code ec;
    const std::string ext = target.extension().string();
    if (pattern.empty() && !o.target.empty() && !fs::exists(target, ec) && ext != ".ssp" && ext != ".ssd" &&
        ext != ".fmu") {
      pattern = o.target;
      target = defaultSystem;
    }
    printVariables(out, describeTarget(target, describeSystem), pattern);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "vehicle-sim: %s\n", e.what());
    return 1;
  }
  return 0;
}

}  // namespace master::cli
