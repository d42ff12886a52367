#include "display/canvas.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QString>

#include <algorithm>
#include <cstring>
#include <utility>

namespace display {

namespace {

constexpr int kDotsPerMeterAt96Dpi = 3780; // 96 / 0.0254, rounded

// Letters, digits and the percent sign: the tallest of these sets the top of every text cell.
constexpr char kCellGlyphs[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789%";

QFont TextFont(int points) {
  QFont font(QStringLiteral("DejaVu Sans"));
  // Point size to pixel size at 96 dpi, truncated to whole pixels (8 points give 10 pixels).
  font.setPixelSize(std::max(1, (points * 96) / 72));
  font.setHintingPreference(QFont::PreferFullHinting);
  font.setStyleStrategy(QFont::NoAntialias);
  return font;
}

QString Latin1(std::string_view text) {
  return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace

Canvas::Canvas(int width, int height)
    : image_(std::max(width, 0), std::max(height, 0), QImage::Format_RGB888) {
  image_.setDotsPerMeterX(kDotsPerMeterAt96Dpi);
  image_.setDotsPerMeterY(kDotsPerMeterAt96Dpi);
  FillRect({0, 0, Width(), Height()});
}

void Canvas::PutRun(int x, int y, int count, bool down, Color color) {
  // One detach check for the whole run, then plain pointer steps along the column, or along the
  // row one pixel followed by copies of what is already filled, doubling each time.
  uchar *const first = image_.scanLine(y) + 3 * x;
  const uchar bytes[3] = {static_cast<uchar>(color & 0xFF), static_cast<uchar>((color >> 8) & 0xFF),
                          static_cast<uchar>((color >> 16) & 0xFF)};
  if (down) {
    const qsizetype step = image_.bytesPerLine();
    for (uchar *pixel = first; pixel < first + count * step; pixel += step) {
      std::memcpy(pixel, bytes, 3);
    }
    return;
  }
  const qsizetype total = 3 * static_cast<qsizetype>(count);
  std::memcpy(first, bytes, 3);
  for (qsizetype filled = 3; filled < total; filled *= 2) {
    std::memcpy(first + filled, first, static_cast<std::size_t>(std::min(filled, total - filled)));
  }
}

void Canvas::FillRect(Rect rect) {
  const int left = std::max(rect.left, 0);
  const int right = std::min(rect.right, Width());
  const int top = std::max(rect.top, 0);
  const int bottom = std::min(rect.bottom, Height());
  if (left >= right || top >= bottom) {
    return;
  }
  // The first row as a run (which detaches the image), the others copied from it.
  PutRun(left, top, right - left, false, brush_);
  const qsizetype step = image_.bytesPerLine();
  uchar *const row = image_.bits() + top * step + 3 * left;
  for (uchar *to = row + step; to < row + (bottom - top) * step; to += step) {
    std::memcpy(to, row, 3 * static_cast<std::size_t>(right - left));
  }
}

void Canvas::Rectangle(Rect rect) {
  // The whole rectangle in the pen colour, then the inside in the brush colour; an empty
  // rectangle has neither.
  const Color brush = std::exchange(brush_, pen_);
  FillRect(rect);
  brush_ = brush;
  FillRect({rect.left + 1, rect.top + 1, rect.right - 1, rect.bottom - 1});
}

void Canvas::VerticalLine(int x, int y0, int y1) {
  if (x < 0 || x >= Width()) {
    return;
  }
  // Pixels y0 .. y1 - 1 going down, or y1 + 1 .. y0 going up.
  const int first = std::max(y0 <= y1 ? y0 : y1 + 1, 0);
  const int last = std::min(y0 <= y1 ? y1 - 1 : y0, Height() - 1);
  if (first <= last) {
    PutRun(x, first, last - first + 1, true, pen_);
  }
}

void Canvas::SetPixel(int x, int y, Color color) {
  if (Contains(x, y)) {
    PutRun(x, y, 1, false, color);
  }
}

void Canvas::TextOut(int x, int y, std::string_view text) {
  const QFont font = TextFont(fontSize_);
  const QFontMetrics metrics(font);
  const QString string = Latin1(text);
  // The cell starts at the top of the tallest glyph rather than at the font's ascent, so that
  // lines 8 pixels apart (the raw-data and info texts) overwrite no more of each other than
  // descenders.
  const int aboveBaseline = -metrics.tightBoundingRect(QString::fromLatin1(kCellGlyphs)).top();
  FillRect({x, y, x + metrics.horizontalAdvance(string), y + aboveBaseline + metrics.descent()});
  QPainter painter(&image_);
  painter.setFont(font);
  painter.setPen(QColor(ToRgb(font_)));
  painter.setBackgroundMode(Qt::TransparentMode);
  painter.drawText(x, y + aboveBaseline, string);
}

int Canvas::TextWidth(std::string_view text) const {
  return QFontMetrics(TextFont(fontSize_)).horizontalAdvance(Latin1(text));
}

Color Canvas::Pixel(int x, int y) const {
  if (!Contains(x, y)) {
    return 0;
  }
  const uchar *pixel = image_.constScanLine(y) + 3 * x;
  return static_cast<Color>(pixel[0]) | static_cast<Color>(pixel[1]) << 8 |
         static_cast<Color>(pixel[2]) << 16;
}

} // namespace display
