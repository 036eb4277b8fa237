// The cases of a sweep: the product of the grid's lists (or the explicit cases), run on each
// cycle, optionally a seeded random sample of them with uniform values drawn from ranges.
// Case k is the same for the same file on any machine: the draws use the 64-bit Mersenne
// Twister's raw output, not the library's distributions, whose results differ between libraries.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/sweep/sweep_file.h"

namespace master::sweep {

struct Assignment {
  std::string name;
  Value value;
};

struct Case {
  std::size_t index = 0;
  std::vector<Assignment> inputs;  // in the order of CaseSet::inputNames, only those it sets
};

struct CaseSet {
  std::vector<std::string> inputNames;  // every input any case sets: cycle, settings, swept ones
  std::vector<std::string> sweptNames;  // the inputs that differ between cases
  std::vector<Case> cases;
};

// How many cases the file makes, saturating at UINT64_MAX; cheap for any grid size.
std::uint64_t caseCount(const SweepFile& file);

// Throws MasterError (with the line) when more cases are asked for than the file has to draw
// from, or when the count exceeds the limit and `yes` is false.
void checkCount(const SweepFile& file, bool yes);

CaseSet expandCases(const SweepFile& file);

}  // namespace master::sweep
