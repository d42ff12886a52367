// The measurement settings that the window and the command-line analyser offer alike, and the
// rules that tie them together.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>

#include "analysis/frame.h"
#include "display/layout.h"

namespace core {

// Bins shown by a display range of `binsPerColumn` bins per plot column.
constexpr int PageSize(int binsPerColumn) {
  return display::kPlotColumns * binsPerColumn;
}

// The scroll positions reach from 0 to this bin, the end of the widest range.
inline constexpr int kScrollMaximum = PageSize(display::kBinsPerColumn.back());

// A fixed entry of the wave source's detail list: its rate and its text. The list ends with
// an entry for the rate typed by the user.
struct RateEntry {
  double rate;
  const char *text;
};
inline constexpr std::array<RateEntry, 3> kFixedRates = {
    {{44100, "44.1kHz-16bit"}, {22050, "22.05kHz-16bit"}, {11025, "11.025kHz-16bit"}}};

// The test-pattern parameter after a change of source or pattern.
inline constexpr std::int32_t kInitialPatternParam = 4000;

inline constexpr double kDefaultSampleRate = kFixedRates[0].rate;

// Seconds per frame: 4096 / sampleRate, or 1 for a rate of 0.
constexpr double FrameTimeOf(double sampleRate) {
  return sampleRate == 0.0 ? 1.0 : analysis::kFrameLength / sampleRate;
}

// How the picture shows a spectrum: the level scale, the bins per column (1, 2, 4 or 8), the
// first bin shown, and the frame duration in seconds that the frequency axis is labelled with.
struct View {
  bool decibel = true;
  int binsPerColumn = 1;
  int viewOffset = 0;
  double frameTime = 1.0;
};

// The view of a window just started: dB scale, 1 bin per column from bin 0, 44100 Hz.
inline constexpr View kStartUpView{true, 1, 0, FrameTimeOf(kDefaultSampleRate)};

// The first bin shown for a scroll position: the position held within 0 ... 2048, then moved
// back to 2048 - pageSize when the page would reach bin 2048.
inline int ClampViewOffset(int position, int pageSize) {
  const int offset = std::clamp(position, 0, kScrollMaximum);
  return offset + pageSize >= kScrollMaximum ? kScrollMaximum - pageSize : offset;
}

} // namespace core
