// Runs gnuplot on a script file in a working folder (the script names its files relative to it,
// so that the folder can be moved) and waits for it.
#pragma once

#include <filesystem>

namespace report {

// Throws PlotError when gnuplot cannot be started or fails on the script.
void runGnuplot(const std::filesystem::path& script, const std::filesystem::path& workingFolder);

}  // namespace report
