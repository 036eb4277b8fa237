#include "engine/step_plan.h"

#include <cmath>
#include <cstdio>
#include <algorithm>

#include "engine/error.h"

namespace master {

namespace {

constexpr unsigned mostBaseSteps = 100000;

std::string seconds(double s) {
  char text[32];
  std::snprintf(text, sizeof text, "%g s", s);
  return text;
}

}  // namespace

StepPlan planSteps(const std::vector<std::string>& names, const std::vector<bool>& fedThrough,
                   const std::vector<DeclaredStepping::Group>& groups, double h) {
  StepPlan plan;
  std::vector<int> groupOf(names.size(), -1);
  std::vector<StepPlan::Group> planned(groups.size());
  for (std::size_t g = 0; g < groups.size(); ++g) {
    for (const std::string& name : groups[g].components) {
      const auto found = std::find(names.begin(), names.end(), name);
      if (found == names.end()) throw MasterError("the system has no component '" + name + "' to step in a group");
      groupOf[static_cast<std::size_t>(found - names.begin())] = static_cast<int>(g);
    }
  }
  std::string faster;
  for (std::size_t g = 0; g < groups.size(); ++g) {
    const double own = groups[g].step;
    if (own >= h * (1.0 - 1e-9)) continue;
    const double ratio = h / own;
    if (std::fabs(ratio - std::round(ratio)) > 1e-9 * ratio || ratio > mostBaseSteps) {
      plan.warnings.push_back("a group cannot step at " + seconds(own) + ": that does not divide the communication step " +
                              seconds(h) + " into a whole number; it steps at " + seconds(h));
      continue;
    }
    StepPlan::Group group;
    group.baseSteps = static_cast<unsigned>(std::round(ratio));
    std::string members;
    for (std::size_t i = 0; i < names.size(); ++i) {
      if (groupOf[i] != static_cast<int>(g)) continue;
      if (fedThrough[i]) {
        plan.warnings.push_back("component '" + names[i] + "' cannot step at " + seconds(own) +
                                ": it is evaluated for direct feedthrough at the communication points; it steps at " +
                                seconds(h));
        continue;
      }
      group.members.push_back(i);
      members += (members.empty() ? "" : ", ") + names[i];
    }
    if (group.members.empty()) continue;
    faster += (faster.empty() ? "" : "; ") + members + " at " + seconds(own);
    plan.groups.push_back(std::move(group));
  }
  if (!faster.empty()) {
    plan.notes.push_back("stepped in groups faster than the communication step " + seconds(h) +
                         ", their values held for the others between the communication points: " + faster);
  }
  return plan;
}

}  // namespace master
