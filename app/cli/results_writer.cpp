#include "app/cli/results_writer.h"

#include <cmath>
#include <fstream>

#include "app/cli/variable_selection.h"
#include "engine/error.h"

namespace master::cli {

namespace fs = std::filesystem;

ResultsWriter::ResultsWriter(fs::path file, std::vector<std::string> patterns, std::size_t stepsPerRow)
    : file_(std::move(file)), patterns_(std::move(patterns)), stepsPerRow_(stepsPerRow) {}

void ResultsWriter::start(const RunRecord& record) {
  selected_ = selectVariables(record.variables, patterns_);
  std::vector<std::string> header{"time"};
  for (const std::size_t i : selected_) header.push_back(columnName(record.variables[i]));
  row_.assign(header.size(), 0.0);
  // The decimal scale of the step and start time (10 for 0.5 s, 100 for 0.01 s), if any.
  for (double scale = 1.0; scale <= 1e9; scale *= 10.0) {
    if (std::round(record.communicationStep * scale) / scale == record.communicationStep &&
        std::round(record.startTime * scale) / scale == record.startTime) {
      timeScale_ = scale;
      break;
    }
  }
  csv_ = std::make_unique<CsvWriter>(file_, header);
}

namespace {
bool onRowGrid(std::size_t point, std::size_t stepsPerRow) { return point % stepsPerRow == 0; }
}  // namespace

std::string ResultsWriter::check(const RunRecord& record, std::size_t point) {
  if (onRowGrid(point, stepsPerRow_)) writeRow(record, point);
  return {};
}

std::vector<std::size_t> resultsRows(std::size_t points, std::size_t stepsPerRow) {
  std::vector<std::size_t> rows;
  for (std::size_t k = 0; k < points; ++k) {
    if (onRowGrid(k, stepsPerRow)) rows.push_back(k);
  }
  if (points > 0 && rows.back() != points - 1) rows.push_back(points - 1);
  return rows;
}

void ResultsWriter::writeRow(const RunRecord& record, std::size_t point) {
  row_[0] = shownTime(record.time[point]);
  for (std::size_t c = 0; c < selected_.size(); ++c) row_[c + 1] = record.columns[selected_[c]][point];
  csv_->writeRow(row_.data(), row_.size());
  lastWritten_ = point;
  ++rows_;
}

double ResultsWriter::shownTime(double t) const {
  if (timeScale_ == 0.0) return t;
  const double decimal = std::round(t * timeScale_) / timeScale_;
  return std::fabs(decimal - t) <= 1e-9 * std::fabs(t) ? decimal : t;
}

void ResultsWriter::finish(const RunRecord& record) {
  if (record.points() > 0 && lastWritten_ != record.points() - 1) writeRow(record, record.points() - 1);
  csv_->close();
}

fs::path ResultsWriter::finishPartial() {
  csv_->close();
  if (file_ == "-") return file_;
  const fs::path partial = file_.parent_path() / (file_.stem().string() + ".partial" + file_.extension().string());
  fs::rename(file_, partial);
  return partial;
}

namespace {

std::string csvField(const std::string& text) {
  if (text.find_first_of(",\"\n\r") == std::string::npos) return text;
  std::string out = "\"";
  for (const char c : text) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + '"';
}

}  // namespace

void writeVariablesTable(const fs::path& file, const RunRecord& record, const std::vector<std::size_t>& selected) {
  std::ofstream out(file, std::ios::binary);
  out << "column,unit,description\ntime,s,communication point\n";
  for (const std::size_t i : selected) {
    const RecordedVariable& v = record.variables[i];
    out << csvField(columnName(v)) << ',' << csvField(v.unit) << ',' << csvField(v.description) << '\n';
  }
  out.close();
  if (!out) throw MasterError("cannot write '" + file.string() + "'");
}

}  // namespace master::cli
