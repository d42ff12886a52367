#include "display/raw_strip.h"

#include "display/layout.h"

#include <algorithm>
#include <cmath>

namespace display {

namespace {

constexpr int kSaturation = 15;
constexpr int kSampleStep = analysis::kFrameLength / kRawColumns;

} // namespace

int RawColumnValue(float sample) {
  // sample × 16 × 4096 × 0.5 = sample × 2^15, exact in double for every float.
  const double value = static_cast<double>(sample) * 0x1p15;
  if (std::isnan(value)) {
    return 0;
  }
  return static_cast<int>(std::clamp(value, -16.0, 16.0));
}

void DrawRawColumn(Canvas &canvas, int x, int value) {
  if (value < 0) {
    canvas.VerticalLine(x, kRawCentreBelow, kRawCentreBelow - std::max(value, -kSaturation));
  } else if (value == 0) {
    canvas.SetPixel(x, kRawCentreAbove, kZeroGrey);
    canvas.SetPixel(x, kRawCentreBelow, kZeroGrey);
  } else if (value < kSaturation) {
    canvas.VerticalLine(x, kRawCentreAbove, kRawCentreBelow - value);
  } else {
    canvas.VerticalLine(x, kRawCentreAbove - kSaturation, kRawCentreAbove);
  }
}

void DrawRawStrip(Canvas &canvas, const analysis::TimeFrame &samples) {
  canvas.SetBrushColor(kBlack);
  canvas.FillRect(kRawStripRect);
  canvas.SetPenColor(kWhite);
  for (int k = 0; k < kRawColumns; ++k) {
    DrawRawColumn(canvas, kRawStripLeft + k, RawColumnValue(samples[kSampleStep * k]));
  }
}

} // namespace display
