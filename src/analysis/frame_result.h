#pragma once

// What one frame pass produces, once, for every reader: the picture, the cursor readout, the
// export text, peak lines, tables, spectrograms and statistics read it and work out no level of
// their own.

#include <array>

#include "analysis/frame.h"

namespace analysis {

// A value per bin 0 … 4095.
using BinValues = std::array<double, kFrameLength>;

struct FrameResult {
  // The frame: a source fills it, the pass scales it in place (gain, window).
  alignas(64) TimeFrame samples{};
  // Its transform.
  alignas(64) SpectrumFrame spectrum{};
  // Each bin's power RN53(RN64(re² + im²)) and its BinLevel in the scale `decibel`, for the bins
  // 0 … measured - 1; the others are not measured (yet).
  alignas(64) BinValues powers{};
  alignas(64) BinValues levels{};
  bool decibel = true;
  int measured = 0;
};

// Has the bins 0 … bins - 1 of result.spectrum measured in the scale `decibel` by the vector
// level driver (BinLevels): those not measured yet, or all of them when the levels are in the
// other scale. A bin is measured once per spectrum and scale; set `measured` to 0 when the
// spectrum changes.
void MeasureBins(FrameResult &result, bool decibel, int bins);

} // namespace analysis
