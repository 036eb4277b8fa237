// Writes the results table: one header line, then one row of numbers per communication point,
// each number in its shortest form that reads back as the same double (so the file is exact
// and the same run gives the same bytes). Rows go into a fixed buffer; nothing is allocated
// per row.
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace master {

class CsvWriter {
 public:
  // The file "-" is standard output.
  CsvWriter(const std::filesystem::path& file, const std::vector<std::string>& columns);
  ~CsvWriter();
  CsvWriter(const CsvWriter&) = delete;
  CsvWriter& operator=(const CsvWriter&) = delete;

  // One row; `count` must equal the number of columns.
  void writeRow(const double* values, std::size_t count);
  // Flushes and closes; throws MasterError when the file could not be written completely.
  void close();

 private:
  void flush();
  bool toStdout() const { return file_ == "-"; }

  std::filesystem::path file_;
  std::FILE* out_ = nullptr;
  std::size_t columns_;
  std::vector<char> buffer_;
  std::size_t used_ = 0;
  bool failed_ = false;
};

}  // namespace master
