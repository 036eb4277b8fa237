// A unit's .fmu archive (or a system's .ssp archive) unpacked into a private temporary folder
// that lives exactly as long as this object: the folder and everything in it are removed by the
// destructor.
#pragma once

#include <filesystem>
#include <string>

namespace master {

class ExtractedFmu {
 public:
  // Unpacks `archive`; throws MasterError when the file is missing, is not a zip archive, or
  // holds an entry that would land outside the folder.
  // `kind` names the archive in messages ("unit" for a .fmu, "system" for a .ssp).
  explicit ExtractedFmu(const std::filesystem::path& archive, const std::string& kind = "unit");
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
