#include "engine/csv_writer.h"

#include <bit>
#include <cerrno>
#include <cmath>
#include <cstring>

#include "engine/error.h"

namespace master {

namespace {
constexpr std::size_t bufferSize = 1 << 20;
// The room a number takes in the buffer: the longest number (shortestTextLength) and a
// separator, rounded up to the fixed size in which each cell's text is copied.
constexpr std::size_t longestNumber = 32;
// It is also no more than a cell holds (Cell::text has shortestTextRoom characters).
static_assert(longestNumber > shortestTextLength && longestNumber <= shortestTextRoom);

// The text of one number: "nan" for every NaN, else the shortest form that reads back the same.
char* formatNumber(char* p, double v) {
  if (std::isnan(v)) {
    std::memcpy(p, "nan", 3);
    return p + 3;
  }
  return writeShortest(p, v);
}
}  // namespace

CsvWriter::CsvWriter(const std::filesystem::path& file, const std::vector<std::string>& columns)
    : file_(file), columns_(columns.size()), last_(columns.size()), buffer_(bufferSize) {
  out_ = toStdout() ? stdout : std::fopen(file.c_str(), "wb");
  if (out_ == nullptr) throw MasterError("cannot create '" + file.string() + "': " + std::strerror(errno));
  std::string header;
  for (std::size_t i = 0; i < columns.size(); ++i) {
    if (i > 0) header += ',';
    header += columns[i];
  }
  header += '\n';
  if (std::fwrite(header.data(), 1, header.size(), out_) != header.size()) failed_ = true;
}

CsvWriter::~CsvWriter() {
  if (out_ != nullptr && !toStdout()) std::fclose(out_);
}

void CsvWriter::writeRow(const double* values, std::size_t count) {
  if (buffer_.size() - used_ < count * longestNumber + 1) flush();
  char* p = buffer_.data() + used_;
  for (std::size_t i = 0; i < count; ++i) {
    if (i > 0) *p++ = ',';
    Cell& cell = last_[i];
    const auto bits = std::bit_cast<std::uint64_t>(values[i]);
    if (cell.length == 0 || cell.bits != bits) {
      cell.bits = bits;
      cell.length = static_cast<std::uint8_t>(formatNumber(cell.text, values[i]) - cell.text);
    }
    // The cell's text in a copy of fixed size: the room kept per number covers it.
    std::memcpy(p, cell.text, longestNumber);
    p += cell.length;
  }
  *p++ = '\n';
  used_ = static_cast<std::size_t>(p - buffer_.data());
}

void CsvWriter::flush() {
  // A file that cannot take the rows (a full disk, a closed pipe on standard output) ends the
  // run at once rather than after every row has been formed for nothing.
  if (used_ > 0 && std::fwrite(buffer_.data(), 1, used_, out_) != used_) {
    failed_ = true;
    throw MasterError("cannot write the results to " + place() + ": " + std::strerror(errno));
  }
  used_ = 0;
}

std::string CsvWriter::place() const { return toStdout() ? "standard output" : "'" + file_.string() + "'"; }

void CsvWriter::close() {
  if (out_ == nullptr) return;
  flush();
  const int error = (toStdout() ? std::fflush(out_) : std::fclose(out_)) != 0 ? errno : 0;
  out_ = nullptr;
  if (error != 0) throw MasterError("cannot write the results to " + place() + ": " + std::strerror(error));
  if (failed_) throw MasterError("could not write all of " + place());
}

}  // namespace master
