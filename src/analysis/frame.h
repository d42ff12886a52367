#pragma once

// The fixed frame size shared by every source, the transform and the display.

#include <array>

namespace analysis {

inline constexpr int kFrameLength = 4096;

// One frame of samples.
using TimeFrame = std::array<float, kFrameLength>;

// One spectrum: interleaved (re, im) per bin, bin k at positions 2k and 2k + 1.
using SpectrumFrame = std::array<float, 2 * kFrameLength>;

} // namespace analysis
