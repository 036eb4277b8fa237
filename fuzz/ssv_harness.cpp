// The fuzzing harness of the parameter values reader: the fuzzer's bytes as a .ssv. Every value
// it accepts has a name, a line and a value of its type.
#include <cmath>

#include "fuzz/reader_harness.h"
#include "engine/parameter_values.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  fuzz::refusalsOnly([&] {
    for (const master::ParameterValue& v : master::parseParameterValues(fuzz::text(data, size), "fuzz.ssv")) {
      FUZZ_EXPECT(!v.name.empty() && v.line > 0);
      if (v.type == master::VariableType::real) FUZZ_EXPECT(!v.text.empty());
      if (v.type == master::VariableType::boolean) FUZZ_EXPECT(v.integer == 0 || v.integer == 1);
    }
  });
  return 0;
}
