#include "tests/support/variable_catalogue.h"

#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <stdexcept>

#include "tests/support/unit_library.h"

namespace test_support {

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

fmi2ValueReference Catalogue::reference(const std::string& name) const {
  for (const Variable& v : variables) {
    if (v.name == name) return v.vr;
  }
  throw std::invalid_argument("the model description has no variable " + name);
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

const Catalogue& describedVariables(const std::string& modelDescriptionPath) {
  static std::map<std::string, Catalogue> read;
  auto it = read.find(modelDescriptionPath);
  if (it == read.end()) it = read.emplace(modelDescriptionPath, readCatalogue(modelDescriptionPath)).first;
  return it->second;
}

}  // namespace test_support
