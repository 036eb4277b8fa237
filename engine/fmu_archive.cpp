#include "engine/fmu_archive.h"

#include <zip.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <system_error>
#include <vector>

#include "engine/error.h"

namespace master {

namespace fs = std::filesystem;

namespace {

struct ZipCloser {
  void operator()(zip_t* z) const { zip_discard(z); }
};
struct ZipFileCloser {
  void operator()(zip_file_t* f) const { zip_fclose(f); }
};

fs::path makeTemporaryFolder() {
  std::string pattern = (fs::temp_directory_path() / "vehicle-sim-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) {
    throw MasterError("cannot create a temporary folder from '" + pattern + "'");
  }
  return pattern;
}

// An entry name that stays inside the folder: relative, without "..", without empty parts
// other than a trailing '/' of a directory entry.
bool safeEntryName(const std::string& name) {
  if (name.empty() || name.front() == '/' || name.find('\\') != std::string::npos) return false;
  for (const fs::path& part : fs::path(name)) {
    if (part == "..") return false;
  }
  return true;
}

void extractAll(zip_t* archive, const fs::path& root, const std::string& source) {
  const zip_int64_t count = zip_get_num_entries(archive, 0);
  std::vector<char> buffer(1 << 16);
  for (zip_int64_t i = 0; i < count; ++i) {
    const auto index = static_cast<zip_uint64_t>(i);
    const char* rawName = zip_get_name(archive, index, 0);
    if (rawName == nullptr) throw MasterError(source + ": unreadable entry name in the archive");
    const std::string name = rawName;
    if (!safeEntryName(name)) {
      throw MasterError(source + ": archive entry '" + name + "' would land outside the archive's folder");
    }
    const fs::path target = root / name;
    if (name.back() == '/') {
      fs::create_directories(target);
      continue;
    }
    fs::create_directories(target.parent_path());
    std::unique_ptr<zip_file_t, ZipFileCloser> in(zip_fopen_index(archive, index, 0));
    if (!in) {
      throw MasterError(source + ": cannot read archive entry '" + name + "': " + zip_strerror(archive));
    }
    std::ofstream out(target, std::ios::binary | std::ios::trunc);
    if (!out) throw MasterError("cannot write '" + target.string() + "'");
    for (;;) {
      const zip_int64_t n = zip_fread(in.get(), buffer.data(), buffer.size());
      if (n < 0) {
        throw MasterError(source + ": archive entry '" + name + "' is damaged: " +
                          zip_file_strerror(in.get()));
      }
      if (n == 0) break;
      out.write(buffer.data(), static_cast<std::streamsize>(n));
    }
    out.close();
    if (!out) throw MasterError("cannot write '" + target.string() + "'");
  }
}

}  // namespace

ExtractedFmu::ExtractedFmu(const fs::path& archive, const std::string& kind) : archive_(archive) {
  const std::string source = archive.string();
  std::error_code ec;
  if (!fs::is_regular_file(archive, ec)) {
    throw MasterError(kind + " archive '" + source + "' does not exist or is not a file");
  }
  int error = 0;
  std::unique_ptr<zip_t, ZipCloser> zip(zip_open(source.c_str(), ZIP_RDONLY, &error));
  if (!zip) {
    zip_error_t description;
    zip_error_init_with_code(&description, error);
    const std::string reason = zip_error_strerror(&description);
    zip_error_fini(&description);
    throw MasterError(kind + " archive '" + source + "' is not a valid " + (kind == "unit" ? ".fmu" : ".ssp") +
                      " (zip) archive: " + reason);
  }
  root_ = makeTemporaryFolder();
  try {
    extractAll(zip.get(), root_, source);
    // The folder is optional in an archive; the unit is told about it all the same.
    fs::create_directories(resourcesFolder());
  } catch (...) {
    fs::remove_all(root_, ec);
    throw;
  }
}

ExtractedFmu::~ExtractedFmu() {
  std::error_code ec;
  fs::remove_all(root_, ec);
}

std::string fileUri(const fs::path& absolutePath) {
  static const char hex[] = "0123456789ABCDEF";
  std::string uri = "file://";
  for (const unsigned char c : absolutePath.string()) {
    const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                       c == '-' || c == '.' || c == '_' || c == '~' || c == '/';
    if (plain) {
      uri += static_cast<char>(c);
    } else {
      uri += '%';
      uri += hex[c >> 4];
      uri += hex[c & 15];
    }
  }
  return uri;
}

}  // namespace master
