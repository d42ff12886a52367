#pragma once

// The scaling step of a frame pass: gain, the factor 2/4096 and the optional sine window.

#include <array>

#include "analysis/frame.h"

namespace analysis {

// A computation gain and its text in the gain list.
struct GainEntry {
  double value;
  const char *text;
};

// The ten computation gains that the front ends offer, in the order of the gain list, and the
// one chosen at start-up. The exactness tests of the frame pass cover each of them.
inline constexpr std::array<GainEntry, 10> kGains = {{{0.1, "0.1"},
                                                      {0.2, "0.2"},
                                                      {0.5, "0.5"},
                                                      {1.0, "1.0"},
                                                      {2.0, "2"},
                                                      {5.0, "5"},
                                                      {10.0, "10"},
                                                      {20.0, "20"},
                                                      {50.0, "50"},
                                                      {100.0, "100"}}};
inline constexpr int kDefaultGainIndex = 3;

// Replaces every sample x[i], i ascending, by x[i] × gain × 2 × 2^-12, or with `window` by
// sin(i × π × 2^-12) × (x[i] × gain × 2 × 2^-12): a half-period sine that is 0 at sample 0 and
// exactly 1 at sample 2048. Formed at extended precision and rounded once to float. Scaling a
// frame again scales the already scaled values (at gain 1 it shrinks by 2048 per pass).
void ScaleFrame(TimeFrame &data, double gain, bool window);

} // namespace analysis
