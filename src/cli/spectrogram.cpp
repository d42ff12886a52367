#include "cli/spectrogram.h"

#include <cstring>

#include "display/canvas.h"
#include "display/layout.h"
#include "display/number_format.h"
#include "display/palette.h"
#include "display/plot.h"

namespace cli {

namespace {

// Colour-table entry of the plot's background, after the 128 bar colours.
constexpr std::uint8_t kBackgroundEntry = 128;

// Room for the axes: frequency labels on the left, time labels below.
constexpr int kLabelWidth = 64;
constexpr int kLabelHeight = 14;
constexpr int kTickLength = 3;
constexpr int kRowsPerLabel = 64;
constexpr int kColumnsPerLabel = 100;

QRgb ToRgb(display::Color color) {
  return qRgb(static_cast<int>(color & 0xFF), static_cast<int>((color >> 8) & 0xFF),
              static_cast<int>((color >> 16) & 0xFF));
}

// Labels and ticks around a picture of `columns` × `rows` pixels whose top left corner lies at
// (kLabelWidth, 0).
void DrawAxes(display::Canvas &canvas, int columns, int rows, double rowHz,
              const SpectrogramScale &scale, double firstHz) {
  canvas.SetBrushColor(display::kBlack);
  canvas.SetFontColor(display::kWhite);
  canvas.SetPenColor(display::kWhite);
  for (int row = 0; row < rows; row += kRowsPerLabel) {
    const int y = rows - 1 - row;
    canvas.FillRect({kLabelWidth - kTickLength, y, kLabelWidth, y + 1});
    canvas.TextOut(0, std::max(0, y - 4), display::FormatFixed(firstHz + row * rowHz, 0) + " Hz");
  }
  const double frameSeconds = scale.sampleRate > 0 ? scale.hop / scale.sampleRate : 0;
  const double startSeconds = scale.sampleRate > 0 ? scale.start / scale.sampleRate : 0;
  for (int column = 0; column < columns; column += kColumnsPerLabel) {
    const int x = kLabelWidth + column;
    canvas.VerticalLine(x, rows, rows + kTickLength);
    canvas.TextOut(x, rows + kTickLength,
                   display::FormatFixed(startSeconds + column * frameSeconds, 1) + " s");
  }
}

} // namespace

Spectrogram::Spectrogram(int first, int rows, int binsPerColumn)
    : first_(first), rows_(rows), binsPerColumn_(binsPerColumn),
      levels_(static_cast<std::size_t>(rows) * binsPerColumn) {}

void Spectrogram::AddColumn(const Measurement &measurement) {
  measurement.RowLevels(first_, rows_, binsPerColumn_, levels_.data());
  for (int row = 0; row < rows_; ++row) {
    const int h = display::ColumnHeight(levels_[row]);
    // A bar of no height leaves the plot's background.
    entries_.push_back(h > 0 ? static_cast<std::uint8_t>(display::BarEntry(h)) : kBackgroundEntry);
  }
}

QImage Spectrogram::Picture(const SpectrogramScale *scale) const {
  const int columns = static_cast<int>(entries_.size() / rows_);
  const display::Palette palette = display::BuildPalette();
  QList<QRgb> colors;
  for (int entry = 0; entry < kBackgroundEntry; ++entry) {
    colors.push_back(ToRgb(palette[entry]));
  }
  colors.push_back(ToRgb(display::kPlotGrey));

  QImage picture(columns, rows_, QImage::Format_Indexed8);
  picture.setColorTable(colors);
  for (int y = 0; y < rows_; ++y) {
    uchar *const line = picture.scanLine(y);
    const std::uint8_t *entry = &entries_[rows_ - 1 - y];
    for (int x = 0; x < columns; ++x, entry += rows_) {
      line[x] = *entry;
    }
  }
  if (scale == nullptr) {
    return picture;
  }
  display::Canvas canvas(kLabelWidth + columns, rows_ + kLabelHeight);
  const double binHz = scale->sampleRate / analysis::kFrameLength;
  DrawAxes(canvas, columns, rows_, binHz * binsPerColumn_, *scale, binHz * first_);
  QImage labelled = canvas.Image().copy();
  const QImage rgb = picture.convertToFormat(QImage::Format_RGB888);
  for (int y = 0; y < rows_; ++y) {
    std::memcpy(labelled.scanLine(y) + 3 * kLabelWidth, rgb.constScanLine(y),
                static_cast<std::size_t>(3) * columns);
  }
  return labelled;
}

} // namespace cli
