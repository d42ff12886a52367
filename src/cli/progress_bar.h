// One bar on standard error for a whole command: its files and frames.
#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>

namespace cli {

// Redraws itself in place through std::cerr, at most ten times a second, and only on a
// terminal. Thread-safe.
class ProgressBar {
public:
  // `frames` is the number expected in all (0 when unknown).
  ProgressBar(bool wanted, std::int64_t files, std::int64_t frames);
  ~ProgressBar() { End(); }

  void FrameDone();
  void FileDone();
  // Ends the bar's line, so that what follows starts on a line of its own.
  void End();

private:
  void Show(bool now);

  std::mutex mutex_;
  bool shown_;
  bool drawn_ = false;
  std::int64_t files_;
  std::int64_t frames_;
  std::int64_t filesDone_ = 0;
  std::int64_t framesDone_ = 0;
  std::chrono::steady_clock::time_point last_{};
};

} // namespace cli
