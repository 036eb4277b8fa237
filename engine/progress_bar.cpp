#include "engine/progress_bar.h"

#include <unistd.h>

#include <cstdio>

namespace master {

ProgressBar::ProgressBar(std::int64_t total, bool enabled)
    : total_(total > 0 ? total : 1), active_(enabled && isatty(STDERR_FILENO) == 1) {}

ProgressBar::~ProgressBar() { clear(); }

void ProgressBar::draw(std::int64_t done, double simulatedTime) {
  constexpr int width = 40;
  shown_ = done * 100 / total_;
  const int filled = static_cast<int>(done * width / total_);
  char bar[width + 1];
  for (int i = 0; i < width; ++i) bar[i] = i < filled ? '#' : '.';
  bar[width] = '\0';
  std::fprintf(stderr, "\r[%s] %3d%%  t = %.0f s", bar, static_cast<int>(shown_), simulatedTime);
  std::fflush(stderr);
  onScreen_ = true;
}

void ProgressBar::clear() {
  if (!onScreen_) return;
  std::fprintf(stderr, "\r\033[K");
  std::fflush(stderr);
  onScreen_ = false;
  shown_ = -1;
}

}  // namespace master
