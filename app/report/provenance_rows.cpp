#include "app/report/provenance_rows.h"

#include <algorithm>

namespace report {

std::string provenanceText(const ProvenanceRows& rows) {
  if (rows.empty()) return {};
  std::size_t width = 0;
  for (const auto& [label, value] : rows) width = std::max(width, label.size());
  std::string out = "Run\n";
  for (const auto& [label, value] : rows) {
    out += "  " + label + std::string(width - label.size() + 2, ' ') + value + "\n";
  }
  return out + "\n";
}

}  // namespace report
