// The measurement settings that the window and the command-line analyser offer alike, and the
// rules that tie them together.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>

#include "analysis/frame.h"

namespace core {

// The ten computation gains, in the order of the gain list.
inline constexpr std::array<double, 10> kGains = {0.1, 0.2,  0.5,  1.0,  2.0,
                                                  5.0, 10.0, 20.0, 50.0, 100.0};

// Bins shown by each display range, from the closest zoom to the whole lower half; a range
// shows its bins in 256 columns.
inline constexpr std::array<int, 4> kPageSizes = {256, 512, 1024, 2048};

// The scroll positions reach from 0 to this bin.
inline constexpr int kScrollMaximum = 2048;

// The test-pattern parameter after a change of source or pattern.
inline constexpr std::int32_t kInitialPatternParam = 4000;

inline constexpr double kDefaultSampleRate = 44100;

// Seconds per frame: 4096 / sampleRate, or 1 for a rate of 0.
constexpr double FrameTimeOf(double sampleRate) {
  return sampleRate == 0.0 ? 1.0 : analysis::kFrameLength / sampleRate;
}

// The first bin shown for a scroll position: the position held within 0 ... 2048, then moved
// back to 2048 - pageSize when the page would reach bin 2048.
inline int ClampViewOffset(int position, int pageSize) {
  const int offset = std::clamp(position, 0, kScrollMaximum);
  return offset + pageSize >= kScrollMaximum ? kScrollMaximum - pageSize : offset;
}

} // namespace core
