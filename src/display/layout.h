// The fixed layout of the 320 x 240 picture: every region drawn into it and the colours used
// by value.
#pragma once

#include <array>

#include "display/canvas.h"

namespace display {

inline constexpr int kScreenWidth = 320;
inline constexpr int kScreenHeight = 240;
inline constexpr Rect kWholeSurface{0, 0, kScreenWidth, kScreenHeight};

inline constexpr Color kBlack = 0x000000;
inline constexpr Color kWhite = 0xFFFFFF;
inline constexpr Color kPlotGrey = 0x333333;
inline constexpr Color kZeroGrey = 0x777777;

// Title and banner texts (top left corners).
inline constexpr int kTitleX = 16, kTitleY = 0;
inline constexpr int kBannerX = 0, kBannerY = 192;

// Spectrum plot: the 256 x 128 plot area, the frame around it, and the rectangle copied per
// frame.
inline constexpr int kPlotColumns = 256;
inline constexpr int kPlotLeft = 17;    // x of column 0
inline constexpr int kPlotTop = 9;      // first row of a full bar
inline constexpr int kPlotBottom = 137; // just below the row that bars stand on
inline constexpr Rect kPlotAreaRect{kPlotLeft, kPlotTop, kPlotLeft + kPlotColumns, kPlotBottom};
inline constexpr Rect kPlotFrameRect{kPlotLeft - 1, kPlotTop - 1, kPlotAreaRect.right + 1,
                                     kPlotBottom + 1};
inline constexpr Rect kSpectrumCopyRect{kPlotLeft - 1, kPlotTop - 1, kPlotAreaRect.right,
                                        kPlotBottom};

// Bins per plot column of the display ranges, from the closest zoom to the whole lower half.
inline constexpr std::array<int, 4> kBinsPerColumn = {1, 2, 4, 8};

// Level legend.
inline constexpr Rect kLegendRect{274, 4, 319, 138};
inline constexpr int kLevelLabelX = 275;

// Frequency axis: ticks from row 138 up to the plot frame's bottom border, labels below.
inline constexpr int kTickTop = 136; // the tick line ends just below this row
inline constexpr int kTickBottom = 138;
inline constexpr Rect kAxisRowRect{0, 140, 319, 148};
inline constexpr int kAxisLabelY = 140;
inline constexpr int kAxisUnitX = 298;

// Info panel: highest frequency and frame duration.
inline constexpr Rect kInfoPanelRect{283, 152, 319, 196};
inline constexpr int kInfoX = 283;
inline constexpr int kInfoUnitX = 310;

// Raw-data area. The strip holds 256 columns at x = 25 ... 280, so the strip that is cleared
// and copied per frame reaches x = 280, and its frame's right border lies at x = 281, left of
// the info panel (x >= 283).
inline constexpr Rect kRawDataAreaRect{0, 152, 282, 185};
inline constexpr Rect kRawStripFrameRect{24, 152, 282, 185};
inline constexpr Rect kRawStripRect{25, 153, 281, 184};
inline constexpr int kRawStripLeft = 25;
inline constexpr int kRawColumns = 256;
inline constexpr int kRawCentreAbove = 168; // last row of the upper half
inline constexpr int kRawCentreBelow = 169; // first row of the lower half

// Palette entries used for frames and texts.
inline constexpr int kPlotFrameEntry = 1;
inline constexpr int kRawStripFrameEntry = 93;
inline constexpr int kRawTextEntry = 255;

} // namespace display
