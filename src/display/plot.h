// The plot frame with its title and banner, and the spectrum bars inside it.
#pragma once

#include <array>

#include "analysis/frame_result.h"
#include "display/canvas.h"
#include "display/layout.h"
#include "display/palette.h"

namespace display {

// Outlines the plot frame in palette entry 1 (its inside takes the brush colour left by the
// previous drawing), then writes the title and the banner line white on black. Leaves the
// brush black and the font white.
void DrawPlotFrame(Canvas &canvas, const Palette &palette);

// Bar height truncate(128 - 1.4 * level): 128 for level 0, -1270 for the zero-power level 999.
// Never overflows: a NaN level gives -1 (no bar), huge levels are held within +-10^6.
int ColumnHeight(double level);

// The ColumnHeight of each of `count` levels, on the lanes of the arithmetic path.
void HeightsOfLevels(const double *levels, int count, int *heights);

// The palette entry of a bar of height h >= 0: h up to 126, 127 (the full bar) from 127 on.
int BarEntry(int h);

// One bar of height h standing on row 136 at column x: nothing for h < 0, h pixels in
// palette[h] for 0 <= h <= 126, the full 128 pixels in palette[127] for h >= 127.
// Sets the pen colour when it draws.
void DrawSpectrumColumn(Canvas &canvas, const Palette &palette, int x, int h);

// The levels of `columns` columns of `binsPerColumn` (1, 2, 4 or 8) bins each from bin `first`
// on: each the strongest of its bins' levels `binLevels`, folded with StrongerOf as a balanced
// tree of pairs. `levels` holds columns × binsPerColumn values; the columns' levels end up in its
// first `columns` entries. The bins must lie within the spectrum.
void ColumnLevels(const analysis::BinValues &binLevels, int first, int columns, int binsPerColumn,
                  double *levels);

// One past the last bin that SpectrumHeights reads for this view.
int ShownBinsEnd(int viewOffset, int binsPerColumn);

// The bar heights of the 256 plot columns for the bins viewOffset ... viewOffset + 256 *
// binsPerColumn - 1 of a frame's levels: each column's ColumnHeight of the strongest of its
// binsPerColumn bins. binsPerColumn is 1, 2, 4 or 8 (other values are brought to the nearest of
// these below, at least 1); viewOffset is held within the spectrum, so no bin past 4095 is read.
using ColumnHeights = std::array<int, kPlotColumns>;
ColumnHeights SpectrumHeights(const analysis::BinValues &binLevels, int viewOffset,
                              int binsPerColumn);

// Fills the plot area grey (the brush stays grey) and draws the bar of each column.
void DrawSpectrumColumns(Canvas &canvas, const Palette &palette, const ColumnHeights &heights);

// The spectrum plot: the bars of SpectrumHeights drawn by DrawSpectrumColumns.
void DrawSpectrum(Canvas &canvas, const Palette &palette, const analysis::BinValues &binLevels,
                  int viewOffset, int binsPerColumn);

} // namespace display
