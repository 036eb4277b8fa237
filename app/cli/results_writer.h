// The results file, written while the run goes: `time` and the selected outputs every
// `stepsPerRow` communication points (and at the last point), each number as the shortest text
// that reads back to the same double. The time column shows each communication point as the
// decimal it stands for where the step is a decimal fraction (0.35, not the 0.35000000000000003
// that start + k * step gives in binary): the engine keeps stepping from start + k * step,
// because the units' results depend on the exact points they are given. Also writes variables.csv, the unit and description of
// each column.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "engine/csv_writer.h"
#include "engine/run_record.h"

namespace master::cli {

class ResultsWriter : public RunObserver {
 public:
  // `file` may be "-" (standard output). Patterns as for --output-variables.
  ResultsWriter(std::filesystem::path file, std::vector<std::string> patterns, std::size_t stepsPerRow);

  // Selects the columns (throws MasterError for a pattern that matches nothing), opens the file
  // and writes the header.
  void start(const RunRecord& record) override;
  std::string check(const RunRecord& record, std::size_t point) override;
  // After the last point: writes it unless it was written, and closes the file.
  void finish(const RunRecord& record);
  // After an interrupted run: closes the file with the rows so far and renames it
  // "<stem>.partial<extension>" beside it; returns the new name (the file itself for "-").
  std::filesystem::path finishPartial();

  const std::filesystem::path& file() const { return file_; }
  const std::vector<std::size_t>& selected() const { return selected_; }
  std::size_t rows() const { return rows_; }

 private:
  void writeRow(const RunRecord& record, std::size_t point);
  // The nearest double to the decimal time the point stands for (within 1e-9 of it).
  double shownTime(double t) const;

  std::filesystem::path file_;
  std::vector<std::string> patterns_;
  std::size_t stepsPerRow_;
  std::vector<std::size_t> selected_;
  std::unique_ptr<CsvWriter> csv_;
  std::vector<double> row_;
  std::size_t rows_ = 0;
  double timeScale_ = 0.0;  // 0: the step is no decimal fraction
  std::size_t lastWritten_ = static_cast<std::size_t>(-1);
};

// The points of a record of `points` points that the results file holds, in order: every
// `stepsPerRow`-th from the first, and the last.
std::vector<std::size_t> resultsRows(std::size_t points, std::size_t stepsPerRow);

// variables.csv: "column,unit,description", first `time`, then each selected variable; fields
// quoted where they need it.
void writeVariablesTable(const std::filesystem::path& file, const RunRecord& record,
                         const std::vector<std::size_t>& selected);

}  // namespace master::cli
