#include "cli/sonogram.h"

#include <algorithm>

#include "display/canvas.h"
#include "display/layout.h"
#include "display/number_format.h"
#include "display/palette.h"
#include "display/plot.h"

namespace cli {

namespace {

// Colour-table entries after the 128 bar colours: the plot's background, then the black and
// white of the axes.
constexpr std::uint8_t kBackgroundEntry = 128;
constexpr std::uint8_t kBlackEntry = 129;
constexpr std::uint8_t kWhiteEntry = 130;

// Room for the axes: frequency labels on the left, time labels below.
constexpr int kLabelWidth = 64;
constexpr int kLabelHeight = 14;
constexpr int kTickLength = 3;
constexpr int kRowsPerLabel = 64;
constexpr int kColumnsPerLabel = 100;

// Sets the pixels of `picture` from (x, y) on that are white on `canvas`.
void CopyWhite(const display::Canvas &canvas, QImage &picture, int x, int y) {
  for (int row = 0; row < canvas.Height(); ++row) {
    uchar *const line = picture.scanLine(y + row) + x;
    for (int column = 0; column < canvas.Width(); ++column) {
      if (canvas.Pixel(column, row) == display::kWhite) {
        line[column] = kWhiteEntry;
      }
    }
  }
}

// White ticks and labels on black, in the window's font: the frequencies of every 64th row
// left of a picture of `rows` rows, and the times of every 100th of its `columns` columns
// below it.
void DrawAxes(QImage &picture, int columns, int rows, double firstHz, double rowHz,
              const SpectrogramScale &scale) {
  display::Canvas side(kLabelWidth, rows + kLabelHeight);
  display::Canvas foot(kLabelWidth + columns, kLabelHeight);
  for (display::Canvas *canvas : {&side, &foot}) {
    canvas->SetFontColor(display::kWhite);
    canvas->SetPenColor(display::kWhite);
  }
  for (int row = 0; row < rows; row += kRowsPerLabel) {
    const int y = rows - 1 - row;
    for (int x = kLabelWidth - kTickLength; x < kLabelWidth; ++x) {
      side.SetPixel(x, y, display::kWhite);
    }
    side.TextOut(0, std::max(0, y - 4), display::FormatFixed(firstHz + row * rowHz, 0) + " Hz");
  }
  const double frameSeconds = scale.sampleRate > 0 ? scale.hop / scale.sampleRate : 0;
  const double startSeconds = scale.sampleRate > 0 ? scale.start / scale.sampleRate : 0;
  for (int column = 0; column < columns; column += kColumnsPerLabel) {
    const int x = kLabelWidth + column;
    foot.VerticalLine(x, 0, kTickLength);
    foot.TextOut(x, kTickLength,
                 display::FormatFixed(startSeconds + column * frameSeconds, 1) + " s");
  }
  CopyWhite(foot, picture, 0, rows);
  CopyWhite(side, picture, 0, 0);
}

} // namespace

Spectrogram::Spectrogram(int first, int rows, int binsPerColumn)
    : first_(first), rows_(rows), binsPerColumn_(binsPerColumn),
      levels_(static_cast<std::size_t>(rows) * binsPerColumn) {}

void Spectrogram::AddColumn(const core::Measurement &run) {
  display::ColumnLevels(run.spectrumData, first_, rows_, binsPerColumn_, run.view.decibel,
                        levels_.data());
  for (int row = 0; row < rows_; ++row) {
    const int h = display::ColumnHeight(levels_[row]);
    // A bar of no height leaves the plot's background.
    entries_.push_back(h > 0 ? static_cast<std::uint8_t>(display::BarEntry(h)) : kBackgroundEntry);
  }
}

QImage Spectrogram::Picture(const SpectrogramScale *scale) const {
  const int columns = static_cast<int>(entries_.size() / rows_);
  const int left = scale != nullptr ? kLabelWidth : 0;
  const display::Palette palette = display::BuildPalette();
  QList<QRgb> colors;
  for (int entry = 0; entry < kBackgroundEntry; ++entry) {
    colors.push_back(display::ToRgb(palette[entry]));
  }
  colors << display::ToRgb(display::kPlotGrey) << display::ToRgb(display::kBlack)
         << display::ToRgb(display::kWhite);

  QImage picture(left + columns, rows_ + (scale != nullptr ? kLabelHeight : 0),
                 QImage::Format_Indexed8);
  picture.setColorTable(colors);
  picture.fill(kBlackEntry);
  for (int y = 0; y < rows_; ++y) {
    uchar *const line = picture.scanLine(y) + left;
    const std::uint8_t *entry = &entries_[rows_ - 1 - y];
    for (int x = 0; x < columns; ++x, entry += rows_) {
      line[x] = *entry;
    }
  }
  if (scale != nullptr) {
    const double binHz = scale->sampleRate / analysis::kFrameLength;
    DrawAxes(picture, columns, rows_, binHz * first_, binHz * binsPerColumn_, *scale);
  }
  return picture;
}

} // namespace cli
