#include "engine/xml_support.h"

#include <algorithm>
#include <fstream>
#include <sstream>

#include "engine/error.h"

namespace master::xml {

std::string_view localName(const pugi::xml_node& node) {
  std::string_view name = node.name();
  const std::size_t colon = name.find(':');
  return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

pugi::xml_node child(const pugi::xml_node& parent, std::string_view name) {
  for (pugi::xml_node c = parent.first_child(); c; c = c.next_sibling()) {
    if (c.type() == pugi::node_element && localName(c) == name) return c;
  }
  return {};
}

int lineOf(std::string_view text, const pugi::xml_node& node) {
  const std::ptrdiff_t offset = node.offset_debug();
  if (offset < 0) return 0;
  const std::size_t end = std::min(text.size(), static_cast<std::size_t>(offset));
  return 1 + static_cast<int>(std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(end), '\n'));
}

void load(pugi::xml_document& document, std::string_view text, const std::string& source) {
  const pugi::xml_parse_result result = document.load_buffer(text.data(), text.size());
  if (!result) {
    const std::size_t end = std::min(text.size(), static_cast<std::size_t>(std::max<std::ptrdiff_t>(result.offset, 0)));
    const int line = 1 + static_cast<int>(std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(end), '\n'));
    throw MasterError(source + ":" + std::to_string(line) + ": not well-formed XML: " +
                      result.description());
  }
}

std::string readFile(const std::string& path, const char* what) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw MasterError("cannot open " + std::string(what) + " '" + path + "'");
  std::ostringstream text;
  text << in.rdbuf();
  if (in.bad()) throw MasterError("cannot read " + std::string(what) + " '" + path + "'");
  return text.str();
}

}  // namespace master::xml
