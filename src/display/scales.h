// The level legend beside the spectrum plot, and the frequency axis, info panel and raw-data
// frame below it.
#pragma once

#include "display/canvas.h"
#include "display/palette.h"

#include <string>
#include <vector>

namespace display {

// One label of the level legend: its text, the row of its top edge and its palette entry.
struct LevelLabel {
  std::string text;
  int top;
  int paletteEntry;
};

// The legend labels in drawing order: "0dB" ... "-90dB" 14 pixels apart from the top, or
// "0%" at the bottom up to "10%" at the top, each coloured with the entry of about the bar
// height it marks.
std::vector<LevelLabel> LevelLabels(bool decibel);

// Outlines the legend box with a black pen (its inside takes the brush colour left by the
// previous drawing), then writes the labels on black. Leaves the brush black.
void DrawLegend(Canvas &canvas, const Palette &palette, const std::vector<LevelLabel> &labels);

// The legend of the level scale: DrawLegend of LevelLabels.
void DrawLevelScale(Canvas &canvas, const Palette &palette, bool decibel);

// Text of axis label i (0, 2, ..., 10): the frequency in Hz of plot column 25.6 * i,
// rounded to a whole number.
std::string AxisLabel(int i, int binsPerColumn, int viewOffset, double frameTime);
// The highest displayable frequency, 2048 / frameTime Hz, rounded to a whole number.
std::string MaxFrequencyLabel(double frameTime);
// The frame duration in seconds with three decimals.
std::string FrameTimeLabel(double frameTime);

// Draws the six ticks and frequency labels, the info panel, and the raw-data area with the
// strip's frame, which erases the raw strip. Leaves the brush black.
void DrawFrequencyAxis(Canvas &canvas, const Palette &palette, int binsPerColumn, int viewOffset,
                       double frameTime);

} // namespace display
