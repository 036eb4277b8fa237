// Multi-rate stepping: which components exchange their values at a shorter step than the run's
// communication step. A group of such components steps together, base step by base step, each
// member taking the others' values of the last base step; with everything else a group exchanges
// at the communication points, where the point is recorded, the values held in between
// (zero-order hold).
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "engine/step_annotation.h"

namespace master {

struct StepPlan {
  struct Group {
    std::vector<std::size_t> members;  // components
    unsigned baseSteps = 1;            // per communication step
  };
  std::vector<Group> groups;          // the groups that step faster than the communication step
  std::vector<std::string> warnings;  // a group that cannot step at its step
  std::vector<std::string> notes;     // which components step faster, and at what step
};

// `names[i]` and `fedThrough[i]` describe component i; `groups` are the declared groups (a
// component of a later group leaves an earlier one). A group step no shorter than `h` leaves its
// components at `h`. A step that does not divide `h` into a whole number cannot be kept (the group
// steps at `h`), nor the step of a component evaluated for direct feedthrough (it is evaluated at
// the communication points only; it leaves the group): both with a warning. Throws MasterError
// for a component the system does not have.
StepPlan planSteps(const std::vector<std::string>& names, const std::vector<bool>& fedThrough,
                   const std::vector<DeclaredStepping::Group>& groups, double h);

}  // namespace master
