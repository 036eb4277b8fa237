// Where a system comes from: an SSP archive (.ssp, unpacked into a private temporary folder for
// the run), a folder holding an unpacked archive, or a bare system structure file (.ssd). Every
// file the system names (a component's .fmu, a parameter values file) is resolved here, relative
// to the folder of SystemStructure.ssd, and refused when it would lie outside the package.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "engine/fmu_archive.h"

namespace master {

class SystemPackage {
 public:
  // Throws MasterError when the path does not exist, an archive or folder has no
  // SystemStructure.ssd at its root, or an archive cannot be unpacked.
  explicit SystemPackage(const std::filesystem::path& path);

  const std::filesystem::path& path() const { return path_; }  // as given
  const std::filesystem::path& ssdFile() const { return ssd_; }
  const std::filesystem::path& root() const { return root_; }
  // The name of a file of the package for messages: inside an archive, "<archive>/<entry>".
  std::string display(const std::filesystem::path& file) const;
  // The file a `source` URI names (relative, or `file:`/absolute for a bare .ssd outside an
  // archive or folder). Throws MasterError naming `context` when it leaves the package or is
  // not a file.
  std::filesystem::path resolve(const std::string& uri, const std::string& context) const;

 private:
  std::filesystem::path path_, root_, ssd_;
  std::unique_ptr<ExtractedFmu> unpacked_;
  bool bareFile_ = false;
};

}  // namespace master
