// Files from the reference material kept beside the repository (the FMI 2.0 and SSP 1.0
// schemas), found through the one CMake cache variable VEHICLE_SHARED_DIR (default: ../shared
// next to the project). A checkout of the project on its own has none of them; a test that needs
// one then skips with one line. (The shell test of the vehicle system's schemas gets the same
// setting from tests/app/CMakeLists.txt.)
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace test_support {

// The path of `relative` inside VEHICLE_SHARED_DIR.
inline std::string sharedFile(const std::string& relative) {
  return std::string(VEHICLE_SHARED_DIR) + "/" + relative;
}

}  // namespace test_support

// In a test body: skips the test when the shared file `path` is absent, saying what is missing
// and how to run the test.
#define SKIP_WITHOUT_SHARED_FILE(path)                                                         \
  if (const std::string shared_file_ = (path); !std::filesystem::exists(shared_file_))         \
  GTEST_SKIP() << "needs " << shared_file_                                                     \
               << ", which this checkout lacks: configure with -DVEHICLE_SHARED_DIR=<folder "  \
                  "of the reference material> to run it"
