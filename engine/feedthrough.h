// The order in which components with direct feedthrough are evaluated at a communication point.
// A component is evaluated (its inputs set, its outputs read) before the step when one of its
// outputs depends directly on a connected input, as its model description declares; it comes
// after every such component that feeds it. Components on a loop of direct dependencies are
// left out of the order: their connections inside the loop carry the values of the previous
// communication point, as every other connection does.
#pragma once

#include <cstddef>
#include <vector>

#include "engine/coupling.h"

namespace master {

struct FeedthroughPlan {
  std::vector<std::size_t> order;               // components, upstream first
  std::vector<std::vector<std::size_t>> loops;  // components of each loop, for a warning
};

FeedthroughPlan planFeedthrough(const std::vector<const ModelDescription*>& descriptions,
                                const std::vector<CouplingPlan::Link>& links);

}  // namespace master
