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

}  // namespace

FeedthroughPlan planFeedthrough(const std::vector<const ModelDescription*>& descriptions,
                                const std::vector<CouplingPlan::Link>& links) {
  const std::size_t n = descriptions.size();
  std::vector<std::set<std::size_t>> next(n);
  std::vector<bool> fedThrough(n, false);
  for (const CouplingPlan::Link& link : links) {
    if (!dependsOn(*descriptions[link.to.component], *link.to.variable)) continue;
    fedThrough[link.to.component] = true;
    next[link.from.component].insert(link.to.component);
  }

  // Strongly connected components (Tarjan); a component on a loop leaves the order.
  std::vector<int> index(n, -1), low(n, 0);
  std::vector<bool> onStack(n, false);
  std::vector<std::size_t> stack;
  std::vector<bool> looped(n, false);
  FeedthroughPlan plan;
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
      for (std::size_t m : members) looped[m] = true;
      plan.loops.push_back(members);
    }
  };
  for (std::size_t v = 0; v < n; ++v) {
    if (index[v] < 0) visit(v);
  }

  // Topological order of the rest (Kahn), lowest component index first among the ready ones.
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
  while (!ready.empty()) {
    const std::size_t v = *ready.begin();
    ready.erase(ready.begin());
    if (fedThrough[v]) plan.order.push_back(v);
    for (std::size_t w : next[v]) {
      if (!looped[w] && --waiting[w] == 0) ready.insert(w);
    }
  }
  std::sort(plan.loops.begin(), plan.loops.end());
  return plan;
}

}  // namespace master
