#include "app/text_file.h"

#include <fstream>

#include "engine/error.h"

namespace master {

void writeTextFile(const std::filesystem::path& file, const std::string& text) {
  std::ofstream out(file, std::ios::binary);
  out << text;
  out.close();
  if (!out) throw MasterError("cannot write '" + file.string() + "'");
}

}  // namespace master
