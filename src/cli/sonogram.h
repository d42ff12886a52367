// The picture of a whole recording: one column per frame, one row per bin or per column of the
// window's view, each pixel coloured as the spectrum plot colours the level.
#pragma once

#include <QImage>

#include <cstdint>
#include <vector>

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

  // The next column: the last pass of `run`.
  void AddColumn(const core::Measurement &run);

  // The picture: a column's pixel for level L has the colour of the plot's bar for L, and
  // the plot's grey where the plot draws no bar. With `scale`, the frequencies of the rows
  // and the times of the columns are written beside and below it in the window's font.
  QImage Picture(const SpectrogramScale *scale) const;

private:
  int first_;
  int rows_;
  int binsPerColumn_;
  std::vector<std::uint8_t> entries_; // column by column, from the lowest row up
  std::vector<double> levels_;
};

} // namespace cli
