#include "master/csv_writer.h"

#include <charconv>
#include <cerrno>
#include <cmath>
#include <cstring>

#include "master/error.h"

namespace master {

namespace {
constexpr std::size_t bufferSize = 1 << 20;
constexpr std::size_t longestNumber = 32;  // "-1.2345678901234567e-308" and a separator
}  // namespace

CsvWriter::CsvWriter(const std::filesystem::path& file, const std::vector<std::string>& columns)
    : file_(file), columns_(columns.size()), buffer_(bufferSize) {
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
    const double v = values[i];
    if (std::isnan(v)) {
      std::memcpy(p, "nan", 3);
      p += 3;
    } else {
      p = std::to_chars(p, p + longestNumber, v).ptr;
    }
  }
  *p++ = '\n';
  used_ = static_cast<std::size_t>(p - buffer_.data());
}

void CsvWriter::flush() {
  if (used_ > 0 && std::fwrite(buffer_.data(), 1, used_, out_) != used_) failed_ = true;
  used_ = 0;
}

void CsvWriter::close() {
  if (out_ == nullptr) return;
  flush();
  if ((toStdout() ? std::fflush(out_) : std::fclose(out_)) != 0) failed_ = true;
  out_ = nullptr;
  if (failed_) throw MasterError("could not write all of '" + file_.string() + "'");
}

}  // namespace master
