// The picture of a whole recording: one column per frame, one row per bin or per column of the
// window's view, each pixel coloured as the spectrum plot colours the level. The columns go to
// a temporary file as they come and the picture is written row by row, so that a recording of
// any length takes little memory.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cli/column_store.h"
#include "core/measurement.h"

namespace cli {

// What the time and frequency axes are labelled with.
struct SpectrogramScale {
  double sampleRate;
  std::int64_t start; // first sample of the first frame
  std::int64_t hop;   // samples from one frame to the next
};

class Spectrogram {
public:
  // Rows of `binsPerColumn` bins each from bin `first` on, lowest at the bottom.
  Spectrogram(int first, int rows, int binsPerColumn);

  // The next column: the last pass of `run`. False with `error` set when it cannot be kept.
  bool AddColumn(const core::Measurement &run, std::string &error);

  // Writes the picture as the PNG file `name`, whole or not at all: a column's pixel for level
  // L has the colour of the plot's bar for L, and the plot's grey where the plot draws no bar.
  // With `scale`, the frequencies of the rows and the times of the columns are written beside
  // and below it in the window's font. False with `error` set when it cannot.
  bool Write(const std::string &name, const SpectrogramScale *scale, std::string &error) const;

private:
  int first_;
  int binsPerColumn_;
  ColumnStore store_; // palette entries, column by column, from the lowest row up
  std::vector<double> levels_;
  std::vector<std::uint8_t> column_;
};

} // namespace cli
