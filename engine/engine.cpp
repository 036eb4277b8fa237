#include "engine/engine.h"

#include "engine/error.h"
#include "engine/run.h"

namespace master {

volatile std::sig_atomic_t stopRequested = 0;

namespace fs = std::filesystem;

std::vector<const ModelDescription*> LoadedSystem::descriptionPointers() const {
  std::vector<const ModelDescription*> out;
  for (const ModelDescription& d : descriptions) out.push_back(&d);
  return out;
}

void applyOverrides(LoadedSystem& s, const std::vector<ValueOverride>& overrides) {
  s.warnings.clear();
  s.coupling = resolveCoupling(s.structure, s.descriptionPointers(), overrides);
  for (const VariableRef& open : s.coupling.openInputs) {
    s.warnings.push_back("input '" + s.structure.components[open.component].name + "." + open.variable->name +
                         "' is neither connected nor bound: it keeps its start value" +
                         (open.variable->start ? " " + *open.variable->start : std::string()));
  }
  for (const CouplingPlan::SystemInput& in : s.coupling.systemInputs) {
    if (!in.sinks.empty()) s.warnings.push_back("system input '" + in.name + "' is supplied by nothing: it holds 0");
  }
  for (const CouplingPlan::SystemParameter& p : s.coupling.systemParameters) {
    if (!p.bound && !p.sinks.empty()) {
      s.warnings.push_back(s.structure.where(p.line) + "system parameter '" + p.name +
                           "' has no value bound: the parameters it connects keep their own start values");
    }
  }
}

LoadedSystem loadSystem(const fs::path& path, const std::vector<ValueOverride>& overrides) {
  LoadedSystem s;
  s.package = std::make_unique<SystemPackage>(path);
  s.structure = readSystemStructure(*s.package);
  s.stepping = readDeclaredStepping(*s.package);
  for (const DeclaredStepping::Group& g : s.stepping.groups) {
    for (const std::string& name : g.components) {
      bool known = false;
      for (const SsdComponent& k : s.structure.components) known |= k.name == name;
      if (!known) {
        throw MasterError(s.stepping.source + ":" + std::to_string(g.line) + ": the system has no component '" + name +
                          "' to step in a group");
      }
    }
  }
  for (const SsdComponent& c : s.structure.components) {
    s.archives.push_back(std::make_unique<ExtractedFmu>(c.fmuFile));
    try {
      s.descriptions.push_back(readModelDescription(s.archives.back()->modelDescriptionFile()));
    } catch (const MasterError& e) {
      throw MasterError("component '" + c.name + "' (" + c.source + "): " + e.what());
    }
  }
  applyOverrides(s, overrides);
  return s;
}

RunOutcome runSystem(LoadedSystem& system, const EngineOptions& options, RunRecord& record,
                     const std::vector<RunObserver*>& observers) {
  return run::Run(system, options, record, observers).run();
}

}  // namespace master
