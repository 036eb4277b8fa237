// The fuzzing harness of the system structure reader: the fuzzer's bytes as a .ssd, read
// against a package folder that holds a unit and a .ssv, so that the files a system names are
// resolved (and refused when they leave the package) as in a run. Every component it accepts
// has a name and an .fmu inside the package; every connection joins known ends.
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "fuzz/reader_harness.h"
#include "engine/system_package.h"
#include "engine/system_structure.h"

namespace {

namespace fs = std::filesystem;

const master::SystemPackage& package() {
  static const master::SystemPackage p = [] {
    std::string pattern = (fs::temp_directory_path() / "fuzz-ssd-XXXXXX").string();
    const fs::path root = mkdtemp(pattern.data());
    std::ofstream(root / "SystemStructure.ssd") << "<SystemStructureDescription/>";
    fs::create_directories(root / "resources");
    std::ofstream(root / "resources" / "Unit.fmu") << "";
    std::ofstream(root / "resources" / "values.ssv")
        << "<ssv:ParameterSet xmlns:ssv=\"http://ssp-standard.org/SSP1/SystemStructureParameterValues\" "
           "version=\"1.0\" name=\"p\"><ssv:Parameters><ssv:Parameter name=\"gain\"><ssv:Real value=\"2\" "
           "unit=\"t\"/></ssv:Parameter></ssv:Parameters></ssv:ParameterSet>";
    return master::SystemPackage(root);
  }();
  return p;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  fuzz::refusalsOnly([&] {
    const master::SystemStructure s = master::parseSystemStructure(fuzz::text(data, size), "fuzz.ssd", &package());
    FUZZ_EXPECT(!s.components.empty());
    for (const master::SsdComponent& c : s.components) {
      FUZZ_EXPECT(!c.name.empty());
      FUZZ_EXPECT(fs::is_regular_file(c.fmuFile));
      const fs::path relative = c.fmuFile.lexically_relative(package().root());
      FUZZ_EXPECT(!relative.empty() && *relative.begin() != "..");
    }
    for (const master::SsdConnection& c : s.connections) FUZZ_EXPECT(!c.startConnector.empty() && !c.endConnector.empty());
    for (const master::ParameterValue& v : s.bindings) FUZZ_EXPECT(!v.name.empty() && v.line > 0);
  });
  return 0;
}
