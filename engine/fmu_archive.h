// A unit's .fmu archive (or a system's .ssp archive) unpacked into a private temporary folder
// that lives exactly as long as this object: the folder and everything in it are removed by the
// destructor.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace master {

// What one archive may unpack to. Far beyond any unit or system (the vehicle's largest .fmu
// unpacks to a few MB); an archive that declares more, or whose entries unpack to more than
// they declare, is refused before it fills the disk.
struct ArchiveLimits {
  std::uint64_t entries = 10000;
  std::uint64_t entryBytes = std::uint64_t{1} << 30;  // 1 GiB
  std::uint64_t totalBytes = std::uint64_t{2} << 30;  // 2 GiB
};

class ExtractedFmu {
 public:
  // Unpacks `archive`; throws MasterError, naming the archive, the entry and the reason, when
  // the file is missing or is not a zip archive, or when it holds an entry that would land
  // outside the folder (an absolute name, `..`), a symbolic link or other special file, an
  // entry named twice, more entries or bytes than `limits` allow, or an entry that unpacks to
  // more than its declared size. Every entry is checked before anything is written; a refused
  // archive leaves no folder behind.
  // `kind` names the archive in messages ("unit" for a .fmu, "system" for a .ssp).
  explicit ExtractedFmu(const std::filesystem::path& archive, const std::string& kind = "unit",
                        const ArchiveLimits& limits = {});
  ~ExtractedFmu();
  ExtractedFmu(const ExtractedFmu&) = delete;
  ExtractedFmu& operator=(const ExtractedFmu&) = delete;

  const std::filesystem::path& archive() const { return archive_; }
  const std::filesystem::path& root() const { return root_; }
  std::filesystem::path modelDescriptionFile() const { return root_ / "modelDescription.xml"; }
  std::filesystem::path resourcesFolder() const { return root_ / "resources"; }
  std::filesystem::path binaryFile(const std::string& modelIdentifier) const {
    return root_ / "binaries" / "linux64" / (modelIdentifier + ".so");
  }

 private:
  std::filesystem::path archive_;
  std::filesystem::path root_;
};

// The file:///… URI of a local absolute path, with every byte outside the unreserved set and
// '/' percent-encoded.
std::string fileUri(const std::filesystem::path& absolutePath);

}  // namespace master
