// SHA-256 digests of the files a run reads (system, units, cycle, parameter files), for the
// provenance of its results. The hashing is OpenSSL's.
#pragma once

#include <filesystem>
#include <string>

namespace master::cli {

// The digest of the file's bytes as 64 lower-case hexadecimal digits; throws MasterError when
// the file cannot be read.
std::string sha256File(const std::filesystem::path& file);

}  // namespace master::cli
