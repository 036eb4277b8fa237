#include "engine/model_description.h"

#include <charconv>
#include <cstdlib>

#include "engine/error.h"
#include "engine/xml_support.h"

namespace master {

const char* typeName(VariableType type) {
  switch (type) {
    case VariableType::real: return "Real";
    case VariableType::integer: return "Integer";
    case VariableType::boolean: return "Boolean";
    case VariableType::string: return "String";
    case VariableType::enumeration: return "Enumeration";
  }
  return "?";
}

const char* causalityName(Causality causality) {
  switch (causality) {
    case Causality::parameter: return "parameter";
    case Causality::calculatedParameter: return "calculatedParameter";
    case Causality::input: return "input";
    case Causality::output: return "output";
    case Causality::local: return "local";
    case Causality::independent: return "independent";
  }
  return "?";
}

bool parseTypeName(std::string_view name, VariableType& type) {
  for (const VariableType t : {VariableType::real, VariableType::integer, VariableType::boolean,
                               VariableType::string, VariableType::enumeration}) {
    if (name == typeName(t)) {
      type = t;
      return true;
    }
  }
  return false;
}

const ModelVariable* ModelDescription::find(std::string_view name) const {
  const auto it = byName_.find(std::string(name));
  return it == byName_.end() ? nullptr : &variables[it->second];
}

const std::string* ModelDescription::index() {
  byName_.clear();
  for (std::size_t i = 0; i < variables.size(); ++i) {
    if (!byName_.emplace(variables[i].name, i).second) return &variables[i].name;
  }
  return nullptr;
}

namespace {

bool parseCausality(std::string_view text, Causality& out) {
  for (const Causality c : {Causality::parameter, Causality::calculatedParameter, Causality::input,
                            Causality::output, Causality::local, Causality::independent}) {
    if (text == causalityName(c)) {
      out = c;
      return true;
    }
  }
  return false;
}

// Outputs/Unknown elements: 1-based variable indices; a missing dependencies attribute means
// every input.
template <typename Fail>
void readDirectDependencies(ModelDescription& md, const pugi::xml_node& outputs, Fail fail) {
  std::vector<std::size_t> inputs;
  for (std::size_t i = 0; i < md.variables.size(); ++i) {
    if (md.variables[i].causality == Causality::input) inputs.push_back(i);
  }
  for (ModelVariable& v : md.variables) {
    if (v.causality == Causality::output) v.directInputs = inputs;
  }
  for (pugi::xml_node u = outputs.first_child(); u; u = u.next_sibling()) {
    if (u.type() != pugi::node_element || xml::localName(u) != "Unknown") continue;
    const std::size_t index = u.attribute("index").as_ullong(0);
    if (index == 0 || index > md.variables.size()) throw fail(u, "<Unknown> with an index outside the variables");
    ModelVariable& output = md.variables[index - 1];
    const pugi::xml_attribute dependencies = u.attribute("dependencies");
    if (!dependencies) continue;
    output.directInputs.clear();
    const std::string_view list = dependencies.value();
    for (std::size_t p = 0; p < list.size();) {
      while (p < list.size() && list[p] == ' ') ++p;
      std::size_t q = p;
      while (q < list.size() && list[q] != ' ') ++q;
      if (q > p) {
        std::size_t d = 0;
        const auto [e, err] = std::from_chars(list.data() + p, list.data() + q, d);
        if (err != std::errc() || e != list.data() + q || d == 0 || d > md.variables.size()) {
          throw fail(u, "<Unknown index=\"" + std::to_string(index) + "\"> has an invalid dependency");
        }
        if (md.variables[d - 1].causality == Causality::input) output.directInputs.push_back(d - 1);
      }
      p = q;
    }
  }
}

// One ScalarVariable element.
template <typename Fail>
ModelVariable readVariable(const pugi::xml_node& sv, Fail fail) {
  ModelVariable v;
  v.name = sv.attribute("name").as_string();
  if (v.name.empty()) throw fail(sv, "a ScalarVariable has no name");
  const char* vrText = sv.attribute("valueReference").as_string(nullptr);
  if (vrText == nullptr) throw fail(sv, "variable '" + v.name + "' has no valueReference");
  const std::string_view vr(vrText);
  const auto [end, error] = std::from_chars(vr.data(), vr.data() + vr.size(), v.valueReference);
  if (error != std::errc() || end != vr.data() + vr.size()) {
    throw fail(sv, "variable '" + v.name + "' has an invalid valueReference '" + std::string(vr) + "'");
  }
  const std::string_view causality = sv.attribute("causality").as_string("local");
  if (!parseCausality(causality, v.causality)) {
    throw fail(sv, "variable '" + v.name + "' has an unknown causality '" + std::string(causality) + "'");
  }
  v.variability = sv.attribute("variability").as_string("continuous");
  pugi::xml_node typeNode;
  for (pugi::xml_node c = sv.first_child(); c; c = c.next_sibling()) {
    if (c.type() == pugi::node_element && parseTypeName(xml::localName(c), v.type)) {
      typeNode = c;
      break;
    }
  }
  if (!typeNode) throw fail(sv, "variable '" + v.name + "' has no type element");
  v.unit = typeNode.attribute("unit").as_string();
  v.description = sv.attribute("description").as_string();
  auto bound = [&](const char* name, std::optional<double>& out) {
    if (const pugi::xml_attribute a = typeNode.attribute(name)) {
      const std::string_view t = a.value();
      double value = 0.0;
      const auto [e, err] = std::from_chars(t.data(), t.data() + t.size(), value);
      if (err != std::errc() || e != t.data() + t.size()) {
        throw fail(typeNode, "variable '" + v.name + "' has an invalid " + name + " '" + std::string(t) + "'");
      }
      out = value;
    }
  };
  if (v.type == VariableType::real || v.type == VariableType::integer) {
    bound("min", v.min);
    bound("max", v.max);
  }
  if (const pugi::xml_attribute start = typeNode.attribute("start")) v.start = start.as_string();
  if (const pugi::xml_attribute min = typeNode.attribute("min")) v.min = min.as_double();
  if (const pugi::xml_attribute max = typeNode.attribute("max")) v.max = max.as_double();
  return v;
}

}  // namespace

ModelDescription parseModelDescription(std::string_view xmlText, const std::string& source) {
  pugi::xml_document document;
  xml::load(document, xmlText, source);
  auto fail = [&](const pugi::xml_node& node, const std::string& message) -> MasterError {
    return MasterError(source + ":" + std::to_string(xml::lineOf(xmlText, node)) + ": " + message);
  };

  const pugi::xml_node root = document.document_element();
  if (xml::localName(root) != "fmiModelDescription") {
    throw fail(root, "not a model description (root element <" + std::string(root.name()) + ">)");
  }
  ModelDescription md;
  md.fmiVersion = root.attribute("fmiVersion").as_string();
  if (md.fmiVersion != "2.0") {
    throw fail(root, "fmiVersion is '" + md.fmiVersion + "', only 2.0 is supported");
  }
  md.modelName = root.attribute("modelName").as_string();
  md.guid = root.attribute("guid").as_string();
  if (md.guid.empty()) throw fail(root, "the model description has no guid");

  const pugi::xml_node coSimulation = xml::child(root, "CoSimulation");
  if (!coSimulation) {
    throw fail(root, std::string("the unit is not a Co-Simulation unit (its model description offers ") +
                         (xml::child(root, "ModelExchange") ? "Model Exchange only)" : "no <CoSimulation>)"));
  }
  md.modelIdentifier = coSimulation.attribute("modelIdentifier").as_string();
  if (md.modelIdentifier.empty()) throw fail(coSimulation, "<CoSimulation> has no modelIdentifier");

  if (const pugi::xml_node experiment = xml::child(root, "DefaultExperiment")) {
    md.defaultStepSize = experiment.attribute("stepSize").as_double(0.0);
  }

  readUnits(xml::child(root, "UnitDefinitions"), xmlText, source, md.units);

  const pugi::xml_node variables = xml::child(root, "ModelVariables");
  for (pugi::xml_node sv = variables.first_child(); sv; sv = sv.next_sibling()) {
    if (sv.type() != pugi::node_element || xml::localName(sv) != "ScalarVariable") continue;
    md.variables.push_back(readVariable(sv, fail));
  }
  if (const std::string* duplicate = md.index()) {
    throw MasterError(source + ": variable '" + *duplicate + "' is listed twice");
  }
  readDirectDependencies(md, xml::child(xml::child(root, "ModelStructure"), "Outputs"), fail);
  return md;
}

ModelDescription readModelDescription(const std::filesystem::path& file) {
  const std::string text = xml::readFile(file.string(), "model description");
  return parseModelDescription(text, file.string());
}

}  // namespace master
