// A one-line bar over the cases of a sweep on stderr, shown only on a terminal: cases done of
// all, failures so far. Other lines (a failed case) are printed above it.
#pragma once

#include <cstddef>
#include <string>

namespace master::sweep {

class CaseProgress {
 public:
  CaseProgress(std::size_t total, bool enabled);
  ~CaseProgress() { clear(); }
  CaseProgress(const CaseProgress&) = delete;
  CaseProgress& operator=(const CaseProgress&) = delete;

  void update(std::size_t done, std::size_t failed);
  // Prints a line on stderr, terminal or not, keeping the bar below it.
  void message(const std::string& line);
  void clear();

 private:
  std::size_t total_, done_ = 0, failed_ = 0;
  bool active_;
  bool onScreen_ = false;
};

}  // namespace master::sweep
