#include "engine/value_transform.h"

#include <charconv>
#include <cmath>

#include "engine/error.h"
#include "engine/xml_support.h"

namespace master {

namespace {

constexpr const char* baseUnits[8] = {"kg", "m", "s", "A", "K", "mol", "cd", "rad"};

std::string describe(const UnitDefinition& u) {
  std::string text;
  for (int i = 0; i < 8; ++i) {
    if (u.exponents[i] != 0) text += std::string(text.empty() ? "" : ".") + baseUnits[i] + "^" + std::to_string(u.exponents[i]);
  }
  return text.empty() ? "1" : text;
}

}  // namespace

void readUnits(const pugi::xml_node& units, std::string_view text, const std::string& source, UnitTable& out) {
  for (pugi::xml_node u = units.first_child(); u; u = u.next_sibling()) {
    if (u.type() != pugi::node_element || xml::localName(u) != "Unit") continue;
    auto fail = [&](const std::string& message) {
      return MasterError(source + ":" + std::to_string(xml::lineOf(text, u)) + ": " + message);
    };
    const std::string name = u.attribute("name").as_string();
    if (name.empty()) throw fail("<Unit> needs the attribute name");
    const pugi::xml_node base = xml::child(u, "BaseUnit");
    if (!base) continue;
    UnitDefinition d;
    for (int i = 0; i < 8; ++i) {
      const std::string_view v = base.attribute(baseUnits[i]).as_string("0");
      const auto [end, error] = std::from_chars(v.data(), v.data() + v.size(), d.exponents[i]);
      if (error != std::errc() || end != v.data() + v.size()) {
        throw fail("unit '" + name + "': the exponent of " + baseUnits[i] + " '" + std::string(v) + "' is no integer");
      }
    }
    for (auto [attribute, value] : {std::pair{"factor", &d.factor}, std::pair{"offset", &d.offset}}) {
      const std::string_view v = base.attribute(attribute).as_string(attribute[0] == 'f' ? "1" : "0");
      const auto [end, error] = std::from_chars(v.data(), v.data() + v.size(), *value);
      if (error != std::errc() || end != v.data() + v.size() || !std::isfinite(*value)) {
        throw fail("unit '" + name + "': " + attribute + " '" + std::string(v) + "' is no number");
      }
    }
    if (d.factor == 0.0) throw fail("unit '" + name + "': factor 0");
    out[name] = d;
  }
}

void setUnitConversion(ValueTransform& t, const std::string& from, const UnitTable& fromUnits, const std::string& to,
                       const UnitTable& toUnits, const std::string& context) {
  t.convertsUnit = false;
  if (from.empty() || to.empty() || from == to) return;
  const auto a = fromUnits.find(from);
  const auto b = toUnits.find(to);
  if (a == fromUnits.end() || b == toUnits.end()) {
    throw MasterError(context + "cannot convert from unit '" + from + "' to '" + to + "': '" +
                      (a == fromUnits.end() ? from : to) + "' has no definition through the SI base units");
  }
  if (a->second.exponents != b->second.exponents) {
    throw MasterError(context + "unit '" + from + "' (" + describe(a->second) + ") cannot be converted to '" + to +
                      "' (" + describe(b->second) + ")");
  }
  if (a->second.factor == b->second.factor && a->second.offset == b->second.offset) return;
  t.convertsUnit = true;
  t.fromFactor = a->second.factor;
  t.fromOffset = a->second.offset;
  t.toFactor = b->second.factor;
  t.toOffset = b->second.offset;
}

}  // namespace master
