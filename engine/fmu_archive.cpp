#include "engine/fmu_archive.h"

#include <sys/stat.h>
#include <zip.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <set>
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

// An entry name that stays inside the folder: relative, without "..", without a backslash.
bool safeEntryName(const std::string& name) {
  if (name.empty() || name.front() == '/' || name.find('\\') != std::string::npos) return false;
  for (const fs::path& part : fs::path(name)) {
    if (part == "..") return false;
  }
  return true;
}

// One entry to unpack, checked.
struct Entry {
  zip_uint64_t index = 0;
  std::string name;
  bool directory = false;
  zip_uint64_t size = 0;  // as the archive declares it
};

// Why an entry's Unix file type keeps it out, or null for a regular file or folder (or an entry
// written elsewhere, which has no such type).
const char* specialFileType(zip_t* archive, zip_uint64_t index) {
  zip_uint8_t system = 0;
  zip_uint32_t attributes = 0;
  if (zip_file_get_external_attributes(archive, index, 0, &system, &attributes) != 0 || system != ZIP_OPSYS_UNIX) {
    return nullptr;
  }
  const mode_t type = (attributes >> 16) & S_IFMT;
  if (type == S_IFLNK) return "is a symbolic link";
  if (type != 0 && type != S_IFREG && type != S_IFDIR) return "is a special file (neither a file nor a folder)";
  return nullptr;
}

// Every entry, checked before anything is written: names, types, count and declared sizes.
std::vector<Entry> checkedEntries(zip_t* archive, const std::string& source, const ArchiveLimits& limits) {
  const zip_int64_t count = zip_get_num_entries(archive, 0);
  if (count < 0) throw MasterError(source + ": cannot list the archive's entries");
  if (static_cast<zip_uint64_t>(count) > limits.entries) {
    throw MasterError(source + ": the archive holds " + std::to_string(count) + " entries; at most " +
                      std::to_string(limits.entries) + " are unpacked");
  }
  std::vector<Entry> entries;
  std::set<std::string> names;
  zip_uint64_t total = 0;
  for (zip_int64_t i = 0; i < count; ++i) {
    Entry e;
    e.index = static_cast<zip_uint64_t>(i);
    zip_stat_t stat;
    zip_stat_init(&stat);
    if (zip_stat_index(archive, e.index, 0, &stat) != 0 || (stat.valid & ZIP_STAT_NAME) == 0 || stat.name == nullptr) {
      throw MasterError(source + ": unreadable entry " + std::to_string(i) + " in the archive: " + zip_strerror(archive));
    }
    e.name = stat.name;
    const std::string entry = source + ": archive entry '" + e.name + "' ";
    if (!safeEntryName(e.name)) throw MasterError(entry + "would land outside the archive's folder");
    if (const char* why = specialFileType(archive, e.index)) throw MasterError(entry + why);
    e.directory = e.name.back() == '/';
    std::string normal = fs::path(e.name).lexically_normal().generic_string();
    while (!normal.empty() && normal.back() == '/') normal.pop_back();
    if (!names.insert(normal).second) throw MasterError(entry + "is named twice in the archive");
    if ((stat.valid & ZIP_STAT_SIZE) == 0) throw MasterError(entry + "declares no size");
    e.size = e.directory ? 0 : stat.size;
    if (e.size > limits.entryBytes) {
      throw MasterError(entry + "unpacks to " + std::to_string(e.size) + " bytes; an entry may unpack to at most " +
                        std::to_string(limits.entryBytes));
    }
    total += e.size;
    if (total > limits.totalBytes) {
      throw MasterError(entry + "takes the archive past " + std::to_string(limits.totalBytes) +
                        " unpacked bytes, the most an archive may unpack to");
    }
    entries.push_back(std::move(e));
  }
  std::error_code ec;
  const fs::space_info space = fs::space(fs::temp_directory_path(ec), ec);
  if (!ec && total > space.available) {
    throw MasterError(source + ": the archive unpacks to " + std::to_string(total) + " bytes; the temporary folder '" +
                      fs::temp_directory_path(ec).string() + "' has " + std::to_string(space.available) + " free");
  }
  return entries;
}

// Unpacks one file entry, never writing more than it declares.
void extractFile(zip_t* archive, const Entry& e, const fs::path& target, const std::string& source,
                 std::vector<char>& buffer) {
  const std::string entry = source + ": archive entry '" + e.name + "' ";
  std::unique_ptr<zip_file_t, ZipFileCloser> in(zip_fopen_index(archive, e.index, 0));
  if (!in) throw MasterError(source + ": cannot read archive entry '" + e.name + "': " + zip_strerror(archive));
  std::ofstream out(target, std::ios::binary | std::ios::trunc);
  if (!out) throw MasterError(entry + "cannot be written to '" + target.string() + "'");
  zip_uint64_t written = 0;
  for (;;) {
    const zip_int64_t n = zip_fread(in.get(), buffer.data(), buffer.size());
    if (n < 0) throw MasterError(entry + "is damaged: " + zip_file_strerror(in.get()));
    if (n == 0) break;
    written += static_cast<zip_uint64_t>(n);
    if (written > e.size) {
      throw MasterError(entry + "unpacks to more than the " + std::to_string(e.size) + " bytes it declares");
    }
    out.write(buffer.data(), n);
  }
  out.close();
  if (!out) throw MasterError(entry + "cannot be written to '" + target.string() + "'");
}

void extractAll(zip_t* archive, const std::vector<Entry>& entries, const fs::path& root, const std::string& source) {
  std::vector<char> buffer(1 << 16);
  for (const Entry& e : entries) {
    const fs::path target = root / e.name;
    try {
      if (e.directory) {
        fs::create_directories(target);
        continue;
      }
      fs::create_directories(target.parent_path());
    } catch (const fs::filesystem_error& error) {
      // A file and a folder of one name ("a" and "a/b").
      throw MasterError(source + ": archive entry '" + e.name + "' cannot be unpacked: " + error.code().message());
    }
    extractFile(archive, e, target, source, buffer);
  }
}

}  // namespace

ExtractedFmu::ExtractedFmu(const fs::path& archive, const std::string& kind, const ArchiveLimits& limits)
    : archive_(archive) {
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
  const std::vector<Entry> entries = checkedEntries(zip.get(), source, limits);
  root_ = makeTemporaryFolder();
  try {
    extractAll(zip.get(), entries, root_, source);
    // The folder is optional in an archive; the unit is told about it all the same.
    if (!fs::is_directory(resourcesFolder(), ec) && !fs::create_directories(resourcesFolder(), ec)) {
      throw MasterError(source + ": archive entry 'resources' is no folder");
    }
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
