#include "tests/hardening/unit_catalogue.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <stdexcept>

#include "tests/support/unit_library.h"

namespace hardening {

uint32_t Catalogue::count(const std::string& type) const {
  uint32_t n = 0;
  for (const Variable& v : variables) n += v.type == type ? 1 : 0;
  return n;
}

std::vector<fmi2ValueReference> Catalogue::references(const std::string& type,
                                                      const std::string& causality) const {
  std::vector<fmi2ValueReference> refs;
  for (const Variable& v : variables) {
    if (v.type == type && v.causality == causality) refs.push_back(v.vr);
  }
  return refs;
}

Catalogue readCatalogue(const std::string& modelDescriptionPath) {
  std::ifstream in(modelDescriptionPath);
  if (!in) throw std::runtime_error("cannot read " + modelDescriptionPath);
  std::stringstream text;
  text << in.rdbuf();
  const std::string xml = text.str();

  Catalogue catalogue;
  catalogue.guid = test_support::readGuid(modelDescriptionPath);
  const std::regex scalar("<ScalarVariable([^>]*)>\\s*<(Real|Integer|Boolean|String)");
  const std::regex name("name=\"([^\"]*)\"");
  const std::regex vr("valueReference=\"([0-9]+)\"");
  const std::regex causality("causality=\"([^\"]*)\"");
  for (auto it = std::sregex_iterator(xml.begin(), xml.end(), scalar); it != std::sregex_iterator();
       ++it) {
    const std::string attributes = (*it)[1];
    std::smatch m;
    Variable v;
    if (std::regex_search(attributes, m, name)) v.name = m[1];
    if (!std::regex_search(attributes, m, vr)) throw std::runtime_error("variable without reference");
    v.vr = static_cast<fmi2ValueReference>(std::stoul(m[1]));
    v.causality = std::regex_search(attributes, m, causality) ? std::string(m[1]) : "local";
    v.type = (*it)[2];
    catalogue.variables.push_back(v);
  }
  return catalogue;
}

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
