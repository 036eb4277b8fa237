#include "master/system_structure.h"

#include <cmath>
#include <set>

#include "master/error.h"
#include "master/system_package.h"
#include "master/xml_support.h"

namespace master {

std::string SystemStructure::where(int line) const { return source + ":" + std::to_string(line) + ": "; }

namespace {

class Reader {
 public:
  Reader(std::string_view text, const std::string& source, const SystemPackage* package)
      : text_(text), source_(source), package_(package) {}

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

  void parameterBindings(const pugi::xml_node& component, SsdComponent& out) const {
    each(component, "ParameterBindings", "ParameterBinding", [&](const pugi::xml_node& binding) {
      const std::string type = binding.attribute("type").as_string("application/x-ssp-parameter-set");
      if (type != "application/x-ssp-parameter-set") {
        throw fail(binding, "component '" + out.name + "': parameter bindings of type '" + type +
                                "' are not supported (application/x-ssp-parameter-set)");
      }
      if (xml::child(binding, "ParameterMapping")) {
        throw fail(binding, "component '" + out.name + "': parameter mappings are not supported");
      }
      std::vector<ParameterValue> values;
      if (const pugi::xml_attribute source = binding.attribute("source")) {
        if (xml::child(binding, "ParameterValues")) {
          throw fail(binding, "component '" + out.name + "': a binding with a source must not hold values too");
        }
        if (package_ == nullptr) {
          throw fail(binding, "component '" + out.name + "': a binding to a file needs a system package");
        }
        const std::string where = source_ + ":" + std::to_string(line(binding)) + ": component '" + out.name +
                                  "': parameter values ";
        const std::filesystem::path file = package_->resolve(source.value(), where);
        const std::string text = xml::readFile(file.string(), "parameter values file");
        pugi::xml_document document;
        const std::string shown = package_->display(file);
        xml::load(document, text, shown);
        values = readParameterSet(document.document_element(), text, shown);
      } else {
        const pugi::xml_node set = xml::child(xml::child(binding, "ParameterValues"), "ParameterSet");
        if (!set) throw fail(binding, "component '" + out.name + "': <ParameterBinding> without a source or an inline <ParameterSet>");
        values = readParameterSet(set, text_, source_);
      }
      const std::string prefix = binding.attribute("prefix").as_string();
      for (ParameterValue& v : values) {
        if (!prefix.empty()) {
          if (v.name.rfind(prefix, 0) != 0) continue;  // not meant for this component
          v.name = v.name.substr(prefix.size());
        }
        out.parameters.push_back(std::move(v));
      }
    });
  }

 private:
  std::string_view text_;
  const std::string& source_;
  const SystemPackage* package_;
};

}  // namespace

SystemStructure parseSystemStructure(std::string_view text, const std::string& source,
                                     const SystemPackage* package) {
  pugi::xml_document document;
  xml::load(document, text, source);
  const Reader r(text, source, package);
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
    if (package != nullptr) c.fmuFile = package->resolve(c.source, s.where(c.line) + "component '" + c.name + "': ");
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
  if (const pugi::xml_node experiment = xml::child(root, "DefaultExperiment")) {
    auto time = [&](const char* name, std::optional<double>& out) {
      if (const pugi::xml_attribute a = experiment.attribute(name)) {
        ParameterValue v;
        if (!parseValueText(VariableType::real, a.value(), v) || !std::isfinite(v.real)) {
          throw r.fail(experiment, std::string("<DefaultExperiment> ") + name + " '" + a.value() + "' is not a time");
        }
        out = v.real;
      }
    };
    time("startTime", s.startTime);
    time("stopTime", s.stopTime);
  }
  return s;
}

SystemStructure readSystemStructure(const SystemPackage& package) {
  const std::string text = xml::readFile(package.ssdFile().string(), "system structure file");
  return parseSystemStructure(text, package.display(package.ssdFile()), &package);
}

}  // namespace master
