// Small helpers over pugixml shared by the model description and system structure readers:
// namespace-prefix-free element names, line numbers for messages, and loading a document with
// a clear error.
#pragma once

#include <pugixml.hpp>

#include <string>
#include <string_view>

namespace master::xml {

// The element name without its namespace prefix ("ssd:Component" -> "Component").
std::string_view localName(const pugi::xml_node& node);

// The first child element with that local name, or an empty node.
pugi::xml_node child(const pugi::xml_node& parent, std::string_view name);

// The 1-based line of a node within `text`, the buffer the document was parsed from.
int lineOf(std::string_view text, const pugi::xml_node& node);

// Parses `text` into `document`; throws MasterError "<source>:<line>: <reason>" when it is not
// well-formed XML.
void load(pugi::xml_document& document, std::string_view text, const std::string& source);

// Reads a whole file into a string; throws MasterError naming the file when it cannot.
std::string readFile(const std::string& path, const char* what);

}  // namespace master::xml
