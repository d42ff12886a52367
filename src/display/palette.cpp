#include "display/palette.h"

namespace display {

namespace {

constexpr Color Rgb(int red, int green, int blue) {
  return static_cast<Color>(blue) << 16 | static_cast<Color>(green) << 8 | static_cast<Color>(red);
}

} // namespace

Palette BuildPalette() {
  Palette palette;
  palette.fill(Rgb(255, 255, 255));
  for (int j = 0; j <= 47; ++j) {
    palette[j] = Rgb(0, 26 * j / 5, 159 + 2 * j);
  }
  for (int j = 48; j <= 79; ++j) {
    palette[j] = Rgb(8 * (j - 48), 255, 255 - 8 * (j - 48));
  }
  for (int j = 80; j <= 127; ++j) {
    // Green falls by a factor a hair above 5.2 per step: one lower than 255 - 5.2 * k
    // wherever that is a whole number (k = 5 gives 228, k = 10 gives 202).
    const int k = j - 80;
    palette[j] = Rgb(255, k == 0 ? 255 : 254 - 26 * k / 5, 0);
  }
  return palette;
}

} // namespace display
