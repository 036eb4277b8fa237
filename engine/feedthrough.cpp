#include "engine/feedthrough.h"

#include <algorithm>
#include <functional>
#include <set>

namespace master {

namespace {

bool dependsOn(const ModelDescription& md, const ModelVariable& input) {
  const std::size_t index = static_cast<std::size_t>(&input - md.variables.data());
  for (const ModelVariable& v : md.variables) {
    if (v.causality == Causality::output &&
        std::find(v.directInputs.begin(), v.directInputs.end(), index) != v.directInputs.end()) {
      return true;
    }
  }
  return false;
}

using Graph = std::vector<std::set<std::size_t>>;

// The components on loops of the graph (its strongly connected components of more than one
// member, or of one that feeds itself; Tarjan), each loop's members in ascending order.
std::vector<std::vector<std::size_t>> loopsOf(const Graph& next) {
  const std::size_t n = next.size();
  std::vector<int> index(n, -1), low(n, 0);
  std::vector<bool> onStack(n, false);
  std::vector<std::size_t> stack;
  std::vector<std::vector<std::size_t>> loops;
  int counter = 0;
  std::function<void(std::size_t)> visit = [&](std::size_t v) {
    index[v] = low[v] = counter++;
    stack.push_back(v);
    onStack[v] = true;
    for (std::size_t w : next[v]) {
      if (index[w] < 0) {
        visit(w);
        low[v] = std::min(low[v], low[w]);
      } else if (onStack[w]) {
        low[v] = std::min(low[v], index[w]);
      }
    }
    if (low[v] != index[v]) return;
    std::vector<std::size_t> members;
    std::size_t w = 0;
    do {
      w = stack.back();
      stack.pop_back();
      onStack[w] = false;
      members.push_back(w);
    } while (w != v);
    if (members.size() > 1 || next[v].count(v) != 0) {
      std::sort(members.begin(), members.end());
      loops.push_back(members);
    }
  };
  for (std::size_t v = 0; v < n; ++v) {
    if (index[v] < 0) visit(v);
  }
  return loops;
}

// The components off the loops in topological order (Kahn), the lowest index first among the
// ready ones.
std::vector<std::size_t> orderOf(const Graph& next, const std::vector<bool>& looped) {
  const std::size_t n = next.size();
  std::vector<int> waiting(n, 0);
  for (std::size_t v = 0; v < n; ++v) {
    if (looped[v]) continue;
    for (std::size_t w : next[v]) {
      if (!looped[w]) ++waiting[w];
    }
  }
  std::set<std::size_t> ready;
  for (std::size_t v = 0; v < n; ++v) {
    if (!looped[v] && waiting[v] == 0) ready.insert(v);
  }
  std::vector<std::size_t> order;
  while (!ready.empty()) {
    const std::size_t v = *ready.begin();
    ready.erase(ready.begin());
    order.push_back(v);
    for (std::size_t w : next[v]) {
      if (!looped[w] && --waiting[w] == 0) ready.insert(w);
    }
  }
  return order;
}

}  // namespace

FeedthroughPlan planFeedthrough(const std::vector<const ModelDescription*>& descriptions,
                                const std::vector<CouplingPlan::Link>& links) {
  const std::size_t n = descriptions.size();
  Graph next(n);
  std::vector<bool> fedThrough(n, false);
  for (const CouplingPlan::Link& link : links) {
    if (!dependsOn(*descriptions[link.to.component], *link.to.variable)) continue;
    fedThrough[link.to.component] = true;
    next[link.from.component].insert(link.to.component);
  }

  FeedthroughPlan plan;
  plan.loops = loopsOf(next);
  std::vector<bool> looped(n, false);
  for (const auto& loop : plan.loops) {
    for (std::size_t m : loop) looped[m] = true;
  }
  for (std::size_t v : orderOf(next, looped)) {
    if (fedThrough[v]) plan.order.push_back(v);
  }
  std::sort(plan.loops.begin(), plan.loops.end());
  return plan;
}

}  // namespace master
