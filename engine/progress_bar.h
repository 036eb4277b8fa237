// A one-line progress bar on stderr, shown only when stderr is a terminal. It redraws only
// when the shown percentage changes, so a call per communication step costs a comparison.
#pragma once

#include <cstdint>

namespace master {

class ProgressBar {
 public:
  // `total` steps; `enabled` false (or stderr not a terminal) makes every call do nothing.
  ProgressBar(std::int64_t total, bool enabled);
  ~ProgressBar();

  bool active() const { return active_; }
  void update(std::int64_t done, double simulatedTime) {
    if (active_ && done * 100 / total_ != shown_) draw(done, simulatedTime);
  }
  // Removes the bar from the screen (before other output, and at the end).
  void clear();

 private:
  void draw(std::int64_t done, double simulatedTime);

  std::int64_t total_;
  std::int64_t shown_ = -1;
  bool active_;
  bool onScreen_ = false;
};

}  // namespace master
