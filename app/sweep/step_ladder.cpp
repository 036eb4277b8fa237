#include "app/sweep/step_ladder.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "app/sweep/sweep_file.h"

namespace master::sweep {

namespace {

using Group = DeclaredStepping::Group;

// Equal to rounding: the steps are decimal fractions halved, never exact.
bool longer(double a, double b) { return a > b * (1.0 + 1e-9); }

bool wholeMultiple(double x, double of) {
  const double ratio = x / of, whole = std::round(ratio);
  return whole >= 1.0 && std::fabs(ratio - whole) <= 1e-9 * whole;
}

// Level `divisor` of the ladder: every group's step divided by it, never below `finest`
// (divisor 1: the chosen stepping as it is).
StepLevel level(double step, double divisor, const std::vector<Group>& declared, const std::vector<Group>& given,
                double finest) {
  StepLevel l;
  l.step = step;
  auto scaled = [&](Group g) {
    if (divisor != 1.0) g.step = std::max(finest, g.step / divisor);
    return g;
  };
  std::vector<Group> all;
  for (const Group& g : declared) {
    all.push_back(scaled(g));
    if (all.back().step != g.step) l.groups.push_back(all.back());
  }
  for (const Group& g : given) {
    all.push_back(scaled(g));
    l.groups.push_back(all.back());
  }
  // A component of a later group leaves an earlier one.
  for (std::size_t k = 0; k < all.size(); ++k) {
    Group g = all[k];
    std::erase_if(g.components, [&](const std::string& c) {
      return std::any_of(all.begin() + static_cast<std::ptrdiff_t>(k) + 1, all.end(), [&](const Group& later) {
        return std::find(later.components.begin(), later.components.end(), c) != later.components.end();
      });
    });
    if (!g.components.empty() && longer(step, g.step)) l.faster.push_back(std::move(g));
  }
  return l;
}

}  // namespace

std::vector<StepLevel> stepLadder(double step, const std::vector<Group>& declared, const std::vector<Group>& given,
                                  double finest) {
  std::vector<StepLevel> levels{level(step, 1.0, declared, given, finest)};
  double h = step, divisor = 1.0;
  while (longer(h, finest)) {
    h /= 2.0;
    divisor *= 2.0;
    if (!longer(h, finest) || !wholeMultiple(h, finest)) {
      levels.push_back(level(finest, std::numeric_limits<double>::infinity(), declared, given, finest));
      break;
    }
    levels.push_back(level(h, divisor, declared, given, finest));
  }
  return levels;
}

double finestDeclaredStep(const std::vector<double>& unitSteps, const std::vector<Group>& groups) {
  double finest = 0.0;
  auto take = [&](double s) {
    if (s > 0.0 && std::isfinite(s) && (finest == 0.0 || s < finest)) finest = s;
  };
  for (const double s : unitSteps) take(s);
  for (const Group& g : groups) take(g.step);
  return finest;
}

std::string groupArgument(const Group& group) {
  std::string text;
  for (const std::string& c : group.components) text += (text.empty() ? "" : ",") + c;
  return text + "=" + numberText(group.step);
}

}  // namespace master::sweep
