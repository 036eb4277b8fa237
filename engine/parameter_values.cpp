#include "engine/parameter_values.h"

#include <charconv>
#include <cmath>

#include "engine/error.h"
#include "engine/xml_support.h"

namespace master {

bool parseValueText(VariableType type, const std::string& text, ParameterValue& out) {
  out.type = type;
  out.text = text;
  const char* first = text.data();
  const char* last = text.data() + text.size();
  switch (type) {
    case VariableType::real: {
      const auto [end, error] = std::from_chars(first, last, out.real);
      return error == std::errc() && end == last && !text.empty();
    }
    case VariableType::integer: {
      const auto [end, error] = std::from_chars(first, last, out.integer);
      return error == std::errc() && end == last && !text.empty();
    }
    case VariableType::boolean:
      out.integer = (text == "true" || text == "1") ? 1 : 0;
      return text == "true" || text == "false" || text == "1" || text == "0";
    case VariableType::string: return true;
    case VariableType::enumeration: return false;
  }
  return false;
}

std::vector<ParameterValue> readParameterSet(const pugi::xml_node& set, std::string_view text,
                                             const std::string& source) {
  auto fail = [&](const pugi::xml_node& node, const std::string& message) {
    return MasterError(source + ":" + std::to_string(xml::lineOf(text, node)) + ": " + message);
  };
  if (xml::localName(set) != "ParameterSet") {
    throw fail(set, "expected a <ParameterSet>, found <" + std::string(set.name()) + ">");
  }
  const std::string_view version = set.attribute("version").as_string();
  if (version.size() < 3 || version.substr(0, 2) != "1.") {
    throw fail(set, "<ParameterSet> needs version 1.x (found '" + std::string(version) + "')");
  }
  if (set.attribute("name").as_string()[0] == '\0') throw fail(set, "<ParameterSet> needs the attribute name");
  const pugi::xml_node parameters = xml::child(set, "Parameters");
  if (!parameters) throw fail(set, "<ParameterSet> has no <Parameters>");

  UnitTable units;
  readUnits(xml::child(set, "Units"), text, source, units);
  std::vector<ParameterValue> values;
  for (pugi::xml_node p = parameters.first_child(); p; p = p.next_sibling()) {
    if (p.type() != pugi::node_element) continue;
    if (xml::localName(p) != "Parameter") throw fail(p, "unexpected <" + std::string(p.name()) + "> in <Parameters>");
    ParameterValue v;
    v.name = p.attribute("name").as_string();
    v.file = source;
    v.line = xml::lineOf(text, p);
    if (v.name.empty()) throw fail(p, "<Parameter> needs the attribute name");
    pugi::xml_node value;
    int count = 0;
    for (pugi::xml_node c = p.first_child(); c; c = c.next_sibling()) {
      if (c.type() != pugi::node_element || xml::localName(c) == "Annotations") continue;
      value = c;
      ++count;
    }
    if (count != 1) throw fail(p, "parameter '" + v.name + "' needs exactly one value element");
    const std::string_view typeText = xml::localName(value);
    VariableType type = VariableType::real;
    if (!parseTypeName(typeText, type) || type == VariableType::enumeration) {
      throw fail(value, "parameter '" + v.name + "': values of type <" + std::string(typeText) +
                            "> are not supported (Real, Integer, Boolean, String)");
    }
    const pugi::xml_attribute attribute = value.attribute("value");
    if (!attribute) throw fail(value, "parameter '" + v.name + "' has no value attribute");
    if (!parseValueText(type, attribute.value(), v)) {
      throw fail(value, "parameter '" + v.name + "': '" + std::string(attribute.value()) + "' is not a valid " +
                            std::string(typeText) + " value");
    }
    if (type == VariableType::real) {
      v.unit = value.attribute("unit").as_string();
      const auto defined = units.find(v.unit);
      if (defined != units.end()) v.unitDefinition = defined->second;
    }
    values.push_back(std::move(v));
  }
  return values;
}

std::vector<ParameterValue> parseParameterValues(std::string_view text, const std::string& source) {
  pugi::xml_document document;
  xml::load(document, text, source);
  return readParameterSet(document.document_element(), text, source);
}

std::vector<ParameterValue> readParameterValuesFile(const std::filesystem::path& file) {
  return parseParameterValues(xml::readFile(file.string(), "parameter values file"), file.string());
}

}  // namespace master
