# The Debian libraries the engine and the application link, found once for every folder
# (scripts/lib.sh lists their packages). The tests' GoogleTest, the benchmarks' library and the
# Python module's pybind11 are found in their own folders, once each.
# libzip through pkg-config: Debian's CMake package for it also demands the zip tools.
find_package(PkgConfig REQUIRED)
pkg_check_modules(LIBZIP REQUIRED IMPORTED_TARGET libzip)
find_package(pugixml REQUIRED)
find_package(Threads REQUIRED)
find_package(CLI11 REQUIRED)
find_package(nlohmann_json 3 REQUIRED)
find_package(OpenSSL REQUIRED COMPONENTS Crypto)
find_package(tomlplusplus REQUIRED)
