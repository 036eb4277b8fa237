#include "tests/hardening/unit_catalogue.h"

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

namespace hardening {

PrivateLibraryCopy::PrivateLibraryCopy(const std::string& library) {
  std::string pattern = (std::filesystem::temp_directory_path() / "hardening-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot make a temporary directory");
  directory_ = pattern;
  path_ = (std::filesystem::path(directory_) / std::filesystem::path(library).filename()).string();
  std::filesystem::copy_file(library, path_);
}

PrivateLibraryCopy::~PrivateLibraryCopy() {
  std::error_code ignored;
  std::filesystem::remove_all(directory_, ignored);
}

}  // namespace hardening
