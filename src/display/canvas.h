// The off-screen 24-bit picture and its drawing state.
#pragma once

#include <QImage>

#include <cstdint>
#include <string_view>

namespace display {

// A colour in the form 0x00BBGGRR: red in the lowest byte, blue in the third, top byte 0.
using Color = std::uint32_t;

// The colour as Qt gives it, opaque.
inline QRgb ToRgb(Color color) {
  return qRgb(static_cast<int>(color & 0xFF), static_cast<int>((color >> 8) & 0xFF),
              static_cast<int>((color >> 16) & 0xFF));
}

// A rectangle given by its edges; right and bottom lie just outside it.
struct Rect {
  int left, top, right, bottom;
};

// A 24-bit surface with a pen, a brush and a font whose colours and size persist between
// calls. Every operation clips to the surface. The ruled shapes (fills, outlines, vertical
// lines, pixels) are drawn pixel by pixel with exact rules; only text goes through QPainter.
//
// Text face: "DejaVu Sans" (package fonts-dejavu-core) with full hinting and no antialiasing,
// so glyphs are drawn in the exact font colour and the picture is the same on every run. The
// size in points is converted at 96 dpi and truncated: 8 points give 10 pixels, where capitals
// and digits are 7 rows tall. A text cell reaches from the top of the tallest letter (the
// font's internal leading above it is left out) down to the font's descent, 10 rows at
// 8 points with capitals and digits on rows 1-7, so that texts stacked 8 rows apart lose only
// descenders to the next line. The image's resolution is set to 96 dpi as well.
class Canvas {
public:
  // A surface of the given size, entirely black, with a black brush and font size 8.
  // Pen and font colour start black.
  Canvas(int width, int height);

  int Width() const { return image_.width(); }
  int Height() const { return image_.height(); }

  void SetPenColor(Color color) { pen_ = color; }
  void SetBrushColor(Color color) { brush_ = color; }
  void SetFontColor(Color color) { font_ = color; }
  void SetFontSize(int points) { fontSize_ = points; }
  Color PenColor() const { return pen_; }
  Color BrushColor() const { return brush_; }
  Color FontColor() const { return font_; }
  int FontSize() const { return fontSize_; }

  // Every pixel with left <= x < right and top <= y < bottom takes the brush colour.
  void FillRect(Rect rect);
  // Border on columns left and right - 1 and rows top and bottom - 1 in the pen colour, the
  // pixels inside it in the brush colour. An empty rectangle draws nothing.
  void Rectangle(Rect rect);
  // Pen-coloured pixels from (x, y0) towards (x, y1), the end point excluded; y1 may lie
  // above or below y0, and y0 == y1 draws nothing.
  void VerticalLine(int x, int y0, int y1);
  // One pixel in the given colour; the pen is unchanged.
  void SetPixel(int x, int y, Color color);
  // The text's cell, one line high and as wide as the text advances, with its top left corner
  // at (x, y): filled with the brush colour, glyphs in the font colour. Latin-1 text; a later
  // text or fill overwrites an earlier one where they overlap.
  void TextOut(int x, int y, std::string_view text);
  // The width of the cell that TextOut fills for `text` in the current font size.
  int TextWidth(std::string_view text) const;

  // The colour of a pixel on the surface (0 outside it).
  Color Pixel(int x, int y) const;
  const QImage &Image() const { return image_; }

private:
  bool Contains(int x, int y) const { return x >= 0 && y >= 0 && x < Width() && y < Height(); }
  // `count` pixels from (x, y) rightwards, or downwards with `down`; all inside the surface.
  void PutRun(int x, int y, int count, bool down, Color color);

  QImage image_;
  Color pen_ = 0;
  Color brush_ = 0;
  Color font_ = 0;
  int fontSize_ = 8;
};

} // namespace display
