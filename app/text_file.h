// Writing a whole text file of the results folder; a file that cannot be written in full fails
// the run (MasterError naming it).
#pragma once

#include <filesystem>
#include <string>

namespace master {

void writeTextFile(const std::filesystem::path& file, const std::string& text);

}  // namespace master
