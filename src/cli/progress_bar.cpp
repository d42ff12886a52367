#include "cli/progress_bar.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <string>

namespace cli {

namespace {

// Fewer frames than this finish too soon for a progress bar to help.
constexpr std::int64_t kProgressMinimumFrames = 8;
constexpr int kProgressWidth = 40;
constexpr std::chrono::milliseconds kRedrawInterval(100);

} // namespace

ProgressBar::ProgressBar(bool wanted, std::int64_t files, std::int64_t frames)
    : shown_(wanted && (files > 1 || frames >= kProgressMinimumFrames) && isatty(STDERR_FILENO)),
      files_(files), frames_(frames) {}

void ProgressBar::FrameDone() {
  const std::lock_guard guard(mutex_);
  ++framesDone_;
  Show(false);
}

void ProgressBar::FileDone() {
  const std::lock_guard guard(mutex_);
  ++filesDone_;
  Show(true);
}

void ProgressBar::End() {
  const std::lock_guard guard(mutex_);
  if (drawn_) {
    std::cerr << '\n';
    drawn_ = false;
  }
}

void ProgressBar::Show(bool now) {
  const auto time = std::chrono::steady_clock::now();
  if (!shown_ || (!now && time - last_ < kRedrawInterval)) {
    return;
  }
  last_ = time;
  drawn_ = true;
  const double done = frames_ > 0 ? static_cast<double>(framesDone_) / frames_
                                  : static_cast<double>(filesDone_) / files_;
  const int filled = std::clamp(static_cast<int>(done * kProgressWidth), 0, kProgressWidth);
  std::string frames = std::to_string(framesDone_);
  if (frames_ > 0) {
    frames += '/' + std::to_string(frames_);
  }
  // The noun agrees with the number it follows: "1/1 file", "1 frame", "1/2 frames".
  const auto noun = [](std::int64_t count, const char *word) {
    return std::string(" ") + word + (count == 1 ? "" : "s");
  };
  std::cerr << "\r[" << std::string(filled, '#') << std::string(kProgressWidth - filled, ' ')
            << "] " << filesDone_ << '/' << files_ << noun(files_, "file") << ", " << frames
            << noun(frames_ > 0 ? frames_ : framesDone_, "frame") << std::flush;
}

} // namespace cli
