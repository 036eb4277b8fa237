// The fuzzing harness of the archive reader: the fuzzer's bytes as a .fmu, unpacked with small
// limits into a temporary folder of the harness's own. An archive it unpacks holds only files
// and folders inside its folder, within the limits; a refused one, and an unpacked one once it
// is gone, leave nothing behind.
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "fuzz/reader_harness.h"
#include "engine/fmu_archive.h"

namespace {

namespace fs = std::filesystem;

constexpr master::ArchiveLimits limits{64, 64 << 10, 256 << 10};

struct Folders {
  fs::path input;   // the archive file
  fs::path unpack;  // TMPDIR: where archives are unpacked
};

const Folders& folders() {
  static const Folders f = [] {
    std::string pattern = (fs::temp_directory_path() / "fuzz-archive-XXXXXX").string();
    const fs::path root = mkdtemp(pattern.data());
    Folders made{root / "input.fmu", root / "unpack"};
    fs::create_directories(made.unpack);
    setenv("TMPDIR", made.unpack.c_str(), 1);
    return made;
  }();
  return f;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const Folders& f = folders();
  std::ofstream(f.input, std::ios::binary | std::ios::trunc).write(reinterpret_cast<const char*>(data),
                                                                   static_cast<std::streamsize>(size));
  fuzz::refusalsOnly([&] {
    const master::ExtractedFmu fmu(f.input, "unit", limits);
    std::uintmax_t bytes = 0;
    for (const auto& e : fs::recursive_directory_iterator(fmu.root())) {
      FUZZ_EXPECT(!e.is_symlink());
      FUZZ_EXPECT(e.is_regular_file() || e.is_directory());
      const fs::path relative = e.path().lexically_relative(fmu.root());
      FUZZ_EXPECT(!relative.empty() && *relative.begin() != "..");
      if (e.is_regular_file()) bytes += e.file_size();
    }
    FUZZ_EXPECT(bytes <= limits.totalBytes);
    FUZZ_EXPECT(fs::is_directory(fmu.resourcesFolder()));
  });
  FUZZ_EXPECT(fs::is_empty(f.unpack));
  return 0;
}
