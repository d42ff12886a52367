// Live capture for vireo-analyse: the audio server's default source through the window's
// wave-input layer, frame after frame.
#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>

#include "analysis/frame.h"
#include "sources/wave_in.h"

namespace cli {

// Two 4096-sample buffers take turns: while one is analysed the device fills the other, so
// consecutive frames follow each other without a gap.
class Capture {
public:
  // Opens the default source, mono 16-bit, at the whole number of samples per second of
  // `sampleRate`, as the window does; on failure `error` says why.
  static std::unique_ptr<Capture> Open(double sampleRate, std::string &error);
  ~Capture();

  // Waits for the next full buffer and scales it into `frame` as the window does. False when
  // `stop` becomes true (looked at ten times a second) or the capture ends; then `error` is
  // empty or says why.
  bool NextFrame(analysis::TimeFrame &frame, const std::atomic<bool> &stop, std::string &error);

private:
  Capture() = default;

  std::mutex mutex_;
  std::condition_variable filled_;
  std::deque<sources::WaveHeader *> full_;
  sources::WaveResult failure_ = 0;
  sources::WaveHeader buffers_[2]{sources::WaveHeader(analysis::kFrameLength),
                                  sources::WaveHeader(analysis::kFrameLength)};
  // Last, so that it closes before the buffers and the lock go.
  std::unique_ptr<sources::WaveIn> device_;
};

} // namespace cli
