// Reading a system structure file and checking its coupling against the units.
#include <gtest/gtest.h>

#include "engine/coupling.h"
#include "engine/error.h"
#include "engine/feedthrough.h"
#include "engine/system_structure.h"
#include "engine/unit_log.h"

namespace master {
namespace {

ModelDescription plantDescription() {
  return parseModelDescription(R"(<fmiModelDescription fmiVersion="2.0" modelName="Plant" guid="1">
  <CoSimulation modelIdentifier="Plant"/>
  <ModelVariables>
    <ScalarVariable name="u" valueReference="0" causality="input"><Real/></ScalarVariable>
    <ScalarVariable name="on" valueReference="0" causality="input"><Boolean/></ScalarVariable>
    <ScalarVariable name="y" valueReference="1" causality="output"><Real/></ScalarVariable>
    <ScalarVariable name="gain" valueReference="2" causality="parameter"><Real/></ScalarVariable>
    <ScalarVariable name="count" valueReference="0" causality="parameter"><Integer/></ScalarVariable>
    <ScalarVariable name="inner" valueReference="3" causality="local"><Real/></ScalarVariable>
  </ModelVariables></fmiModelDescription>)", "plant.xml");
}

ModelDescription controllerDescription() {
  return parseModelDescription(R"(<fmiModelDescription fmiVersion="2.0" modelName="Ctrl" guid="2">
  <CoSimulation modelIdentifier="Ctrl"/>
  <ModelVariables>
    <ScalarVariable name="measured" valueReference="0" causality="input"><Real/></ScalarVariable>
    <ScalarVariable name="setpoint" valueReference="1" causality="input"><Real/></ScalarVariable>
    <ScalarVariable name="command" valueReference="2" causality="output"><Real/></ScalarVariable>
  </ModelVariables></fmiModelDescription>)", "ctrl.xml");
}

// Line numbers matter to the messages: the connections start on line 23.
const char* const systemText = R"(<?xml version="1.0" encoding="UTF-8"?>
<ssd:SystemStructureDescription xmlns:ssd="http://ssp-standard.org/SSP1/SystemStructureDescription"
    xmlns:ssc="http://ssp-standard.org/SSP1/SystemStructureCommon"
    xmlns:ssv="http://ssp-standard.org/SSP1/SystemStructureParameterValues" version="1.0" name="loop">
  <ssd:System name="loop">
    <ssd:Connectors>
      <ssd:Connector name="target" kind="input"><ssc:Real/></ssd:Connector>
      <ssd:Connector name="observed" kind="output"><ssc:Real/></ssd:Connector>
    </ssd:Connectors>
    <ssd:Elements>
      <ssd:Component name="plant" type="application/x-fmu-sharedlibrary" source="Plant.fmu">
        <ssd:Connectors><ssd:Connector name="u" kind="input"><ssc:Real/></ssd:Connector></ssd:Connectors>
        <ssd:ParameterBindings><ssd:ParameterBinding><ssd:ParameterValues>
          <ssv:ParameterSet version="1.0" name="plant"><ssv:Parameters>
            <ssv:Parameter name="gain"><ssv:Real value="2.5"/></ssv:Parameter>
            <ssv:Parameter name="count"><ssv:Integer value="-3"/></ssv:Parameter>
            <ssv:Parameter name="on"><ssv:Boolean value="true"/></ssv:Parameter>
          </ssv:Parameters></ssv:ParameterSet></ssd:ParameterValues></ssd:ParameterBinding></ssd:ParameterBindings>
      </ssd:Component>
      <ssd:Component name="ctrl" source="Ctrl.fmu"/>
    </ssd:Elements>
    <ssd:Connections>
      <ssd:Connection startElement="plant" startConnector="y" endElement="ctrl" endConnector="measured"/>
      <ssd:Connection startElement="ctrl" startConnector="command" endElement="plant" endConnector="u"/>
      <ssd:Connection startConnector="target" endElement="ctrl" endConnector="setpoint"/>
      <ssd:Connection startElement="plant" startConnector="y" endConnector="observed"/>
    </ssd:Connections>
  </ssd:System>
</ssd:SystemStructureDescription>
)";

std::string replaced(const std::string& from, const std::string& to) {
  std::string text = systemText;
  const std::size_t at = text.find(from);
  if (at == std::string::npos) throw std::logic_error("test text lacks " + from);
  return text.replace(at, from.size(), to);
}

CouplingPlan resolve(const std::string& text) {
  static const ModelDescription plant = plantDescription();
  static const ModelDescription ctrl = controllerDescription();
  const SystemStructure s = parseSystemStructure(text, "loop.ssd");
  return resolveCoupling(s, {&plant, &ctrl});
}

TEST(SystemStructure, FlattensNestedSystemsAndTheOuterBindingWins) {
  // The plant inside the system "inner"; the controller outside, connected through inner's
  // connectors; gain bound at the component, at inner and at the outermost system (which wins),
  // count at the component and at inner with a prefix (inner wins).
  const char* text = R"(<ssd:SystemStructureDescription xmlns:ssd="http://ssp-standard.org/SSP1/SystemStructureDescription"
    xmlns:ssc="http://ssp-standard.org/SSP1/SystemStructureCommon"
    xmlns:ssv="http://ssp-standard.org/SSP1/SystemStructureParameterValues" version="1.0" name="outer">
  <ssd:System name="outer">
    <ssd:ParameterBindings><ssd:ParameterBinding><ssd:ParameterValues><ssv:ParameterSet version="1.0" name="o"><ssv:Parameters>
      <ssv:Parameter name="inner.plant.gain"><ssv:Real value="3"/></ssv:Parameter>
    </ssv:Parameters></ssv:ParameterSet></ssd:ParameterValues></ssd:ParameterBinding></ssd:ParameterBindings>
    <ssd:Elements>
      <ssd:System name="inner">
        <ssd:Connectors>
          <ssd:Connector name="command" kind="input"/><ssd:Connector name="y" kind="output"/>
        </ssd:Connectors>
        <ssd:ParameterBindings><ssd:ParameterBinding prefix="plant."><ssd:ParameterValues><ssv:ParameterSet version="1.0" name="i"><ssv:Parameters>
          <ssv:Parameter name="gain"><ssv:Real value="2"/></ssv:Parameter>
          <ssv:Parameter name="count"><ssv:Integer value="7"/></ssv:Parameter>
        </ssv:Parameters></ssv:ParameterSet></ssd:ParameterValues></ssd:ParameterBinding></ssd:ParameterBindings>
        <ssd:Elements>
          <ssd:Component name="plant" source="Plant.fmu">
            <ssd:ParameterBindings><ssd:ParameterBinding><ssd:ParameterValues><ssv:ParameterSet version="1.0" name="p"><ssv:Parameters>
              <ssv:Parameter name="gain"><ssv:Real value="1"/></ssv:Parameter>
              <ssv:Parameter name="count"><ssv:Integer value="1"/></ssv:Parameter>
            </ssv:Parameters></ssv:ParameterSet></ssd:ParameterValues></ssd:ParameterBinding></ssd:ParameterBindings>
          </ssd:Component>
        </ssd:Elements>
        <ssd:Connections>
          <ssd:Connection startConnector="command" endElement="plant" endConnector="u"/>
          <ssd:Connection startElement="plant" startConnector="y" endConnector="y"/>
        </ssd:Connections>
      </ssd:System>
      <ssd:Component name="ctrl" source="Ctrl.fmu"/>
    </ssd:Elements>
    <ssd:Connections>
      <ssd:Connection startElement="inner" startConnector="y" endElement="ctrl" endConnector="measured"/>
      <ssd:Connection startElement="ctrl" startConnector="command" endElement="inner" endConnector="command"/>
    </ssd:Connections>
  </ssd:System>
</ssd:SystemStructureDescription>)";
  const SystemStructure s = parseSystemStructure(text, "outer.ssd");
  ASSERT_EQ(s.components.size(), 2u);
  EXPECT_EQ(s.components[0].name, "inner.plant");
  ASSERT_EQ(s.connections.size(), 2u);
  EXPECT_EQ(s.connections[0].startElement + "." + s.connections[0].startConnector, "ctrl.command");
  EXPECT_EQ(s.connections[0].endElement + "." + s.connections[0].endConnector, "inner.plant.u");
  EXPECT_EQ(s.connections[1].startElement + "." + s.connections[1].startConnector, "inner.plant.y");
  const ModelDescription plant = plantDescription(), ctrl = controllerDescription();
  const CouplingPlan plan = resolveCoupling(s, {&plant, &ctrl});
  ASSERT_EQ(plan.links.size(), 2u);
  ASSERT_EQ(plan.bindings.size(), 2u);  // one value per variable: the one that won
  for (const CouplingPlan::Binding& b : plan.bindings) {
    if (b.target.variable->name == "gain") EXPECT_EQ(b.value.real, 3.0);
    else EXPECT_EQ(b.value.integer, 7);
  }
}

TEST(UnitLog, FormatsOnlyFormatsThatReadTheirArguments) {
  EXPECT_TRUE(safeMessageFormat("%s at %g s, %d steps, 100%% and %-8.3f %lu %*d"));
  for (const char* bad : {"%n", "%s%n", "%5$s", "%", "%k", "%hhn"}) EXPECT_FALSE(safeMessageFormat(bad)) << bad;
}

// Expects `f` to throw a MasterError whose message contains every one of `parts`.
template <typename F>
void expectError(F f, std::initializer_list<const char*> parts) {
  try {
    f();
    ADD_FAILURE() << "no error, expected: " << *parts.begin();
  } catch (const MasterError& e) {
    for (const char* part : parts) EXPECT_NE(std::string(e.what()).find(part), std::string::npos) << e.what();
  }
}

TEST(SystemStructure, ReadsComponentsConnectorsValuesAndConnections) {
  const SystemStructure s = parseSystemStructure(systemText, "loop.ssd");
  EXPECT_EQ(s.name, "loop");
  ASSERT_EQ(s.connectors.size(), 2u);
  EXPECT_EQ(s.connectors[0].kind, "input");
  ASSERT_EQ(s.components.size(), 2u);
  EXPECT_EQ(s.components[0].source, "Plant.fmu");
  ASSERT_EQ(s.bindings.size(), 3u);
  EXPECT_EQ(s.bindings[0].name, "plant.gain");
  EXPECT_EQ(s.bindings[0].real, 2.5);
  EXPECT_EQ(s.bindings[1].integer, -3);
  EXPECT_EQ(s.bindings[2].type, VariableType::boolean);
  EXPECT_EQ(s.bindings[2].integer, 1);
  ASSERT_EQ(s.connections.size(), 4u);
  EXPECT_EQ(s.connections[2].startElement, "");  // the system itself
  EXPECT_EQ(s.connections[0].line, 23);
}

TEST(SystemStructure, ResolvesTheCouplingToValueReferences) {
  const CouplingPlan plan = resolve(systemText);
  ASSERT_EQ(plan.links.size(), 2u);
  EXPECT_EQ(plan.links[0].from.component, 0u);
  EXPECT_EQ(plan.links[0].from.variable->valueReference, 1u);
  EXPECT_EQ(plan.links[0].to.component, 1u);
  EXPECT_EQ(plan.links[0].to.variable->name, "measured");
  const CouplingPlan::SystemInput* target = plan.findInput("target");
  ASSERT_NE(target, nullptr);
  ASSERT_EQ(target->sinks.size(), 1u);
  EXPECT_EQ(target->sinks[0].variable->name, "setpoint");
  ASSERT_NE(plan.findOutput("observed"), nullptr);
  EXPECT_EQ(plan.findOutput("observed")->source.variable->name, "y");
  ASSERT_EQ(plan.bindings.size(), 3u);
  EXPECT_EQ(plan.bindings[2].target.variable->type, VariableType::boolean);
}

TEST(SystemStructure, NamesAnUnknownComponentOrVariable) {
  expectError([] { resolve(replaced("endElement=\"ctrl\" endConnector=\"measured\"", "endElement=\"ctl\" endConnector=\"measured\"")); },
              {"loop.ssd:23:", "plant.y -> ctl.measured", "unknown component 'ctl'"});
  expectError([] { resolve(replaced("endConnector=\"measured\"", "endConnector=\"measure\"")); },
              {"loop.ssd:23:", "component 'ctrl' (Ctrl.fmu) has no variable 'measure'"});
  expectError([] { resolve(replaced("startConnector=\"command\"", "startConnector=\"cmd\"")); },
              {"loop.ssd:24:", "has no variable 'cmd'"});
  expectError([] { resolve(replaced("startConnector=\"target\"", "startConnector=\"aim\"")); },
              {"loop.ssd:25:", "the system has no connector 'aim'"});
  expectError([] { resolve(replaced("<ssv:Parameter name=\"gain\">", "<ssv:Parameter name=\"gian\">")); },
              {"loop.ssd:15:", "value for 'plant.gian'", "has no variable 'gian'"});
  expectError([] { resolve(replaced("<ssd:Connector name=\"u\" kind=\"input\">", "<ssd:Connector name=\"v\" kind=\"input\">")); },
              {"loop.ssd:12:", "has no variable 'v'"});
}

TEST(SystemStructure, RefusesConnectionsAgainstCausality) {
  // Starting at an input.
  expectError([] { resolve(replaced("startElement=\"plant\" startConnector=\"y\" endElement=\"ctrl\"", "startElement=\"plant\" startConnector=\"u\" endElement=\"ctrl\"")); },
              {"loop.ssd:23:", "'plant.u' is input; a connection must start at an output"});
  // Ending at an output.
  expectError([] { resolve(replaced("endElement=\"plant\" endConnector=\"u\"", "endElement=\"plant\" endConnector=\"y\"")); },
              {"loop.ssd:24:", "'plant.y' is output; a connection must end at an input"});
  // Ending at a parameter or a local variable.
  expectError([] { resolve(replaced("endElement=\"plant\" endConnector=\"u\"", "endElement=\"plant\" endConnector=\"gain\"")); },
              {"'plant.gain' is parameter"});
  expectError([] { resolve(replaced("startElement=\"plant\" startConnector=\"y\" endConnector=\"observed\"", "startElement=\"plant\" startConnector=\"inner\" endConnector=\"observed\"")); },
              {"'plant.inner' is local"});
  // A system output used as a source.
  expectError([] { resolve(replaced("startConnector=\"target\"", "startConnector=\"observed\"")); },
              {"the system has no input connector 'observed'"});
  // A declared connector whose kind disagrees with the unit.
  expectError([] { resolve(replaced("<ssd:Connector name=\"u\" kind=\"input\">", "<ssd:Connector name=\"u\" kind=\"output\">")); },
              {"loop.ssd:12:", "connector 'plant.u' is declared as output but the unit's variable is input"});
}

TEST(SystemStructure, RefusesTypeMismatches) {
  expectError([] { resolve(replaced("endElement=\"plant\" endConnector=\"u\"", "endElement=\"plant\" endConnector=\"on\"")); },
              {"loop.ssd:24:", "incompatible types: 'ctrl.command' is Real but 'plant.on' is Boolean"});
  expectError([] { resolve(replaced("<ssv:Real value=\"2.5\"/>", "<ssv:Integer value=\"2\"/>")); },
              {"loop.ssd:15:", "value for 'plant.gain'", "the value is Integer but the unit's variable is Real"});
  expectError([] { resolve(replaced("<ssd:Connector name=\"u\" kind=\"input\"><ssc:Real/>", "<ssd:Connector name=\"u\" kind=\"input\"><ssc:Integer/>")); },
              {"declared Integer but the unit's variable is Real"});
  expectError([] { resolve(replaced("<ssd:Connector name=\"target\" kind=\"input\"><ssc:Real/>", "<ssd:Connector name=\"target\" kind=\"input\"><ssc:Boolean/>")); },
              {"incompatible types: system connector 'target' is Boolean but 'ctrl.setpoint' is Real"});
}

TEST(SystemStructure, RefusesAnInputFedTwiceAndValuesOnConnectedInputsOrOutputs) {
  expectError([] { resolve(replaced("endElement=\"ctrl\" endConnector=\"setpoint\"", "endElement=\"ctrl\" endConnector=\"measured\"")); },
              {"loop.ssd:25:", "'ctrl.measured' is already fed by the connection on line 23"});
  expectError([] { resolve(replaced("<ssv:Parameter name=\"gain\">", "<ssv:Parameter name=\"u\">")); },
              {"value for 'plant.u'", "also fed by the connection on line 24"});
  expectError([] { resolve(replaced("<ssv:Parameter name=\"gain\">", "<ssv:Parameter name=\"y\">")); },
              {"value for 'plant.y'", "the unit's variable is output"});
  expectError([] { resolve(replaced("startElement=\"plant\" startConnector=\"y\" endConnector=\"observed\"", "startElement=\"plant\" startConnector=\"y\" endConnector=\"seen\"")); },
              {"loop.ssd:26:", "the system has no connector 'seen'"});
  expectError([] { resolve(replaced("<ssd:Connection startElement=\"plant\" startConnector=\"y\" endConnector=\"observed\"/>", "")); },
              {"system output 'observed' is not connected"});
}

TEST(SystemStructure, RefusesAFileThatIsNoSystemStructure) {
  const std::pair<std::string, const char*> cases[] = {
      {replaced("</ssd:Elements>", "</ssd:Element>"), "loop.ssd:"},
      {"<ssd:Other version=\"1.0\"/>", "not a system structure description"},
      {replaced("version=\"1.0\" name=\"loop\"", "version=\"2.0\" name=\"loop\""), "only 1.0 is supported"},
      {replaced("<ssd:Component name=\"ctrl\"", "<ssd:Component name=\"plant\""), "component 'plant' is declared twice"},
      {replaced("source=\"Ctrl.fmu\"", ""), "loop.ssd:20: <ssd:Component> needs the attribute source"},
      {replaced("<ssd:Component name=\"ctrl\"", "<ssd:Component type=\"application/x-ssp-package\" name=\"ctrl\""), "only FMUs are supported"},
      {replaced("<ssv:Real value=\"2.5\"/>", "<ssv:Real value=\"2,5\"/>"), "loop.ssd:15: parameter 'gain': '2,5' is not a valid Real value"},
      {replaced("<ssv:Integer value=\"-3\"/>", "<ssv:Integer value=\"3.5\"/>"), "not a valid Integer value"},
      {replaced("<ssv:Boolean value=\"true\"/>", "<ssv:Boolean value=\"yes\"/>"), "not a valid Boolean value"},
      {replaced("<ssd:ParameterBinding>", "<ssd:ParameterBinding source=\"values.ssv\">"), "must not hold values too"},
      {replaced("<ssv:ParameterSet version=\"1.0\"", "<ssv:ParameterSet"), "<ParameterSet> needs version 1.x"},
      {replaced("<ssv:Real value=\"2.5\"/>", "<ssv:Real value=\"2.5\"/><ssv:Real value=\"3\"/>"), "needs exactly one value element"},
      {replaced("kind=\"output\"><ssc:Real/></ssd:Connector>\n    </ssd:Connectors>", "kind=\"sideways\"><ssc:Real/></ssd:Connector>\n    </ssd:Connectors>"), "unknown kind 'sideways'"},
      {replaced("<ssd:Connection startConnector=\"target\"", "<ssd:Connection startConnectr=\"target\""), "loop.ssd:25: <ssd:Connection> needs the attribute startConnector"},
  };
  for (const auto& [text, expected] : cases) {
    try {
      const SystemStructure s = parseSystemStructure(text, "loop.ssd");
      resolve(text);
      ADD_FAILURE() << "accepted, expected: " << expected;
    } catch (const MasterError& e) {
      EXPECT_NE(std::string(e.what()).find(expected), std::string::npos) << e.what();
    }
  }
}

}  // namespace
}  // namespace master

namespace master {
namespace {

// A unit with one input and one output; `feedthrough` declares the output as depending on it.
ModelDescription passUnit(const std::string& name, bool feedthrough) {
  return parseModelDescription(R"(<fmiModelDescription fmiVersion="2.0" modelName=")" + name + R"(" guid="1">
  <CoSimulation modelIdentifier=")" + name + R"("/>
  <ModelVariables>
    <ScalarVariable name="in" valueReference="0" causality="input"><Real/></ScalarVariable>
    <ScalarVariable name="out" valueReference="1" causality="output"><Real/></ScalarVariable>
  </ModelVariables>
  <ModelStructure><Outputs><Unknown index="2" dependencies=")" + (feedthrough ? "1" : "") + R"("/></Outputs></ModelStructure>
  </fmiModelDescription>)", name + ".xml");
}

TEST(Feedthrough, OrdersUnitsWithDirectFeedthroughUpstreamFirstAndLeavesLoopsOut) {
  // 0 (none) -> 3 (fed through) -> 1 (fed through); 2 and 4 fed through, on a loop.
  const ModelDescription units[] = {passUnit("a", false), passUnit("b", true), passUnit("c", true),
                                    passUnit("d", true), passUnit("e", true)};
  std::vector<const ModelDescription*> descriptions;
  for (const ModelDescription& u : units) descriptions.push_back(&u);
  auto link = [&](std::size_t from, std::size_t to) {
    return CouplingPlan::Link{{from, descriptions[from]->find("out")}, {to, descriptions[to]->find("in")}, {}};
  };
  const FeedthroughPlan plan = planFeedthrough(descriptions, {link(3, 1), link(0, 3), link(2, 4), link(4, 2)});
  EXPECT_EQ(plan.order, (std::vector<std::size_t>{3, 1}));
  ASSERT_EQ(plan.loops.size(), 1u);
  EXPECT_EQ(plan.loops[0], (std::vector<std::size_t>{2, 4}));
  // Without declared dependencies nothing is evaluated ahead of the step.
  const ModelDescription plain[] = {passUnit("a", false), passUnit("b", false)};
  const std::vector<const ModelDescription*> two = {&plain[0], &plain[1]};
  EXPECT_TRUE(planFeedthrough(two, {{{0, two[0]->find("out")}, {1, two[1]->find("in")}, {}}}).order.empty());
}

}  // namespace
}  // namespace master
