#include "display/plot.h"

#include "analysis/exact_double.h"
#include "analysis/extended.h"
#include "analysis/level.h"
#include "display/layout.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>

namespace display {

namespace {

constexpr int kFullBar = 127; // from this height on a bar fills the whole plot height
constexpr int kMaxBinsPerColumn = kBinsPerColumn.back();
constexpr double kBarScale = 1.4; // pixels per level unit
constexpr int kHeightLimit = 1000000;

} // namespace

void DrawPlotFrame(Canvas &canvas, const Palette &palette) {
  canvas.SetPenColor(palette[kPlotFrameEntry]);
  canvas.Rectangle(kPlotFrameRect);
  canvas.SetBrushColor(kBlack);
  canvas.SetFontColor(kWhite);
  canvas.TextOut(kTitleX, kTitleY, "Spectrum data - 4096point complex FFT");
  canvas.TextOut(kBannerX, kBannerY, "Vireo " VIREO_VERSION " - real-time spectrum analyser");
}

// truncate(128 - 1.4 × level), the product and the difference each rounded to 64 bits, 1.4 being
// the double nearest it. In double: 1.4 × level = ph + pl exactly (error-free product) and
// 128 - ph = s + e exactly (TwoSum), so y = 128 - 1.4 × level is s + (e - pl) to within
// (|ph| + |s|) × 2^-105. The two 64-bit roundings move y by less than (|ph| + |s|) × 2^-63, and
// truncation jumps only at non-zero integers: with n the integer nearest s (exact as s - n) and
// d = (s - n) + (e - pl), the height is n, n - 1 or n + 1 by the sign of d once |d| clears
// (|ph| + |s|) × 2^-62, and n when n is 0 (then |y| < 1). Otherwise, and for levels beyond every
// bar, infinite or NaN, the extended computation decides.
int ColumnHeight(double level) {
  const double ph = kBarScale * level;
  const double pl = std::fma(kBarScale, level, -ph);
  const auto [s, e] = analysis::exact::TwoSum(128.0, -ph);
  if (std::fabs(s) <= 2.0 * kHeightLimit) {
    const double n = std::nearbyint(s);
    const double d = (s - n) + (e - pl);
    if (n == 0 || std::fabs(d) > (std::fabs(ph) + std::fabs(s)) * 0x1p-62) {
      const double h = n > 0 && d < 0 ? n - 1 : n < 0 && d > 0 ? n + 1 : n;
      return std::clamp(static_cast<int>(h), -kHeightLimit, kHeightLimit);
    }
  }
  using analysis::Extended;
  const Extended height = Extended(128.0) - Extended(kBarScale) * Extended(level);
  if (height.IsNaN()) {
    return -1;
  }
  const Extended limit(kHeightLimit);
  return static_cast<int>(std::clamp(height, -limit, limit).Truncate());
}

int BarEntry(int h) {
  return std::min(h, kFullBar);
}

void DrawSpectrumColumn(Canvas &canvas, const Palette &palette, int x, int h) {
  if (h < 0) {
    return;
  }
  canvas.SetPenColor(palette[BarEntry(h)]);
  canvas.VerticalLine(x, h >= kFullBar ? kPlotTop : kPlotBottom - h, kPlotBottom);
}

void ColumnLevels(const analysis::SpectrumFrame &spectrum, int first, int columns,
                  int binsPerColumn, bool decibel, double *levels) {
  analysis::BinLevels(spectrum, first, columns * binsPerColumn, decibel, levels);
  // Column c's result goes to entry c, which no later column reads.
  for (int c = 0; c < columns; ++c) {
    double *const column = &levels[binsPerColumn * c];
    // Balanced tree of pairs: (0,1) (2,3) ... first, then the pairs of those results.
    for (int width = binsPerColumn; width > 1; width /= 2) {
      for (int i = 0; i < width / 2; ++i) {
        column[i] = analysis::StrongerOf(column[2 * i], column[2 * i + 1]);
      }
    }
    levels[c] = column[0];
  }
}

ColumnHeights SpectrumHeights(const analysis::SpectrumFrame &spectrum, int viewOffset,
                              int binsPerColumn, bool decibel) {
  const int z = static_cast<int>(
      std::bit_floor(static_cast<unsigned>(std::clamp(binsPerColumn, 1, kMaxBinsPerColumn))));
  const int first = std::clamp(viewOffset, 0, analysis::kFrameLength - kPlotColumns * z);

  std::array<double, kPlotColumns * kMaxBinsPerColumn> levels;
  ColumnLevels(spectrum, first, kPlotColumns, z, decibel, levels.data());
  ColumnHeights heights;
  std::transform(levels.begin(), levels.begin() + kPlotColumns, heights.begin(), ColumnHeight);
  return heights;
}

void DrawSpectrumColumns(Canvas &canvas, const Palette &palette, const ColumnHeights &heights) {
  canvas.SetBrushColor(kPlotGrey);
  canvas.FillRect(kPlotAreaRect);
  for (int c = 0; c < kPlotColumns; ++c) {
    DrawSpectrumColumn(canvas, palette, kPlotLeft + c, heights[c]);
  }
}

void DrawSpectrum(Canvas &canvas, const Palette &palette, const analysis::SpectrumFrame &spectrum,
                  int viewOffset, int binsPerColumn, bool decibel) {
  DrawSpectrumColumns(canvas, palette,
                      SpectrumHeights(spectrum, viewOffset, binsPerColumn, decibel));
}

} // namespace display
