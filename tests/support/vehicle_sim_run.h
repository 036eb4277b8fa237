// vehicle-sim run as a user runs it, for the tests that run systems: the command with its
// output and exit status, a results file read back as columns, and a folder zipped into an .ssp.
#pragma once

#include <zip.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace master_test::run {

namespace fs = std::filesystem;

struct RunResult {
  int status = -1;
  std::string output;  // stdout and stderr
};

inline std::string quoted(const std::string& s) {
  std::string out = "'";
  for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

inline RunResult vehicleSim(const std::vector<std::string>& args) {
  std::string command = quoted(VEHICLE_SIM) + " --no-progress";
  for (const std::string& a : args) command += " " + quoted(a);
  command += " 2>&1";
  RunResult r;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return r;
  char buffer[4096];
  std::size_t n = 0;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) r.output.append(buffer, n);
  const int status = pclose(pipe);
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

struct Table {
  std::vector<std::string> names;
  std::vector<std::vector<double>> columns;

  const std::vector<double>& operator[](const std::string& name) const {
    for (std::size_t i = 0; i < names.size(); ++i) {
      if (names[i] == name) return columns[i];
    }
    throw std::runtime_error("no column " + name);
  }
  std::size_t rows() const { return columns.empty() ? 0 : columns[0].size(); }
};

inline Table readTable(const fs::path& file) {
  std::ifstream in(file);
  Table t;
  std::string line, field;
  std::getline(in, line);
  std::istringstream header(line);
  while (std::getline(header, field, ',')) t.names.push_back(field);
  t.columns.resize(t.names.size());
  while (std::getline(in, line)) {
    const char* p = line.c_str();
    for (auto& column : t.columns) {
      char* end = nullptr;
      column.push_back(std::strtod(p, &end));
      p = *end == ',' ? end + 1 : end;
    }
  }
  return t;
}

// A folder with SystemStructure.ssd at its root, zipped as it is into an .ssp.
inline void zipFolder(const fs::path& folder, const fs::path& archive) {
  int error = 0;
  zip_t* z = zip_open(archive.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
  ASSERT_NE(z, nullptr);
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    if (!entry.is_regular_file()) continue;
    const std::string name = entry.path().lexically_relative(folder).string();
    zip_source_t* source = zip_source_file(z, entry.path().c_str(), 0, -1);
    ASSERT_GE(zip_file_add(z, name.c_str(), source, ZIP_FL_OVERWRITE), 0);
  }
  ASSERT_EQ(zip_close(z), 0);
}

}  // namespace master_test::run
