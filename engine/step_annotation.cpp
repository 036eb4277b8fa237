#include "engine/step_annotation.h"

#include <cmath>

#include "engine/error.h"
#include "engine/parameter_values.h"
#include "engine/system_package.h"
#include "engine/xml_support.h"

namespace master {

namespace {

constexpr std::string_view annotationType = "org.vehicle-sim.stepping";

class Reader {
 public:
  Reader(std::string_view text, const std::string& source) : text_(text), source_(source) {}

  MasterError fail(const pugi::xml_node& node, const std::string& message) const {
    return MasterError(source_ + ":" + std::to_string(xml::lineOf(text_, node)) + ": " + message);
  }
  int line(const pugi::xml_node& node) const { return xml::lineOf(text_, node); }

  std::string attribute(const pugi::xml_node& node, const char* name) const {
    const pugi::xml_attribute a = node.attribute(name);
    if (!a || a.value()[0] == '\0') throw fail(node, "<" + std::string(node.name()) + "> needs the attribute " + name);
    return a.value();
  }

  // "component.variable", split at the first '.'.
  void variable(const pugi::xml_node& node, const char* name, std::string& component, std::string& variable) const {
    const std::string text = attribute(node, name);
    const std::size_t dot = text.find('.');
    if (dot == 0 || dot == std::string::npos || dot + 1 == text.size()) {
      throw fail(node, std::string(name) + " '" + text + "' is not component.variable");
    }
    component = text.substr(0, dot);
    variable = text.substr(dot + 1);
  }

  void stepping(const pugi::xml_node& node, DeclaredStepping& out) const {
    for (pugi::xml_attribute a = node.first_attribute(); a; a = a.next_attribute()) {
      const std::string_view name = a.name();
      if (name != "xmlns" && name.substr(0, 6) != "xmlns:") throw fail(node, "<Stepping> has no attribute " + std::string(name));
    }
    for (pugi::xml_node c = node.first_child(); c; c = c.next_sibling()) {
      if (c.type() != pugi::node_element) continue;
      const std::string_view name = xml::localName(c);
      if (name == "Group") {
        DeclaredStepping::Group g;
        const std::string text = attribute(c, "step");
        ParameterValue v;
        if (!parseValueText(VariableType::real, text, v) || !std::isfinite(v.real) || !(v.real > 0.0)) {
          throw fail(c, "step '" + text + "' of the group is not a positive time");
        }
        g.step = v.real;
        g.line = line(c);
        for (pugi::xml_node m = c.first_child(); m; m = m.next_sibling()) {
          if (m.type() != pugi::node_element) continue;
          if (xml::localName(m) != "Component") throw fail(m, "unexpected <" + std::string(m.name()) + "> in <Group>");
          const std::string component = attribute(m, "name");
          for (const auto& earlier : out.groups) {
            for (const std::string& e : earlier.components) {
              if (e == component) throw fail(m, "component '" + component + "' is in two groups");
            }
          }
          for (const std::string& e : g.components) {
            if (e == component) throw fail(m, "component '" + component + "' is in the group twice");
          }
          g.components.push_back(component);
        }
        if (g.components.empty()) throw fail(c, "the group has no components");
        out.groups.push_back(g);
      } else if (name == "PowerBond") {
        DeclaredStepping::PowerBond b;
        variable(c, "effort", b.effortComponent, b.effortVariable);
        variable(c, "flow", b.flowComponent, b.flowVariable);
        b.line = line(c);
        out.bonds.push_back(b);
      } else {
        throw fail(c, "unexpected <" + std::string(c.name()) + "> in the stepping annotation");
      }
    }
  }

 private:
  std::string_view text_;
  const std::string& source_;
};

}  // namespace

DeclaredStepping parseDeclaredStepping(std::string_view text, const std::string& source) {
  DeclaredStepping out;
  out.source = source;
  pugi::xml_document document;
  xml::load(document, text, source);
  const Reader r(text, source);
  const pugi::xml_node experiment = xml::child(document.document_element(), "DefaultExperiment");
  const pugi::xml_node annotations = xml::child(experiment, "Annotations");
  for (pugi::xml_node a = annotations.first_child(); a; a = a.next_sibling()) {
    if (a.type() != pugi::node_element || a.attribute("type").value() != annotationType) continue;
    bool found = false;
    for (pugi::xml_node c = a.first_child(); c; c = c.next_sibling()) {
      if (c.type() != pugi::node_element) continue;
      if (xml::localName(c) != "Stepping" || found) {
        throw r.fail(c, "unexpected <" + std::string(c.name()) + "> in the annotation " + std::string(annotationType));
      }
      found = true;
      r.stepping(c, out);
    }
  }
  return out;
}

DeclaredStepping readDeclaredStepping(const SystemPackage& package) {
  const std::string text = xml::readFile(package.ssdFile().string(), "system structure file");
  return parseDeclaredStepping(text, package.display(package.ssdFile()));
}

}  // namespace master
