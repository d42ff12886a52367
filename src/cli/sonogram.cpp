#include "cli/sonogram.h"

#include <algorithm>
#include <cerrno>
#include <limits>
#include <optional>

#include "cli/file_io.h"
#include "cli/png_writer.h"
#include "core/staged_file.h"

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

// Columns of the labels below the picture drawn at a time.
constexpr int kFootChunk = 4096;

// The labels beside the picture: the frequencies of every 64th of its `rows` rows, white
// ticks and labels on black in the window's font.
display::Canvas DrawSide(int rows, double firstHz, double rowHz) {
  display::Canvas side(kLabelWidth, rows + kLabelHeight);
  side.SetFontColor(display::kWhite);
  for (int row = 0; row < rows; row += kRowsPerLabel) {
    const int y = rows - 1 - row;
    for (int x = kLabelWidth - kTickLength; x < kLabelWidth; ++x) {
      side.SetPixel(x, y, display::kWhite);
    }
    side.TextOut(0, std::max(0, y - 4), display::FormatFixed(firstHz + row * rowHz, 0) + " Hz");
  }
  return side;
}

// The white pixels of the labels below a picture of `columns` columns, `width` pixels wide
// with the side labels: the times of every 100th column, each with its tick. Drawn in strips
// of kFootChunk pixels, each with every label that reaches into it drawn in order, so the
// pixels are those of one drawing of the whole row of labels, where a later label covers an
// earlier one.
std::vector<std::vector<bool>> DrawFoot(int width, int columns, const SpectrogramScale &scale) {
  struct Label {
    int x;
    int width;
    std::string text;
  };
  const double frameSeconds = scale.sampleRate > 0 ? scale.hop / scale.sampleRate : 0;
  const double startSeconds = scale.sampleRate > 0 ? scale.start / scale.sampleRate : 0;
  std::vector<std::vector<bool>> white(kLabelHeight, std::vector<bool>(width));
  std::vector<Label> labels; // those that may reach into the strip, left to right
  int column = 0;
  for (int x0 = 0; x0 < width; x0 += kFootChunk) {
    const int x1 = std::min(width, x0 + kFootChunk);
    display::Canvas strip(0, 0);
    for (; column < columns && kLabelWidth + column < x1; column += kColumnsPerLabel) {
      std::string text = display::FormatFixed(startSeconds + column * frameSeconds, 1) + " s";
      labels.push_back({kLabelWidth + column, strip.TextWidth(text), std::move(text)});
    }
    std::erase_if(labels,
                  [x0](const Label &label) { return label.x + std::max(label.width, 1) <= x0; });
    const int left = labels.empty() ? x0 : std::min(x0, labels.front().x);
    strip = display::Canvas(x1 - left, kLabelHeight);
    strip.SetFontColor(display::kWhite);
    strip.SetPenColor(display::kWhite);
    for (const Label &label : labels) {
      strip.VerticalLine(label.x - left, 0, kTickLength);
      strip.TextOut(label.x - left, kTickLength, label.text);
    }
    for (int row = 0; row < kLabelHeight; ++row) {
      for (int x = x0; x < x1; ++x) {
        white[row][x] = strip.Pixel(x - left, row) == display::kWhite;
      }
    }
  }
  return white;
}

// The palette of the picture: the 128 bar colours, the plot's grey, black and white.
std::vector<QRgb> PictureColors() {
  const display::Palette palette = display::BuildPalette();
  std::vector<QRgb> colors;
  for (int entry = 0; entry < kBackgroundEntry; ++entry) {
    colors.push_back(display::ToRgb(palette[entry]));
  }
  for (const display::Color color : {display::kPlotGrey, display::kBlack, display::kWhite}) {
    colors.push_back(display::ToRgb(color));
  }
  return colors;
}

} // namespace

Spectrogram::Spectrogram(int first, int rows, int binsPerColumn)
    : first_(first), binsPerColumn_(binsPerColumn), store_(rows),
      levels_(static_cast<std::size_t>(rows) * binsPerColumn), column_(rows) {}

bool Spectrogram::AddColumn(const core::Measurement &run, std::string &error) {
  const int rows = store_.Height();
  display::ColumnLevels(run.result.levels, first_, rows, binsPerColumn_, levels_.data());
  for (int row = 0; row < rows; ++row) {
    const int h = display::ColumnHeight(levels_[row]);
    // A bar of no height leaves the plot's background.
    column_[row] = h > 0 ? static_cast<std::uint8_t>(display::BarEntry(h)) : kBackgroundEntry;
  }
  return store_.Add(column_.data(), error);
}

bool Spectrogram::Write(const std::string &name, const SpectrogramScale *scale,
                        std::string &error) const {
  const int rows = store_.Height();
  const int left = scale != nullptr ? kLabelWidth : 0;
  if (store_.Columns() > std::numeric_limits<std::int32_t>::max() - left) {
    error = "cannot write " + name + ": a PNG picture holds at most 2^31 - 1 columns";
    return false;
  }
  const auto columns = static_cast<int>(store_.Columns());
  const int width = left + columns;
  const int height = rows + (scale != nullptr ? kLabelHeight : 0);
  std::optional<display::Canvas> side;
  std::vector<std::vector<bool>> foot;
  if (scale != nullptr) {
    const double binHz = scale->sampleRate / analysis::kFrameLength;
    side = DrawSide(rows, binHz * first_, binHz * binsPerColumn_);
    foot = DrawFoot(width, columns, *scale);
  }
  const auto failed = [&](const std::string &reason) {
    error = "cannot write " + name + reason;
    return false;
  };
  core::StagedFile file;
  errno = 0;
  if (!file.Open(name)) {
    return failed(Reason());
  }
  const std::vector<QRgb> colors = PictureColors();
  PngWriter png(width, height, colors,
                [&file](std::string_view bytes) { return file.Write(bytes); });
  std::vector<std::uint8_t> line(static_cast<std::size_t>(width));
  for (int y = 0; y < height; ++y) {
    if (y < rows && !store_.ReadRow(rows - 1 - y, line.data() + left, error)) {
      return false;
    }
    for (int x = 0; x < (y < rows ? left : width); ++x) {
      const bool white =
          (x < left && side->Pixel(x, y) == display::kWhite) || (y >= rows && foot[y - rows][x]);
      line[x] = white ? kWhiteEntry : kBlackEntry;
    }
    if (!png.Row(line.data())) {
      return failed(Reason());
    }
  }
  errno = 0;
  return (png.Finish() && file.Commit()) || failed(Reason());
}

} // namespace cli
