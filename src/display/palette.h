// The 256-entry colour table of the plots and labels.
#pragma once

#include "display/canvas.h"

#include <array>

namespace display {

using Palette = std::array<Color, 256>;

// Entries 0-127 run from dark blue (0) through cyan (48) and yellow (80) to red (127);
// entries 128-255 are white.
Palette BuildPalette();

} // namespace display
