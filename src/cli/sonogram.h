// The picture of a whole recording: one column per frame (or per share of the frames), one row
// per bin, per column of the window's view or per band of log frequency, each pixel coloured as
// the spectrum plot colours the level. The columns go to a temporary file as they come and the
// picture is written row by row, so that a recording of any length takes little memory.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "cli/column_shares.h"
#include "cli/column_store.h"
#include "cli/sonogram_axes.h"
#include "core/bands.h"
#include "core/measurement.h"
#include "core/statistics.h"

namespace cli {

// What the rows and columns of a spectrogram show.
struct SpectrogramShape {
  // Rows of `binsPerRow` bins each from bin `first` on, each the strongest of its bins ...
  int first = 0;
  int rows = analysis::kFrameLength / 2;
  int binsPerRow = 1;
  // ... or, where there are bands, one row per band of 1/perOctave octave, each the level of
  // the sum of its bins' powers.
  std::vector<core::Band> bands;
  int perOctave = 3;
  // That many columns, each the statistic of each row's power over its share of the frames,
  // instead of one per frame; the frames when they are known before the first.
  std::optional<std::int64_t> columns;
  std::optional<std::int64_t> frames;
  core::Statistic statistic = core::Statistic::Mean;
  // The level scale of the powers of bands and shares.
  bool decibel = true;
};

class Spectrogram {
public:
  // Rows and columns as `shape` says, the lowest row at the bottom.
  explicit Spectrogram(SpectrogramShape shape);

  // The next frame: the last pass of `run`. False with `error` set when it cannot be kept.
  bool AddColumn(core::Measurement &run, std::string &error);

  // Writes the picture as the PNG file `name`, whole or not at all: a column's pixel for level
  // L has the colour of the plot's bar for L, and the plot's grey where the plot draws no bar.
  // With `scale`, the frequencies of the rows and the times of the columns are written beside
  // and below it in the window's font. False with `error` set when it cannot.
  bool Write(const std::string &name, const SpectrogramScale *scale, std::string &error);

private:
  // Keeps the column of `levels`, one per row.
  bool AddLevels(const double *levels, std::int64_t copies, std::string &error);

  SpectrogramShape shape_;
  ColumnStore store_; // palette entries, column by column, from the lowest row up
  std::unique_ptr<ColumnShares> shares_;
  std::vector<double> powers_;
  std::vector<double> levels_;
  std::vector<std::uint8_t> column_;
};

} // namespace cli
