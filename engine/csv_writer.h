// Writes the results table: one header line, then one row of numbers per communication point,
// each number in its shortest form that reads back as the same double (so the file is exact
// and the same run gives the same bytes). Rows go into a fixed buffer; nothing is allocated
// per row. A column whose value has the same bits as in the row before copies that row's text
// instead of forming it again (a counter, a flag, a setting at rest: most columns of a results file
// hold still for long stretches, and forming a number is the costliest part of a row).
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/shortest_text.h"

namespace master {

class CsvWriter {
 public:
  // The file "-" is standard output.
  CsvWriter(const std::filesystem::path& file, const std::vector<std::string>& columns);
  ~CsvWriter();
  CsvWriter(const CsvWriter&) = delete;
  CsvWriter& operator=(const CsvWriter&) = delete;

  // One row; `count` must equal the number of columns. Throws MasterError when the rows cannot
  // be written.
  void writeRow(const double* values, std::size_t count);
  // Flushes and closes; throws MasterError when the file could not be written completely.
  void close();

 private:
  void flush();
  std::string place() const;
  bool toStdout() const { return file_ == "-"; }

  // The text last written in a column and the bits of its value.
  struct Cell {
    std::uint64_t bits = 0;
    std::uint8_t length = 0;  // 0: nothing written yet
    char text[shortestTextRoom] = {};
  };

  std::filesystem::path file_;
  std::FILE* out_ = nullptr;
  std::size_t columns_;
  std::vector<Cell> last_;
  std::vector<char> buffer_;
  std::size_t used_ = 0;
  bool failed_ = false;
};

}  // namespace master
