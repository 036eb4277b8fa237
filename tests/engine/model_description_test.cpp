// Reading a unit's modelDescription.xml.
#include <gtest/gtest.h>

#include "engine/error.h"
#include "engine/model_description.h"

namespace master {
namespace {

const char* const description = R"(<?xml version="1.0" encoding="UTF-8"?>
<fmiModelDescription fmiVersion="2.0" modelName="Plant" guid="0123abcd">
  <CoSimulation modelIdentifier="PlantLib"/>
  <DefaultExperiment startTime="0" stepSize="0.0025"/>
  <ModelVariables>
    <ScalarVariable name="u" valueReference="0" causality="input"><Real unit="N.m" start="0"/></ScalarVariable>
    <ScalarVariable name="y" valueReference="1" causality="output"><Real/></ScalarVariable>
    <ScalarVariable name="k[1]" valueReference="0" causality="parameter"><Integer start="7"/></ScalarVariable>
    <ScalarVariable name="on" valueReference="0" causality="input"><Boolean start="false"/></ScalarVariable>
    <ScalarVariable name="hidden" valueReference="2"><Real/></ScalarVariable>
  </ModelVariables>
</fmiModelDescription>
)";

TEST(ModelDescription, ReadsIdentityAndEveryVariable) {
  const ModelDescription md = parseModelDescription(description, "md.xml");
  EXPECT_EQ(md.modelName, "Plant");
  EXPECT_EQ(md.guid, "0123abcd");
  EXPECT_EQ(md.modelIdentifier, "PlantLib");
  EXPECT_EQ(md.defaultStepSize, 0.0025);
  ASSERT_EQ(md.variables.size(), 5u);

  const ModelVariable* u = md.find("u");
  ASSERT_NE(u, nullptr);
  EXPECT_EQ(u->valueReference, 0u);
  EXPECT_EQ(u->type, VariableType::real);
  EXPECT_EQ(u->causality, Causality::input);
  EXPECT_EQ(u->unit, "N.m");
  EXPECT_EQ(u->start, "0");

  const ModelVariable* k = md.find("k[1]");
  ASSERT_NE(k, nullptr);
  EXPECT_EQ(k->type, VariableType::integer);
  EXPECT_EQ(k->causality, Causality::parameter);
  EXPECT_EQ(md.find("on")->type, VariableType::boolean);
  EXPECT_EQ(md.find("y")->causality, Causality::output);
  EXPECT_FALSE(md.find("y")->start.has_value());
  EXPECT_EQ(md.find("hidden")->causality, Causality::local);  // the default causality
  EXPECT_EQ(md.find("nothing"), nullptr);
}

TEST(ModelDescription, RefusesWhatNoMasterCouldUse) {
  auto replace = [](std::string text, const std::string& from, const std::string& to) {
    text.replace(text.find(from), from.size(), to);
    return text;
  };
  const std::pair<std::string, const char*> cases[] = {
      {replace(description, "fmiVersion=\"2.0\"", "fmiVersion=\"3.0\""), "only 2.0 is supported"},
      {replace(description, "guid=\"0123abcd\"", ""), "no guid"},
      {replace(description, "<CoSimulation modelIdentifier=\"PlantLib\"/>", ""), "is not a Co-Simulation unit"},
      {replace(description, "modelIdentifier=\"PlantLib\"", ""), "no modelIdentifier"},
      {replace(description, "valueReference=\"1\"", "valueReference=\"x1\""), "md.xml:7: variable 'y' has an invalid valueReference"},
      {replace(description, "valueReference=\"1\"", ""), "md.xml:7: variable 'y' has no valueReference"},
      {replace(description, "causality=\"output\"", "causality=\"sideways\""), "unknown causality"},
      {replace(description, "<Real/></ScalarVariable>", "</ScalarVariable>"), "variable 'y' has no type element"},
      {replace(description, "name=\"hidden\"", "name=\"u\""), "variable 'u' is listed twice"},
      {replace(description, "</ModelVariables>", "<ModelVariables>"), "md.xml:"},  // not well-formed
      {"<other/>", "not a model description"},
  };
  for (const auto& [text, expected] : cases) {
    try {
      parseModelDescription(text, "md.xml");
      ADD_FAILURE() << "accepted, expected: " << expected;
    } catch (const MasterError& e) {
      EXPECT_NE(std::string(e.what()).find(expected), std::string::npos) << e.what();
    }
  }
  EXPECT_THROW(readModelDescription("/nonexistent/modelDescription.xml"), MasterError);
}

}  // namespace
}  // namespace master
