#include "display/scales.h"

#include "analysis/extended.h"
#include "analysis/frame.h"
#include "display/layout.h"
#include "display/number_format.h"

#include <algorithm>

namespace display {

namespace {

constexpr int kFontPoints = 8;
constexpr int kDecibelLabels = 10;
constexpr int kPercentLabels = 11;
constexpr int kLastAxisLabel = 10;

} // namespace

std::vector<LevelLabel> LevelLabels(bool decibel) {
  std::vector<LevelLabel> labels;
  if (decibel) {
    for (int i = 0; i < kDecibelLabels; ++i) {
      labels.push_back({std::to_string(-10 * i) + "dB", 14 * i + 5, 126 - 14 * i});
    }
  } else {
    for (int i = 0; i < kPercentLabels; ++i) {
      // Entry truncate(12.7 * i) with the factor a hair below 12.7 (i = 10 takes 126, not 127);
      // row truncate((10 - i) * 12.8 + 5) with the factor a hair above 12.8.
      const int entry = std::max(0, (127 * i + 9) / 10 - 1);
      labels.push_back({std::to_string(i) + "%", (10 - i) * 128 / 10 + 5, entry});
    }
  }
  return labels;
}

void DrawLegend(Canvas &canvas, const Palette &palette, const std::vector<LevelLabel> &labels) {
  canvas.SetFontSize(kFontPoints);
  canvas.SetPenColor(kBlack);
  canvas.Rectangle(kLegendRect);
  canvas.SetBrushColor(kBlack);
  for (const LevelLabel &label : labels) {
    canvas.SetFontColor(palette[label.paletteEntry]);
    canvas.TextOut(kLevelLabelX, label.top, label.text);
  }
}

void DrawLevelScale(Canvas &canvas, const Palette &palette, bool decibel) {
  DrawLegend(canvas, palette, LevelLabels(decibel));
}

// The label values are formed at extended precision, left to right, and rounded to double once;
// 0.1 is the double nearest it.
std::string AxisLabel(int i, int binsPerColumn, int viewOffset, double frameTime) {
  using analysis::Extended;
  const double step = kPlotColumns / frameTime;
  const Extended value = Extended(i) * Extended(step) * Extended(0.1) * Extended(binsPerColumn) +
                         Extended(viewOffset) / Extended(frameTime);
  return FormatFixed(value.ToDouble(), 0);
}

std::string MaxFrequencyLabel(double frameTime) {
  using analysis::Extended;
  return FormatFixed((Extended(analysis::kFrameLength / 2) / Extended(frameTime)).ToDouble(), 0);
}

std::string FrameTimeLabel(double frameTime) {
  return FormatFixed(frameTime, 3);
}

void DrawFrequencyAxis(Canvas &canvas, const Palette &palette, int binsPerColumn, int viewOffset,
                       double frameTime) {
  canvas.SetBrushColor(kBlack);
  canvas.FillRect(kInfoPanelRect);
  canvas.FillRect(kAxisRowRect);
  canvas.SetPenColor(kWhite);
  canvas.SetFontColor(kWhite);
  canvas.SetFontSize(kFontPoints);
  for (int i = 0; i <= kLastAxisLabel; i += 2) {
    // Tick i on plot column truncate(25.6 * i), x = column + 17; its label from x = column + 8.
    const int column = kPlotColumns * i / kLastAxisLabel;
    canvas.VerticalLine(kPlotLeft + column, kTickBottom, kTickTop);
    canvas.TextOut(column + 8, kAxisLabelY, AxisLabel(i, binsPerColumn, viewOffset, frameTime));
  }
  canvas.TextOut(kAxisUnitX, kAxisLabelY, "Hz");

  canvas.TextOut(kInfoX, 152, "Max");
  canvas.TextOut(kInfoX, 160, MaxFrequencyLabel(frameTime));
  canvas.TextOut(kInfoUnitX, 168, "Hz");

  canvas.FillRect(kRawDataAreaRect);
  canvas.SetPenColor(palette[kRawStripFrameEntry]);
  canvas.Rectangle(kRawStripFrameRect);
  canvas.SetFontColor(palette[kRawTextEntry]);
  canvas.TextOut(0, 152, "Raw");
  canvas.TextOut(0, 160, "Data");
  canvas.TextOut(16, 178, "0");
  canvas.TextOut(kInfoX, 182, FrameTimeLabel(frameTime));
  canvas.TextOut(kInfoX, 190, "sec");
}

} // namespace display
