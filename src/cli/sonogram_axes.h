// The labels of a spectrogram's axes: frequencies beside its rows, times below its columns,
// white ticks and texts on black in the window's font.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/bands.h"
#include "display/canvas.h"

namespace cli {

// Room for the axes: frequency labels on the left, time labels below.
inline constexpr int kLabelWidth = 64;
inline constexpr int kLabelHeight = 14;

// What the time axis is labelled with.
struct SpectrogramScale {
  double sampleRate;
  std::int64_t start; // first sample of the first frame
  std::int64_t hop;   // samples from one frame to the next
};

struct RowLabel {
  int row; // from the bottom
  std::string text;
};

// Every 64th row of rows of `rowHz` Hz from `firstHz` on, labelled with its frequency.
std::vector<RowLabel> LinearRowLabels(int rows, double firstHz, double rowHz);

// Rows by the bands `bands` of 1/perOctave octave: the rows of octave midbands, every octave
// or every second, fourth ... so that labels lie at least 12 rows apart, each labelled with its
// nominal frequency.
std::vector<RowLabel> BandRowLabels(const std::vector<core::Band> &bands, int perOctave);

// The labels beside a picture of `rows` rows, kLabelWidth wide and kLabelHeight taller than the
// picture: each label's tick at its row and its text beside it.
display::Canvas DrawSide(int rows, const std::vector<RowLabel> &labels);

// The white pixels of the labels below a picture of `columns` columns, `width` pixels wide with
// the side labels, kLabelHeight rows of them: the time of the first frame of every 100th
// column, each with its tick. Column c's first frame is frame c × frames / columns (rounded
// down) of `frames`.
std::vector<std::vector<bool>> DrawFoot(int width, std::int64_t columns, std::int64_t frames,
                                        const SpectrogramScale &scale);

} // namespace cli
