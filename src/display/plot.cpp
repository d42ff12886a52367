#include "display/plot.h"

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
constexpr int kMaxBinsPerColumn = 8;

} // namespace

void DrawPlotFrame(Canvas &canvas, const Palette &palette) {
  canvas.SetPenColor(palette[kPlotFrameEntry]);
  canvas.Rectangle(kPlotFrameRect);
  canvas.SetBrushColor(kBlack);
  canvas.SetFontColor(kWhite);
  canvas.TextOut(kTitleX, kTitleY, "Spectrum data - 4096point complex FFT");
  canvas.TextOut(kBannerX, kBannerY, "Vireo " VIREO_VERSION " - real-time spectrum analyser");
}

int ColumnHeight(double level) {
  using analysis::Extended;
  // 128 - 1.4 × level at extended precision, the factor being the double nearest 1.4.
  const Extended height = Extended(128.0) - Extended(1.4) * Extended(level);
  if (height.IsNaN()) {
    return -1;
  }
  const Extended limit(1.0e6);
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

void DrawSpectrum(Canvas &canvas, const Palette &palette, const analysis::SpectrumFrame &spectrum,
                  int viewOffset, int binsPerColumn, bool decibel) {
  canvas.SetBrushColor(kPlotGrey);
  canvas.FillRect(kPlotAreaRect);

  const int z = static_cast<int>(
      std::bit_floor(static_cast<unsigned>(std::clamp(binsPerColumn, 1, kMaxBinsPerColumn))));
  const int first = std::clamp(viewOffset, 0, analysis::kFrameLength - kPlotColumns * z);

  std::array<double, kPlotColumns * kMaxBinsPerColumn> levels;
  ColumnLevels(spectrum, first, kPlotColumns, z, decibel, levels.data());
  for (int c = 0; c < kPlotColumns; ++c) {
    DrawSpectrumColumn(canvas, palette, kPlotLeft + c, ColumnHeight(levels[c]));
  }
}

} // namespace display
