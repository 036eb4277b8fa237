#include "app/sweep/case_progress.h"

#include <unistd.h>

#include <cstdio>

namespace master::sweep {

CaseProgress::CaseProgress(std::size_t total, bool enabled)
    : total_(total), active_(enabled && total > 0 && isatty(STDERR_FILENO) == 1) {
  update(0, 0);
}

void CaseProgress::update(std::size_t done, std::size_t failed) {
  done_ = done;
  failed_ = failed;
  if (!active_) return;
  constexpr std::size_t width = 40;
  const std::size_t filled = done * width / total_;
  std::string bar(width, '.');
  bar.replace(0, filled, filled, '#');
  std::fprintf(stderr, "\r\033[K[%s] %zu/%zu cases", bar.c_str(), done, total_);
  if (failed > 0) std::fprintf(stderr, ", %zu failed", failed);
  std::fflush(stderr);
  onScreen_ = true;
}

void CaseProgress::message(const std::string& line) {
  clear();
  std::fprintf(stderr, "%s\n", line.c_str());
  update(done_, failed_);
}

void CaseProgress::clear() {
  if (!onScreen_) return;
  std::fprintf(stderr, "\r\033[K");
  std::fflush(stderr);
  onScreen_ = false;
}

}  // namespace master::sweep
