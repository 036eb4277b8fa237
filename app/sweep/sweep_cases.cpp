#include "app/sweep/sweep_cases.h"

#include <algorithm>
#include <charconv>
#include <limits>
#include <random>
#include <set>

#include "engine/error.h"

namespace master::sweep {

namespace {

constexpr std::uint64_t saturated = std::numeric_limits<std::uint64_t>::max();

std::uint64_t multiply(std::uint64_t a, std::uint64_t b) {
  if (a != 0 && b > saturated / a) return saturated;
  return a * b;
}

// The points the grid or the explicit cases give, before cycles and sampling.
std::uint64_t baseCount(const SweepFile& file) {
  if (!file.cases.empty()) return file.cases.size();
  std::uint64_t n = 1;
  for (const Input& input : file.grid) n = multiply(n, input.values.size());
  return n;
}

std::uint64_t cycleCount(const SweepFile& file) { return file.cycles.empty() ? 1 : file.cycles.size(); }

// Point `index` of the grid, the last list varying fastest.
std::vector<Assignment> gridPoint(const SweepFile& file, std::uint64_t index) {
  std::vector<Assignment> point(file.grid.size());
  for (std::size_t d = file.grid.size(); d-- > 0;) {
    const Input& input = file.grid[d];
    point[d] = Assignment{input.name, input.values[index % input.values.size()]};
    index /= input.values.size();
  }
  return point;
}

std::vector<Assignment> basePoint(const SweepFile& file, std::uint64_t index) {
  if (file.cases.empty()) return gridPoint(file, index);
  std::vector<Assignment> point;
  for (const Input& input : file.cases[index]) point.push_back(Assignment{input.name, input.values.front()});
  return point;
}

// A whole number in [0, n) from the generator's raw output.
std::uint64_t below(std::mt19937_64& rng, std::uint64_t n) { return rng() % n; }

// The base points a sample draws: distinct ones in increasing order (Floyd's algorithm) when the
// base has enough, else every base point in turn (only with ranges, which make them differ).
std::vector<std::uint64_t> drawPoints(std::mt19937_64& rng, std::uint64_t base, std::uint64_t count) {
  std::vector<std::uint64_t> points;
  if (count <= base) {
    std::set<std::uint64_t> chosen;
    for (std::uint64_t j = base - count; j < base; ++j) {
      const std::uint64_t t = below(rng, j + 1);
      chosen.insert(chosen.count(t) ? j : t);
    }
    points.assign(chosen.begin(), chosen.end());
  } else {
    for (std::uint64_t k = 0; k < count; ++k) points.push_back(k % base);
  }
  return points;
}

}  // namespace

std::uint64_t caseCount(const SweepFile& file) {
  const std::uint64_t points = file.sample ? file.sample->count : baseCount(file);
  return multiply(points, cycleCount(file));
}

void checkCount(const SweepFile& file, bool yes) {
  const std::uint64_t base = baseCount(file);
  if (file.sample && file.sample->count > base && file.sample->ranges.empty()) {
    throw MasterError(file.where(file.sample->line) + "the sample draws " + std::to_string(file.sample->count) +
                      " distinct cases from " + std::to_string(base) + " (give fewer, or ranges)");
  }
  const std::uint64_t n = caseCount(file);
  if (n > file.limit && !yes) {
    const std::string count = n == saturated ? "more than 2^64" : std::to_string(n);
    throw MasterError(file.where(file.limitLine ? file.limitLine : file.gridLine) + "the sweep has " + count +
                      " cases, more than the limit of " + std::to_string(file.limit) +
                      (file.limitLine ? "" : " (the default; set 'limit' to change it)") +
                      "; give --yes to run them all");
  }
}

CaseSet expandCases(const SweepFile& file) {
  // The base points, sampled or all of them, each with its drawn values.
  std::vector<std::vector<Assignment>> points;
  const std::uint64_t base = baseCount(file);
  if (file.sample) {
    std::mt19937_64 rng(file.sample->seed);
    for (const std::uint64_t p : drawPoints(rng, base, file.sample->count)) {
      std::vector<Assignment> point = basePoint(file, p);
      for (const Range& range : file.sample->ranges) {
        const double u = static_cast<double>(rng() >> 11) * 0x1p-53;
        Value v{Value::Kind::real, "", range.min + (range.max - range.min) * u, range.line};
        v.text = numberText(v.number);
        point.push_back(Assignment{range.name, v});
      }
      points.push_back(std::move(point));
    }
  } else {
    for (std::uint64_t p = 0; p < base; ++p) points.push_back(basePoint(file, p));
  }

  CaseSet set;
  auto addName = [&](const std::string& name) {
    if (std::find(set.inputNames.begin(), set.inputNames.end(), name) == set.inputNames.end()) {
      set.inputNames.push_back(name);
    }
  };
  if (!file.cycles.empty()) addName("cycle");
  for (const Input& input : file.settings) addName(input.name);
  for (const auto& point : points) {
    for (const Assignment& a : point) addName(a.name);
  }

  const std::vector<Value> noCycle;
  const std::uint64_t cycles = cycleCount(file);
  for (std::uint64_t c = 0; c < cycles; ++c) {
    for (const auto& point : points) {
      Case k;
      k.index = set.cases.size();
      // A later assignment of the same input wins: cycle, then settings, then the point.
      std::vector<Assignment> all;
      if (!file.cycles.empty()) all.push_back(Assignment{"cycle", file.cycles[c]});
      for (const Input& input : file.settings) all.push_back(Assignment{input.name, input.values.front()});
      all.insert(all.end(), point.begin(), point.end());
      for (const std::string& name : set.inputNames) {
        for (auto it = all.rbegin(); it != all.rend(); ++it) {
          if (it->name == name) {
            k.inputs.push_back(*it);
            break;
          }
        }
      }
      set.cases.push_back(std::move(k));
    }
  }

  for (const std::string& name : set.inputNames) {
    std::set<std::string> seen;
    for (const Case& k : set.cases) {
      const auto it = std::find_if(k.inputs.begin(), k.inputs.end(), [&](const Assignment& a) { return a.name == name; });
      seen.insert(it == k.inputs.end() ? std::string("\x01") : it->value.text);
    }
    if (seen.size() > 1) set.sweptNames.push_back(name);
  }
  return set;
}

}  // namespace master::sweep
