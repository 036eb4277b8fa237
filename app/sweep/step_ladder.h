// The runs of a step check: the chosen stepping, then finer and finer down to the finest step
// the system declares, each level halving every step (the communication step and the steps of
// the faster groups) as long as the halves stay whole multiples of the finest step; the last
// level runs every component at the finest step.
#pragma once

#include <string>
#include <vector>

#include "engine/step_annotation.h"

namespace master::sweep {

struct StepLevel {
  double step = 0.0;
  // The groups to give as --group: the user's own at every level, the system's where their step
  // changed (a --group takes its components out of the system's groups).
  std::vector<DeclaredStepping::Group> groups;
  // The groups that step faster than `step` at this level, for the table's heading.
  std::vector<DeclaredStepping::Group> faster;
};

// `declared`: the system's groups; `given`: the user's --group ones (later ones win, as in the
// engine); `finest`: the finest step, > 0. The first level is the chosen one (`step`, the
// groups as given); a chosen step at or below `finest` gives that level alone.
std::vector<StepLevel> stepLadder(double step, const std::vector<DeclaredStepping::Group>& declared,
                                  const std::vector<DeclaredStepping::Group>& given, double finest);

// The finest step a system declares: the shortest of its units' suggested steps and its groups'
// steps; 0 when it declares none.
double finestDeclaredStep(const std::vector<double>& unitSteps, const std::vector<DeclaredStepping::Group>& groups);

// "cycle,driver=0.0025": a group as --group takes it.
std::string groupArgument(const DeclaredStepping::Group& group);

}  // namespace master::sweep
