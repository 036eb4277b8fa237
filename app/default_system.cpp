#include "app/default_system.h"

#include <dlfcn.h>

#include <system_error>

namespace master {

namespace fs = std::filesystem;

fs::path defaultSystemBeside(const fs::path& binaryFolder, std::initializer_list<const char*> relativeCandidates) {
  std::error_code ec;
  for (const char* relative : relativeCandidates) {
    const fs::path candidate = (binaryFolder / relative).lexically_normal();
    if (fs::exists(candidate, ec)) return candidate;
  }
  return (binaryFolder / *relativeCandidates.begin()).lexically_normal();
}

fs::path programDefaultSystem() {
  std::error_code ec;
  const fs::path program = fs::read_symlink("/proc/self/exe", ec);
  return defaultSystemBeside(ec ? fs::current_path() : program.parent_path(),
                             {VEHICLE_INSTALLED_SYSTEM, VEHICLE_BUILT_SYSTEM});
}

fs::path folderOf(const void* address) {
  Dl_info info{};
  if (dladdr(address, &info) == 0 || info.dli_fname == nullptr) return fs::current_path();
  std::error_code ec;
  const fs::path file = fs::weakly_canonical(info.dli_fname, ec);
  return (ec ? fs::absolute(info.dli_fname) : file).parent_path();
}

}  // namespace master
