// Text placed in XML and HTML content and double-quoted attributes: the characters markup gives a
// meaning to there are written as their entities. Shared by the model description generator and
// the vehicle report's page.
#pragma once

#include <string>
#include <string_view>

namespace tools {

inline std::string escapeMarkup(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default: out += c;
    }
  }
  return out;
}

}  // namespace tools
