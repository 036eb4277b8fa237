#include "master/system_structure.h"

#include <charconv>
#include <set>

#include "master/error.h"
#include "master/xml_support.h"

namespace master {

std::string SystemStructure::where(int line) const { return source + ":" + std::to_string(line) + ": "; }

namespace {

class Reader {
 public:
  Reader(std::string_view text, const std::string& source) : text_(text), source_(source) {}

  MasterError fail(const pugi::xml_node& node, const std::string& message) const {
    return MasterError(source_ + ":" + std::to_string(xml::lineOf(text_, node)) + ": " + message);
  }
  int line(const pugi::xml_node& node) const { return xml::lineOf(text_, node); }

  std::string required(const pugi::xml_node& node, const char* attribute) const {
    const pugi::xml_attribute a = node.attribute(attribute);
    if (!a || a.value()[0] == '\0') {
      throw fail(node, "<" + std::string(node.name()) + "> needs the attribute " + attribute);
    }
    return a.value();
  }

  // Elements of one local name below a wrapper element, e.g. Connector within Connectors.
  template <typename F>
  void each(const pugi::xml_node& parent, std::string_view wrapper, std::string_view name, F f) const {
    const pugi::xml_node list = xml::child(parent, wrapper);
    for (pugi::xml_node c = list.first_child(); c; c = c.next_sibling()) {
      if (c.type() != pugi::node_element) continue;
      if (xml::localName(c) != name) {
        throw fail(c, "unexpected <" + std::string(c.name()) + "> in <" + std::string(list.name()) + ">");
      }
      f(c);
    }
  }

  SsdConnector connector(const pugi::xml_node& node) const {
    SsdConnector c;
    c.name = required(node, "name");
    c.kind = required(node, "kind");
    static const std::set<std::string> kinds = {"input", "output", "parameter", "calculatedParameter", "inout"};
    if (kinds.count(c.kind) == 0) throw fail(node, "connector '" + c.name + "' has an unknown kind '" + c.kind + "'");
    c.line = line(node);
    for (pugi::xml_node t = node.first_child(); t; t = t.next_sibling()) {
      if (t.type() != pugi::node_element) continue;
      if (parseTypeName(xml::localName(t), c.type)) c.typeGiven = true;
    }
    return c;
  }

  SsdParameter parameter(const pugi::xml_node& node) const {
    SsdParameter p;
    p.name = required(node, "name");
    p.line = line(node);
    pugi::xml_node value;
    for (pugi::xml_node t = node.first_child(); t; t = t.next_sibling()) {
      if (t.type() == pugi::node_element) {
        value = t;
        break;
      }
    }
    if (!value) throw fail(node, "parameter '" + p.name + "' has no value");
    const std::string_view type = xml::localName(value);
    const std::string text = required(value, "value");
    const char* first = text.data();
    const char* last = text.data() + text.size();
    bool ok = false;
    if (type == "Real") {
      p.type = VariableType::real;
      const auto [end, error] = std::from_chars(first, last, p.real);
      ok = error == std::errc() && end == last;
    } else if (type == "Integer") {
      p.type = VariableType::integer;
      const auto [end, error] = std::from_chars(first, last, p.integer);
      ok = error == std::errc() && end == last;
    } else if (type == "Boolean") {
      p.type = VariableType::boolean;
      ok = text == "true" || text == "false" || text == "1" || text == "0";
      p.integer = (text == "true" || text == "1") ? 1 : 0;
    } else {
      throw fail(value, "parameter '" + p.name + "': values of type <" + std::string(value.name()) +
                            "> are not supported (Real, Integer, Boolean)");
    }
    if (!ok) {
      throw fail(value, "parameter '" + p.name + "': '" + text + "' is not a valid " + std::string(type) + " value");
    }
    return p;
  }

  void parameterBindings(const pugi::xml_node& component, SsdComponent& out) const {
    each(component, "ParameterBindings", "ParameterBinding", [&](const pugi::xml_node& binding) {
      if (binding.attribute("source")) {
        throw fail(binding, "component '" + out.name +
                                "': parameter bindings from external files are not supported; "
                                "give the values inline");
      }
      const pugi::xml_node values = xml::child(binding, "ParameterValues");
      const pugi::xml_node set = xml::child(values, "ParameterSet");
      if (!set) throw fail(binding, "component '" + out.name + "': <ParameterBinding> without an inline <ParameterSet>");
      each(set, "Parameters", "Parameter", [&](const pugi::xml_node& p) { out.parameters.push_back(parameter(p)); });
    });
  }

 private:
  std::string_view text_;
  const std::string& source_;
};

}  // namespace

SystemStructure parseSystemStructure(std::string_view text, const std::string& source) {
  pugi::xml_document document;
  xml::load(document, text, source);
  const Reader r(text, source);
  SystemStructure s;
  s.source = source;

  const pugi::xml_node root = document.document_element();
  if (xml::localName(root) != "SystemStructureDescription") {
    throw r.fail(root, "not a system structure description (root element <" + std::string(root.name()) + ">)");
  }
  const std::string version = root.attribute("version").as_string();
  if (version != "1.0") throw r.fail(root, "version is '" + version + "', only 1.0 is supported");
  const pugi::xml_node system = xml::child(root, "System");
  if (!system) throw r.fail(root, "no <System> element");
  s.name = r.required(system, "name");

  r.each(system, "Connectors", "Connector", [&](const pugi::xml_node& c) { s.connectors.push_back(r.connector(c)); });

  std::set<std::string> names;
  for (const SsdConnector& c : s.connectors) {
    if (!names.insert(c.name).second) throw MasterError(s.where(c.line) + "system connector '" + c.name + "' is declared twice");
  }

  names.clear();
  r.each(system, "Elements", "Component", [&](const pugi::xml_node& node) {
    SsdComponent c;
    c.name = r.required(node, "name");
    c.source = r.required(node, "source");
    c.line = r.line(node);
    const std::string type = node.attribute("type").as_string("application/x-fmu-sharedlibrary");
    if (type != "application/x-fmu-sharedlibrary") {
      throw r.fail(node, "component '" + c.name + "' is of type '" + type + "'; only FMUs are supported");
    }
    if (!names.insert(c.name).second) throw r.fail(node, "component '" + c.name + "' is declared twice");
    r.each(node, "Connectors", "Connector", [&](const pugi::xml_node& k) { c.connectors.push_back(r.connector(k)); });
    r.parameterBindings(node, c);
    s.components.push_back(std::move(c));
  });
  if (s.components.empty()) throw r.fail(system, "the system has no components");

  r.each(system, "Connections", "Connection", [&](const pugi::xml_node& node) {
    SsdConnection c;
    c.startElement = node.attribute("startElement").as_string();
    c.startConnector = r.required(node, "startConnector");
    c.endElement = node.attribute("endElement").as_string();
    c.endConnector = r.required(node, "endConnector");
    c.line = r.line(node);
    s.connections.push_back(std::move(c));
  });
  return s;
}

SystemStructure readSystemStructure(const std::filesystem::path& file) {
  const std::string text = xml::readFile(file.string(), "system structure file");
  return parseSystemStructure(text, file.string());
}

}  // namespace master
