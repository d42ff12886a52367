#include "cli/sonogram.h"

#include <algorithm>
#include <cerrno>
#include <limits>
#include <optional>

#include "analysis/level.h"
#include "cli/file_io.h"
#include "cli/png_writer.h"
#include "core/staged_file.h"
#include "display/canvas.h"
#include "display/layout.h"
#include "display/palette.h"
#include "display/plot.h"

namespace cli {

namespace {

// Colour-table entries after the 128 bar colours: the plot's background, then the black and
// white of the axes.
constexpr std::uint8_t kBackgroundEntry = 128;
constexpr std::uint8_t kBlackEntry = 129;
constexpr std::uint8_t kWhiteEntry = 130;

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

Spectrogram::Spectrogram(SpectrogramShape shape)
    : shape_(std::move(shape)),
      store_(shape_.bands.empty() ? shape_.rows : static_cast<int>(shape_.bands.size())),
      powers_(static_cast<std::size_t>(store_.Height())),
      levels_(static_cast<std::size_t>(store_.Height()) * shape_.binsPerRow),
      column_(static_cast<std::size_t>(store_.Height())) {
  if (shape_.columns) {
    shares_ = std::make_unique<ColumnShares>(
        *shape_.columns, shape_.frames, store_.Height(), shape_.statistic,
        [this](std::span<const double> powers, std::int64_t copies, std::string &error) {
          analysis::PowerLevels(powers.data(), store_.Height(), shape_.decibel, levels_.data());
          return AddLevels(levels_.data(), copies, error);
        });
  }
}

bool Spectrogram::AddColumn(core::Measurement &run, std::string &error) {
  const int rows = store_.Height();
  // The bands hold bins of the lower half.
  const analysis::FrameResult &result = run.Measured(
      shape_.bands.empty() ? shape_.first + rows * shape_.binsPerRow : analysis::kFrameLength / 2);
  if (shape_.bands.empty() && !shares_) {
    display::ColumnLevels(result.levels, shape_.first, rows, shape_.binsPerRow, levels_.data());
    return AddLevels(levels_.data(), 1, error);
  }
  const analysis::BinValues &powers = result.powers;
  if (!shape_.bands.empty()) {
    core::BandPowers(shape_.bands, powers, powers_);
  } else {
    // The strongest bin has the largest power: the level of that power is the row's level.
    for (int row = 0; row < rows; ++row) {
      const auto bins = std::span(powers).subspan(
          static_cast<std::size_t>(shape_.first + row * shape_.binsPerRow),
          static_cast<std::size_t>(shape_.binsPerRow));
      powers_[row] = *std::ranges::max_element(bins);
    }
  }
  if (shares_) {
    return shares_->Add(powers_, error);
  }
  analysis::PowerLevels(powers_.data(), rows, shape_.decibel, levels_.data());
  return AddLevels(levels_.data(), 1, error);
}

bool Spectrogram::AddLevels(const double *levels, std::int64_t copies, std::string &error) {
  for (int row = 0; row < store_.Height(); ++row) {
    const int h = display::ColumnHeight(levels[row]);
    // A bar of no height leaves the plot's background.
    column_[row] = h > 0 ? static_cast<std::uint8_t>(display::BarEntry(h)) : kBackgroundEntry;
  }
  for (std::int64_t copy = 0; copy < copies; ++copy) {
    if (!store_.Add(column_.data(), error)) {
      return false;
    }
  }
  return true;
}

bool Spectrogram::Write(const std::string &name, const SpectrogramScale *scale,
                        std::string &error) {
  if (shares_ && !shares_->Finish(error)) {
    return false;
  }
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
    side = DrawSide(rows, shape_.bands.empty() ? LinearRowLabels(rows, binHz * shape_.first,
                                                                 binHz * shape_.binsPerRow)
                                               : BandRowLabels(shape_.bands, shape_.perOctave));
    foot = DrawFoot(width, columns, shares_ ? shares_->Frames() : columns, *scale);
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
