// The results table as a run observer: `time`, then `component.variable` for every output in
// the record, one row per communication point, written as the point is recorded.
#pragma once

#include <filesystem>
#include <memory>

#include "master/csv_writer.h"
#include "master/run_record.h"

namespace master {

class ResultsObserver : public RunObserver {
 public:
  explicit ResultsObserver(std::filesystem::path file) : file_(std::move(file)) {}
  void start(const RunRecord& record) override;
  std::string check(const RunRecord& record, std::size_t point) override;
  // Flushes and closes; throws MasterError when the file could not be written completely.
  void close();

 private:
  std::filesystem::path file_;
  std::unique_ptr<CsvWriter> csv_;
  std::vector<double> row_;
};

}  // namespace master
