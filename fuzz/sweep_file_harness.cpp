// The fuzzing harness of the sweep file reader: the fuzzer's bytes as a sweep file. A file it
// accepts has values in every input it lists, and a grid and [[case]] tables not both.
#include <cmath>

#include "fuzz/reader_harness.h"
#include "app/sweep/sweep_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  fuzz::refusalsOnly([&] {
    const master::sweep::SweepFile f = master::sweep::parseSweepFile(fuzz::text(data, size), "/fuzz/sweep.toml");
    FUZZ_EXPECT(f.grid.empty() || f.cases.empty());
    for (const master::sweep::Input& input : f.grid) {
      FUZZ_EXPECT(!input.name.empty() && !input.values.empty());
      for (const master::sweep::Value& v : input.values) FUZZ_EXPECT(std::isfinite(v.number));
    }
    for (const auto& c : f.cases) FUZZ_EXPECT(!c.empty());
    FUZZ_EXPECT(f.limit >= 1 && f.slurm.cpusPerTask >= 1 && f.slurm.maxParallel >= 0);
    if (f.sample) {
      FUZZ_EXPECT(f.sample->count >= 1);
      for (const master::sweep::Range& r : f.sample->ranges) FUZZ_EXPECT(r.min <= r.max);
    }
  });
  return 0;
}
