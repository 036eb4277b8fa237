// The system to run when none is named: the vehicle.ssp that belongs to the program, found
// relative to the program's (or the loaded library's) own file, so that an installed tree can
// be moved anywhere: first where `cmake --install` puts it, then where the build folder has it.
#pragma once

#include <filesystem>
#include <initializer_list>

namespace master {

// The first of `relativeCandidates` (relative to `binaryFolder`) that exists, else the first.
std::filesystem::path defaultSystemBeside(const std::filesystem::path& binaryFolder,
                                          std::initializer_list<const char*> relativeCandidates);

// vehicle-sim's: beside the running program (/proc/self/exe).
std::filesystem::path programDefaultSystem();

// The folder of the shared object (or program) that holds `address`.
std::filesystem::path folderOf(const void* address);

}  // namespace master
