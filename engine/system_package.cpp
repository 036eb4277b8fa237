#include "engine/system_package.h"

#include "engine/error.h"

namespace master {

namespace fs = std::filesystem;

namespace {

constexpr const char* ssdName = "SystemStructure.ssd";

// %XX sequences decoded; false for a malformed one.
bool percentDecode(const std::string& in, std::string& out) {
  out.clear();
  for (std::size_t i = 0; i < in.size(); ++i) {
    if (in[i] != '%') {
      out += in[i];
      continue;
    }
    if (i + 2 >= in.size()) return false;
    const std::string hex = in.substr(i + 1, 2);
    char* end = nullptr;
    const long value = std::strtol(hex.c_str(), &end, 16);
    if (end != hex.c_str() + 2) return false;
    out += static_cast<char>(value);
    i += 2;
  }
  return true;
}

bool inside(const fs::path& file, const fs::path& root) {
  const fs::path relative = file.lexically_relative(root);
  return !relative.empty() && *relative.begin() != ".." && !relative.is_absolute();
}

}  // namespace

SystemPackage::SystemPackage(const fs::path& path) : path_(path) {
  std::error_code ec;
  if (!fs::exists(path, ec)) throw MasterError("system '" + path.string() + "' does not exist");
  if (fs::is_directory(path, ec)) {
    root_ = fs::weakly_canonical(fs::absolute(path));
  } else if (path.extension() == ".ssp") {
    unpacked_ = std::make_unique<ExtractedFmu>(path, "system");
    root_ = fs::weakly_canonical(unpacked_->root());
  } else {
    ssd_ = fs::weakly_canonical(fs::absolute(path));
    root_ = ssd_.parent_path();
    bareFile_ = true;
    return;
  }
  ssd_ = root_ / ssdName;
  if (!fs::is_regular_file(ssd_, ec)) {
    throw MasterError("system '" + path.string() + "' has no " + ssdName + " at its root");
  }
}

std::string SystemPackage::display(const fs::path& file) const {
  if (!unpacked_) return file.string();
  return (path_ / file.lexically_relative(root_)).string();
}

fs::path SystemPackage::resolve(const std::string& uri, const std::string& context) const {
  std::string text = uri;
  bool absolute = false;
  if (text.rfind("file:", 0) == 0) {
    text = text.substr(5);
    if (text.rfind("//", 0) == 0) text = text.substr(2);
    absolute = true;
  }
  std::string decoded;
  if (!percentDecode(text, decoded) || decoded.empty()) {
    throw MasterError(context + "'" + uri + "' is not a valid file reference");
  }
  fs::path file(decoded);
  if (file.is_absolute() || absolute) {
    if (!bareFile_) {
      throw MasterError(context + "'" + uri + "' is an absolute reference; inside a package every file is named "
                        "relative to " + ssdName);
    }
  } else {
    file = root_ / file;
  }
  std::error_code ec;
  file = fs::weakly_canonical(file, ec);
  if (ec) throw MasterError(context + "'" + uri + "' names no file that can be looked up: " + ec.message());
  if (!bareFile_ && !inside(file, root_)) {
    throw MasterError(context + "'" + uri + "' lies outside the system's package");
  }
  if (!fs::is_regular_file(file, ec)) throw MasterError(context + "'" + display(file) + "' does not exist or is not a file");
  return file;
}

}  // namespace master
