// Pixel queries shared by the display tests.
#pragma once

#include "display/canvas.h"

#include <vector>

namespace display::testing {

// Whether every pixel of the rectangle has the colour.
inline bool AllPixels(const Canvas &canvas, Rect rect, Color color) {
  for (int y = rect.top; y < rect.bottom; ++y) {
    for (int x = rect.left; x < rect.right; ++x) {
      if (canvas.Pixel(x, y) != color) {
        return false;
      }
    }
  }
  return true;
}

// Whether some pixel of the rectangle has the colour.
inline bool AnyPixel(const Canvas &canvas, Rect rect, Color color) {
  for (int y = rect.top; y < rect.bottom; ++y) {
    for (int x = rect.left; x < rect.right; ++x) {
      if (canvas.Pixel(x, y) == color) {
        return true;
      }
    }
  }
  return false;
}

// The rows of column x whose pixel has the colour, top to bottom.
inline std::vector<int> RowsOf(const Canvas &canvas, int x, Color color) {
  std::vector<int> rows;
  for (int y = 0; y < canvas.Height(); ++y) {
    if (canvas.Pixel(x, y) == color) {
      rows.push_back(y);
    }
  }
  return rows;
}

// The rows first ... last.
inline std::vector<int> Span(int first, int last) {
  std::vector<int> rows;
  for (int y = first; y <= last; ++y) {
    rows.push_back(y);
  }
  return rows;
}

} // namespace display::testing
