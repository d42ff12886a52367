// The strip of raw samples under the spectrum plot.
#pragma once

#include "analysis/frame.h"
#include "display/canvas.h"

namespace display {

// The strip's height in pixels for a scaled sample: truncate(sample * 16 * 4096 * 0.5).
// NaN gives 0; values beyond the strip's reach are held at +-16, which draw as saturated.
int RawColumnValue(float sample);

// One column of the strip in the current pen colour, positive values upwards from row 168,
// negative ones downwards from row 169, saturating at 15 pixels; 0 marks rows 168 and 169 grey
// and 1 draws nothing. Clears nothing.
void DrawRawColumn(Canvas &canvas, int x, int value);

// Clears the strip black and draws every 16th sample of the frame as one white column,
// x = 25 ... 280. Leaves the brush black and the pen white.
void DrawRawStrip(Canvas &canvas, const analysis::TimeFrame &samples);

} // namespace display
