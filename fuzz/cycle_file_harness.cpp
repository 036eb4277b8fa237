// The fuzzing harness of the drive cycle file reader: the fuzzer's bytes as a cycle file. A
// trace it accepts keeps every promise of CycleTrace: at least two rows from time 0, times
// finite and never going back, speeds finite and not negative, a phase for every row; and the
// speed, phase and distance it gives at any time are finite.
#include <cmath>
#include <limits>
#include <sstream>
#include <string>

#include "fuzz/reader_harness.h"
#include "formats/cycle_file/cycle_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  std::istringstream in{std::string(fuzz::text(data, size))};
  const drive_cycle::CycleReadResult result = drive_cycle::parseCycle(in, "fuzz.csv");
  FUZZ_EXPECT(result.trace.has_value() != !result.error.empty());
  if (!result.trace) return 0;
  const drive_cycle::CycleTrace& t = *result.trace;
  const std::size_t rows = t.time.size();
  FUZZ_EXPECT(rows >= 2 && t.speedKmh.size() == rows && t.phaseOfRow.size() == rows);
  FUZZ_EXPECT(t.time.front() == 0.0);
  for (std::size_t k = 0; k < rows; ++k) {
    FUZZ_EXPECT(std::isfinite(t.time[k]) && (k == 0 || t.time[k] >= t.time[k - 1]));
    FUZZ_EXPECT(std::isfinite(t.speedKmh[k]) && t.speedKmh[k] >= 0.0);
    FUZZ_EXPECT(t.phaseOfRow[k] >= -1 && t.phaseOfRow[k] < static_cast<int>(t.phaseNames.size()));
    FUZZ_EXPECT((t.phaseOfRow[k] < 0) == (t.phaseOfRow[0] < 0));
  }
  const double end = t.duration();
  FUZZ_EXPECT(end > 0.0 && std::isfinite(end));
  FUZZ_EXPECT(std::isfinite(t.distanceKm()) && t.distanceKm() >= 0.0);
  for (const double at : {-1.0, 0.0, end / 3.0, end / 2.0, end, end * 2.0, std::numeric_limits<double>::quiet_NaN()}) {
    const double v = t.speedAt(at);
    FUZZ_EXPECT(std::isfinite(v) && v >= 0.0);
    FUZZ_EXPECT(t.rowAt(at) < rows);
    FUZZ_EXPECT(t.phaseAt(at) >= 0 && t.phaseAt(at) <= static_cast<int>(t.phaseNames.size()));
  }
  return 0;
}
