#include "master/results_observer.h"

namespace master {

void ResultsObserver::start(const RunRecord& record) {
  std::vector<std::string> names = {"time"};
  for (const RecordedVariable& v : record.variables) names.push_back(v.component + "." + v.name);
  csv_ = std::make_unique<CsvWriter>(file_, names);
  row_.assign(names.size(), 0.0);
}

std::string ResultsObserver::check(const RunRecord& record, std::size_t point) {
  row_[0] = record.time[point];
  for (std::size_t i = 0; i < record.columns.size(); ++i) row_[i + 1] = record.columns[i][point];
  csv_->writeRow(row_.data(), row_.size());
  return {};
}

void ResultsObserver::close() {
  if (csv_) csv_->close();
}

}  // namespace master
