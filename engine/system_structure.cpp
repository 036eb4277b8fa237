#include "engine/system_structure.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <set>

#include "engine/error.h"
#include "engine/system_package.h"
#include "engine/xml_support.h"

namespace master {

std::string SystemStructure::where(int line) const { return source + ":" + std::to_string(line) + ": "; }

namespace {

// A connection's end as read at its level: a component's connector, or a connector of a system
// (path "" for the outermost one).
struct End {
  bool system = false;
  std::string element;  // qualified component name, or the system's path
  std::string connector;
  std::string key() const { return (system ? "s:" : "c:") + element + "\n" + connector; }
};

struct Edge {
  End start, end;
  SsdConnection connection;  // its transformation and line
};

// A bound value with its level in the hierarchy (0 the outermost system, its components 1, ...).
struct LevelledValue {
  int level = 0;
  ParameterValue value;
};

class Reader {
 public:
  Reader(std::string_view text, const std::string& source, const SystemPackage* package, SystemStructure& out)
      : text_(text), source_(source), package_(package), out_(out) {}

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

  // Refuses any child element of `node` not named in `known`; elements that only draw or
  // annotate are among the known ones of each element and have no effect on a run.
  void onlyChildren(const pugi::xml_node& node, std::initializer_list<std::string_view> known) const {
    for (pugi::xml_node c = node.first_child(); c; c = c.next_sibling()) {
      if (c.type() != pugi::node_element) continue;
      if (std::find(known.begin(), known.end(), xml::localName(c)) == known.end()) {
        throw fail(c, "<" + std::string(c.name()) + "> in <" + std::string(node.name()) + "> is not supported");
      }
    }
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

  SsdConnector connector(const pugi::xml_node& node, const std::string& prefix) const {
    SsdConnector c;
    c.name = prefix + required(node, "name");
    c.kind = required(node, "kind");
    static const std::set<std::string> kinds = {"input", "output", "parameter", "calculatedParameter", "inout"};
    if (kinds.count(c.kind) == 0) throw fail(node, "connector '" + c.name + "' has an unknown kind '" + c.kind + "'");
    c.line = line(node);
    onlyChildren(node, {"Real", "Integer", "Boolean", "String", "Enumeration", "ConnectorGeometry", "Annotations"});
    for (pugi::xml_node t = node.first_child(); t; t = t.next_sibling()) {
      if (t.type() != pugi::node_element || !parseTypeName(xml::localName(t), c.type)) continue;
      c.typeGiven = true;
      if (c.type == VariableType::real) c.unit = t.attribute("unit").as_string();
    }
    return c;
  }

  // The bindings of a component or system; `prefix` qualifies the names of its values from the
  // outermost system.
  void parameterBindings(const pugi::xml_node& element, const std::string& label, const std::string& prefix, int level) {
    each(element, "ParameterBindings", "ParameterBinding", [&](const pugi::xml_node& binding) {
      onlyChildren(binding, {"ParameterValues", "ParameterMapping", "Annotations"});
      const std::string type = binding.attribute("type").as_string("application/x-ssp-parameter-set");
      if (type != "application/x-ssp-parameter-set") {
        throw fail(binding, label + ": parameter bindings of type '" + type +
                                "' are not supported (application/x-ssp-parameter-set)");
      }
      if (const pugi::xml_node mapping = xml::child(binding, "ParameterMapping")) {
        throw fail(mapping, label + ": parameter mappings are not supported");
      }
      if (std::string_view(binding.attribute("sourceBase").as_string("SSD")) != "SSD") {
        throw fail(binding, label + ": a binding source resolved against the component (sourceBase=\"component\") "
                                    "is not supported");
      }
      std::vector<ParameterValue> values;
      if (const pugi::xml_attribute source = binding.attribute("source")) {
        if (xml::child(binding, "ParameterValues")) {
          throw fail(binding, label + ": a binding with a source must not hold values too");
        }
        if (package_ == nullptr) throw fail(binding, label + ": a binding to a file needs a system package");
        const std::string where = source_ + ":" + std::to_string(line(binding)) + ": " + label + ": parameter values ";
        const std::filesystem::path file = package_->resolve(source.value(), where);
        values = parseParameterValues(xml::readFile(file.string(), "parameter values file"), package_->display(file));
      } else {
        const pugi::xml_node set = xml::child(xml::child(binding, "ParameterValues"), "ParameterSet");
        if (!set) throw fail(binding, label + ": <ParameterBinding> without a source or an inline <ParameterSet>");
        values = readParameterSet(set, text_, source_);
      }
      // The prefix is put before every name of the source, then the name is resolved as usual.
      const std::string bindingPrefix = binding.attribute("prefix").as_string();
      for (ParameterValue& v : values) {
        v.name = prefix + bindingPrefix + v.name;
        values_.push_back({level, std::move(v)});
      }
    });
  }

  // A system's contents; `path` is its name from the outermost system ("" for that one).
  void system(const pugi::xml_node& node, const std::string& path, int level) {
    onlyChildren(node, {"Connectors", "ElementGeometry", "ParameterBindings", "Elements", "Connections",
                        "SignalDictionaries", "SystemGeometry", "GraphicalElements", "Annotations"});
    if (const pugi::xml_node dictionaries = xml::child(node, "SignalDictionaries")) {
      if (dictionaries.find_child([](const pugi::xml_node& n) { return n.type() == pugi::node_element; })) {
        throw fail(dictionaries, "signal dictionaries are not supported");
      }
    }
    const std::string prefix = path.empty() ? "" : path + ".";
    std::set<std::string> connectorNames;
    each(node, "Connectors", "Connector", [&](const pugi::xml_node& k) {
      SsdConnector c = connector(k, prefix);
      if (!connectorNames.insert(c.name).second) {
        throw fail(k, "system connector '" + c.name + "' is declared twice");
      }
      const std::string key = End{true, path, c.name.substr(prefix.size())}.key();
      if (path.empty()) outermost_.push_back(key);
      systemConnectors_[key] = c;
    });
    parameterBindings(node, path.empty() ? "system '" + out_.name + "'" : "system '" + path + "'", prefix, level);

    const std::map<std::string, bool> kinds = readElements(node, prefix, level);
    readConnections(node, path, prefix, kinds);
  }

  // The system's elements, read in turn; returns whether each is a system, by name.
  std::map<std::string, bool> readElements(const pugi::xml_node& node, const std::string& prefix, int level) {
    std::map<std::string, bool> elements;  // name -> is a system
    const pugi::xml_node list = xml::child(node, "Elements");
    for (pugi::xml_node e = list.first_child(); e; e = e.next_sibling()) {
      if (e.type() != pugi::node_element) continue;
      const std::string_view kind = xml::localName(e);
      if (kind != "Component" && kind != "System") {
        throw fail(e, "<" + std::string(e.name()) + "> elements are not supported (Component, System)");
      }
      const std::string name = required(e, "name");
      if (!elements.emplace(name, kind == "System").second) {
        throw fail(e, (kind == "System" ? "system '" : "component '") + prefix + name + "' is declared twice");
      }
      if (kind == "System") {
        system(e, prefix + name, level + 1);
      } else {
        component(e, prefix + name, level + 1);
      }
    }
    return elements;
  }

  void readConnections(const pugi::xml_node& node, const std::string& path, const std::string& prefix,
                       const std::map<std::string, bool>& elements) {
    each(node, "Connections", "Connection", [&](const pugi::xml_node& c) {
      Edge edge;
      auto end = [&](const char* elementAttribute, const char* connectorAttribute) {
        End e;
        const std::string element = c.attribute(elementAttribute).as_string();
        e.connector = required(c, connectorAttribute);
        if (element.empty()) {
          e.system = true;
          e.element = path;
        } else {
          const auto found = elements.find(element);
          if (found == elements.end()) {
            throw fail(c, "connection " + describe(c) + ": unknown component '" + prefix + element + "'");
          }
          e.system = found->second;
          e.element = prefix + element;
        }
        if (e.system && systemConnectors_.count(e.key()) == 0) {
          throw fail(c, "connection " + describe(c) + ": the system" + (e.element.empty() ? "" : " '" + e.element + "'") +
                            " has no connector '" + e.connector + "'");
        }
        return e;
      };
      edge.start = end("startElement", "startConnector");
      edge.end = end("endElement", "endConnector");
      if (edge.start.system && edge.end.system && edge.start.element == edge.end.element) {
        throw fail(c, "connection " + describe(c) + ": connects the system to itself");
      }
      edge.connection.line = line(c);
      edge.connection.suppressUnitConversion = c.attribute("suppressUnitConversion").as_bool(false);
      transformation(c, edge.connection.transform, edge.connection.mapping);
      edges_.push_back(std::move(edge));
    });
  }

  void component(const pugi::xml_node& node, const std::string& name, int level) {
    SsdComponent c;
    c.name = name;
    c.source = required(node, "source");
    c.line = line(node);
    onlyChildren(node, {"Connectors", "ElementGeometry", "ParameterBindings", "Annotations"});
    const std::string type = node.attribute("type").as_string("application/x-fmu-sharedlibrary");
    if (type != "application/x-fmu-sharedlibrary") {
      throw fail(node, "component '" + c.name + "' is of type '" + type + "'; only FMUs are supported");
    }
    const std::string implementation = node.attribute("implementation").as_string("any");
    if (implementation != "any" && implementation != "CoSimulation") {
      throw fail(node, "component '" + c.name + "': implementation '" + implementation +
                           "' is not supported (CoSimulation)");
    }
    if (package_ != nullptr) c.fmuFile = package_->resolve(c.source, out_.where(c.line) + "component '" + c.name + "': ");
    each(node, "Connectors", "Connector", [&](const pugi::xml_node& k) { c.connectors.push_back(connector(k, "")); });
    parameterBindings(node, "component '" + c.name + "'", c.name + ".", level);
    out_.components.push_back(std::move(c));
  }

  void transformation(const pugi::xml_node& connection, ValueTransform& t, std::optional<VariableType>& mapping) const {
    onlyChildren(connection, {"LinearTransformation", "BooleanMappingTransformation", "IntegerMappingTransformation",
                              "ConnectionGeometry", "Annotations"});
    int count = 0;
    for (pugi::xml_node c = connection.first_child(); c; c = c.next_sibling()) {
      if (c.type() != pugi::node_element) continue;
      const std::string_view kind = xml::localName(c);
      if (kind == "LinearTransformation") {
        ++count;
        t.linear = true;
        t.factor = number(c, "factor", 1.0);
        t.offset = number(c, "offset", 0.0);
      } else if (kind == "BooleanMappingTransformation" || kind == "IntegerMappingTransformation") {
        ++count;
        const bool boolean = kind[0] == 'B';
        const VariableType type = boolean ? VariableType::boolean : VariableType::integer;
        each(connection, kind, "MapEntry", [&](const pugi::xml_node& entry) {
          ParameterValue from, to;
          const std::string source = required(entry, "source"), target = required(entry, "target");
          if (!parseValueText(type, source, from) || !parseValueText(type, target, to)) {
            throw fail(entry, std::string("<MapEntry> of a ") + (boolean ? "Boolean" : "Integer") + " mapping: '" +
                                  source + "' -> '" + target + "' are not " + (boolean ? "Boolean" : "Integer") + " values");
          }
          for (const auto& e : t.map) {
            if (e.first == from.integer) throw fail(entry, "<MapEntry> source '" + source + "' is mapped twice");
          }
          t.map.emplace_back(from.integer, to.integer);
        });
        if (t.map.empty()) throw fail(c, "<" + std::string(c.name()) + "> has no <MapEntry>");
        mapping = type;
      }
    }
    if (count > 1) throw fail(connection, "a connection takes one transformation");
  }

  double number(const pugi::xml_node& node, const char* attribute, double fallback) const {
    const pugi::xml_attribute a = node.attribute(attribute);
    if (!a) return fallback;
    ParameterValue v;
    if (!parseValueText(VariableType::real, a.value(), v) || !std::isfinite(v.real)) {
      throw fail(node, "<" + std::string(node.name()) + "> " + attribute + " '" + a.value() + "' is not a number");
    }
    return v.real;
  }

  static std::string describe(const pugi::xml_node& c) {
    auto end = [&](const char* e, const char* k) {
      const std::string element = c.attribute(e).as_string();
      return element.empty() ? std::string(c.attribute(k).as_string()) : element + "." + c.attribute(k).as_string();
    };
    return end("startElement", "startConnector") + " -> " + end("endElement", "endConnector");
  }

  // Joins the connections through nested systems' connectors and orders the bound values.
  void finish() {
    std::map<std::string, std::vector<const Edge*>> feeding;  // end key -> the connections ending there
    for (const Edge& e : edges_) feeding[e.end.key()].push_back(&e);
    std::set<std::string> listed;
    auto listConnector = [&](const End& e) {
      if (!e.system || !listed.insert(e.key()).second) return;
      out_.connectors.push_back(systemConnectors_.at(e.key()));
    };
    for (const std::string& key : outermost_) listConnector(End{true, "", systemConnectors_.at(key).name});
    for (const Edge& e : edges_) {
      if (e.end.system && !e.end.element.empty()) continue;  // inside: joined to what it feeds
      End start = e.start;
      for (std::size_t hops = 0; start.system && !start.element.empty(); ++hops) {
        const auto found = feeding.find(start.key());
        if (found == feeding.end()) break;  // fed by nothing in the file: an input of the whole
        if (found->second.size() > 1) {
          throw MasterError(out_.where(found->second[1]->connection.line) + "connector '" + start.connector +
                            "' is fed by the connections on lines " + std::to_string(found->second[0]->connection.line) +
                            " and " + std::to_string(found->second[1]->connection.line));
        }
        const Edge& inner = *found->second.front();
        if (!inner.connection.transform.identity() || inner.connection.suppressUnitConversion) {
          throw MasterError(out_.where(inner.connection.line) +
                            "a transformation on a connection into a nested system's connector is not supported");
        }
        if (hops > edges_.size()) throw MasterError(out_.where(e.connection.line) + "the connection runs in a loop");
        start = inner.start;
      }
      listConnector(start);
      SsdConnection c = e.connection;
      c.startElement = start.system ? "" : start.element;
      c.startConnector = start.system && !start.element.empty() ? start.element + "." + start.connector : start.connector;
      c.endElement = e.end.system ? "" : e.end.element;
      c.endConnector = e.end.connector;
      out_.connections.push_back(std::move(c));
    }
    std::stable_sort(values_.begin(), values_.end(),
                     [](const LevelledValue& a, const LevelledValue& b) { return a.level > b.level; });
    for (LevelledValue& v : values_) out_.bindings.push_back(std::move(v.value));
  }

 private:
  std::string_view text_;
  const std::string& source_;
  const SystemPackage* package_;
  SystemStructure& out_;
  std::map<std::string, SsdConnector> systemConnectors_;  // by End::key()
  std::vector<std::string> outermost_;  // keys of the outermost system's connectors, in order
  std::vector<Edge> edges_;
  std::vector<LevelledValue> values_;
};

}  // namespace

SystemStructure parseSystemStructure(std::string_view text, const std::string& source,
                                     const SystemPackage* package) {
  pugi::xml_document document;
  xml::load(document, text, source);
  SystemStructure s;
  s.source = source;
  Reader r(text, source, package, s);

  const pugi::xml_node root = document.document_element();
  if (xml::localName(root) != "SystemStructureDescription") {
    throw r.fail(root, "not a system structure description (root element <" + std::string(root.name()) + ">)");
  }
  const std::string version = root.attribute("version").as_string();
  if (version != "1.0") throw r.fail(root, "version is '" + version + "', only 1.0 is supported");
  r.onlyChildren(root, {"System", "Enumerations", "Units", "DefaultExperiment", "Annotations"});
  const pugi::xml_node system = xml::child(root, "System");
  if (!system) throw r.fail(root, "no <System> element");
  s.name = r.required(system, "name");
  readUnits(xml::child(root, "Units"), text, source, s.units);
  r.system(system, "", 0);
  if (s.components.empty()) throw r.fail(system, "the system has no components");
  r.finish();

  if (const pugi::xml_node experiment = xml::child(root, "DefaultExperiment")) {
    r.onlyChildren(experiment, {"Annotations"});
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
