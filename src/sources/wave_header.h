#pragma once

#include <cstdint>
#include <memory>
#include <mutex>

#include "analysis/frame.h"

namespace sources {

// One capture buffer: 16-bit mono sample memory owned by whoever created the header and lent
// to a device between queueing and its return. A device holds `lock` while it writes samples
// and ReadWaveFrame holds it while it reads them, so no sample is ever seen half-written; the
// lock is held for one delivery of samples at a time, never for a whole fill.
struct WaveHeader {
  // Zero-filled sample memory of `samples` samples.
  explicit WaveHeader(std::uint32_t samples);

  const std::unique_ptr<std::int16_t[]> data;
  const std::uint32_t bufferLength; // in samples
  mutable std::mutex lock;
};

// Converts one frame of 16-bit samples into `frame` as sample × 2^-15, the scaling of every
// captured frame: -32768 gives -1, 32767 gives 1 - 2^-15, and every value is exact.
void ScaleWaveFrame(const std::int16_t *samples, analysis::TimeFrame &frame);

// Copies the first frame of the buffer, as it stands now, into `frame` through ScaleWaveFrame.
// Does not wait for a fill to end. The buffer must hold at least one frame.
void ReadWaveFrame(const WaveHeader &header, analysis::TimeFrame &frame);

} // namespace sources
