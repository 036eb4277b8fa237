#include "tools/model_description.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "tools/markup_escape.h"
#include "tools/units.h"

namespace tools {

namespace {

using runtime::BaseType;
using runtime::Causality;
using runtime::VariableDef;

std::string escape(std::string_view text) { return tools::escapeMarkup(text); }

// Shortest decimal text that reads back as the same double, in the XML schema's lexical form.
std::string formatReal(double v) {
  if (std::isnan(v)) return "NaN";
  if (std::isinf(v)) return v > 0 ? "INF" : "-INF";
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, v);
  return std::string(buffer, result.ptr);
}

// One model variable as the description lists it.
struct Scalar {
  const VariableDef* def;
  std::string name;
  uint32_t valueReference;
  uint32_t index;  // 1-based position among the ScalarVariables
};

}  // namespace

bool writeModelDescription(std::ostream& out, const DescribedModel& model) {
  const runtime::ModelInterface& mi = model.instance;
  char guid[fmi::identityStringSize];
  fmi::identityString(model.info, guid);

  // Expand the definitions into scalars with their value references.
  std::vector<Scalar> scalars;
  runtime::forEachScalar(model.variables, [&](const VariableDef& d, uint32_t e, uint32_t vr) {
    scalars.push_back({&d, runtime::scalarName(d, e), vr, static_cast<uint32_t>(scalars.size() + 1)});
  });

  std::set<std::string> usedUnits;
  for (const VariableDef& d : model.variables) {
    if (d.unit[0] == '\0') continue;
    if (findUnit(d.unit) == nullptr) {
      std::fprintf(stderr, "variable %s uses the unit \"%s\", which has no definition\n", d.name, d.unit);
      return false;
    }
    usedUnits.insert(d.unit);
  }

  out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  out << "<fmiModelDescription fmiVersion=\"2.0\" modelName=\"" << escape(model.info.modelName)
      << "\" guid=\"" << guid << "\" description=\"" << escape(model.description)
      << "\" version=\"" << escape(model.info.modelVersion)
      << "\" generationTool=\"vehicle-fmus model description generator\""
      << " variableNamingConvention=\"structured\" numberOfEventIndicators=\"0\">\n";
  out << "  <CoSimulation modelIdentifier=\"" << escape(model.info.modelName) << "\""
      << " needsExecutionTool=\"false\" canHandleVariableCommunicationStepSize=\"true\""
      << " canInterpolateInputs=\"false\" maxOutputDerivativeOrder=\"0\""
      << " canRunAsynchronuously=\"false\" canBeInstantiatedOnlyOncePerProcess=\"false\""
      << " canNotUseMemoryManagementFunctions=\"true\" canGetAndSetFMUstate=\"false\""
      << " canSerializeFMUstate=\"false\" providesDirectionalDerivative=\"false\"/>\n";

  if (!usedUnits.empty()) {
    out << "  <UnitDefinitions>\n";
    for (const std::string& name : usedUnits) {
      const UnitDefinition& u = *findUnit(name.c_str());
      out << "    <Unit name=\"" << escape(name) << "\">\n      <BaseUnit";
      const std::pair<const char*, int> exponents[] = {{"kg", u.kg}, {"m", u.m},   {"s", u.s},
                                                       {"A", u.A},   {"K", u.K},   {"mol", u.mol},
                                                       {"cd", u.cd}, {"rad", u.rad}};
      for (const auto& [base, exponent] : exponents) {
        if (exponent != 0) out << ' ' << base << "=\"" << exponent << '"';
      }
      if (u.factor != 1.0) out << " factor=\"" << formatReal(u.factor) << '"';
      out << "/>\n    </Unit>\n";
    }
    out << "  </UnitDefinitions>\n";
  }

  out << "  <DefaultExperiment startTime=\"0\" stepSize=\"" << formatReal(model.info.fixedStepSize)
      << "\"/>\n";

  out << "  <ModelVariables>\n";
  const runtime::VariableEntry* arrays[4] = {mi.variables.reals, mi.variables.integers,
                                             mi.variables.booleans, mi.variables.strings};
  for (const Scalar& s : scalars) {
    const VariableDef& d = *s.def;
    const BaseType type = runtime::baseTypeOf(d.dataType);
    const char* causality = d.causality == Causality::input                 ? "input"
                            : d.causality == Causality::output              ? "output"
                            : d.causality == Causality::calculatedParameter ? "calculatedParameter"
                                                                            : "parameter";
    // A String parameter names what the model reads at initialisation, and a calculated
    // parameter is worked out there: neither changes afterwards.
    const char* variability =
        d.causality == Causality::calculatedParameter ? "fixed"
        : d.causality == Causality::parameter         ? (type == BaseType::string ? "fixed" : "tunable")
        : type == BaseType::real                      ? "continuous"
                                                      : "discrete";
    out << "    <!-- index " << s.index << " -->\n";
    out << "    <ScalarVariable name=\"" << escape(s.name) << "\" valueReference=\""
        << s.valueReference << "\" description=\"" << escape(d.description)
        << "\" causality=\"" << causality << "\" variability=\"" << variability << '"';
    if (d.causality == Causality::parameter) out << " initial=\"exact\"";
    if (d.causality == Causality::output || d.causality == Causality::calculatedParameter) {
      out << " initial=\"calculated\"";
    }
    out << ">\n      ";

    const runtime::VariableEntry* entry = &arrays[static_cast<int>(type)][s.valueReference];
    const bool hasStart = d.causality == Causality::input || d.causality == Causality::parameter;
    switch (type) {
      case BaseType::real:
        out << "<Real";
        if (d.unit[0] != '\0') out << " unit=\"" << escape(d.unit) << '"';
        if (hasStart) out << " start=\"" << formatReal(mi.readReal(entry)) << '"';
        break;
      case BaseType::integer: {
        int32_t ok = 1;
        const int32_t value = mi.readInteger(entry, &ok);
        out << "<Integer";
        // The range of an integer parameter is what its guard lets a write store.
        if (d.causality == Causality::parameter && d.maxValue != runtime::noIntegerLimit) {
          out << " min=\"0\" max=\"" << d.maxValue << '"';
        }
        if (hasStart) out << " start=\"" << value << '"';
        break;
      }
      case BaseType::boolean:
        out << "<Boolean";
        if (hasStart) out << " start=\"" << (mi.readBoolean(entry) != 0 ? "true" : "false") << '"';
        break;
      case BaseType::string:
        out << "<String";
        if (hasStart) out << " start=\"" << escape(mi.readString(entry)) << '"';
        break;
    }
    out << "/>\n    </ScalarVariable>\n";
  }
  out << "  </ModelVariables>\n";

  // Outputs with the inputs they depend on directly; the initial unknowns are the same outputs,
  // which at initialisation may also depend on parameters, so they keep the default dependency
  // on everything.
  out << "  <ModelStructure>\n    <Outputs>\n";
  for (const Scalar& s : scalars) {
    if (s.def->causality != Causality::output) continue;
    std::vector<uint32_t> indices;
    const char* list = s.def->dependencies != nullptr ? s.def->dependencies : "";
    std::string_view rest(list);
    while (!rest.empty()) {
      const std::size_t space = rest.find(' ');
      const std::string_view word = rest.substr(0, space);
      rest = space == std::string_view::npos ? std::string_view() : rest.substr(space + 1);
      if (word.empty()) continue;
      const Scalar* input = nullptr;
      for (const Scalar& candidate : scalars) {
        if (candidate.def->causality == Causality::input && candidate.name == word) input = &candidate;
      }
      if (input == nullptr) {
        std::fprintf(stderr, "output %s depends on \"%.*s\", which is not an input\n",
                     s.name.c_str(), static_cast<int>(word.size()), word.data());
        return false;
      }
      indices.push_back(input->index);
    }
    std::sort(indices.begin(), indices.end());
    std::string deps;
    for (uint32_t i : indices) deps += (deps.empty() ? "" : " ") + std::to_string(i);
    out << "      <Unknown index=\"" << s.index << "\" dependencies=\"" << deps << "\"/>\n";
  }
  out << "    </Outputs>\n    <InitialUnknowns>\n";
  for (const Scalar& s : scalars) {
    if (s.def->causality == Causality::output || s.def->causality == Causality::calculatedParameter) {
      out << "      <Unknown index=\"" << s.index << "\"/>\n";
    }
  }
  out << "    </InitialUnknowns>\n  </ModelStructure>\n</fmiModelDescription>\n";
  return static_cast<bool>(out);
}

}  // namespace tools
