// A recording as a whole: the statistics of one input's frames (--average), its bands
// (--bands) with their weighting and offset, the comparison with a reference input, and what
// they write: .spc text, table rows, peak lines and pictures.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "analysis/frame_result.h"
#include "cli/options.h"
#include "cli/table.h"
#include "core/bands.h"
#include "core/settings.h"
#include "core/statistics.h"
#include "display/canvas.h"
#include "display/palette.h"

namespace cli {

// The statistics that a run takes: those --average names, or the mean for --bands alone.
std::vector<core::Statistic> StatisticsAsked(const Options &options);

// The CSV header of the whole-recording table (with its line end): bins or bands, then each
// statistic, then reference_S and difference_S for each with a reference.
std::string WholeTableHeader(const Options &options, bool reference);

// One input's statistics, fed its frames in order.
class WholeInput {
public:
  // The weighting's factors and the bands at the input's rate.
  WholeInput(const Options &options, double rate);

  // A frame's powers, weighted, into the statistics of the bins and of the bands.
  void Add(const analysis::FrameResult &frame);
  std::int64_t Frames() const { return bins_.Frames(); }
  double Rate() const { return rate_; }

  // After the last frame (at least one): per statistic asked, in their order, the bins'
  // powers and levels in the run's scale, and the bands' powers.
  struct Summary {
    std::vector<analysis::FrameResult> bins;
    std::vector<std::vector<double>> bands;
  };
  Summary Summarise() const;
  const std::vector<core::Band> &Bands() const { return bands_; }

private:
  const Options &options_;
  double rate_;
  std::vector<double> factors_;
  std::vector<core::Band> bands_;
  core::PowerStatistics bins_;
  core::PowerStatistics bandStatistics_;
  std::vector<double> powers_, bandPowers_;
};

// The .spc text of a statistic, every dB value moved by the run's offset (the zero-power value
// -999 stays).
std::string StatisticText(const analysis::FrameResult &statistic, double rate, double offset);

// The rows of one input in the whole-recording table: one per bin 0 … 4095 (with --bins) or
// per band, the reference's columns when it is given.
std::string WholeTableRows(const Options &options, std::string_view input, const WholeInput &whole,
                           const WholeInput::Summary &summary,
                           const WholeInput::Summary *reference);

// The --peak lines of the statistics: "S\tBIN\tFREQUENCY\tVALUE" with the input's name and a
// tab before when `name` is not empty.
std::string StatisticPeakLines(const Options &options, std::string_view name, double rate,
                               const WholeInput::Summary &summary);

// The window's picture of the difference input minus reference of the statistic's levels in
// dB, in the view of the run: per plot column (the strongest of its bins in each), a bar up or
// down from the plot's middle row, 1.4 pixels per dB, with a legend of +40 … -40 dB.
void DrawDifference(display::Canvas &canvas, const display::Palette &palette,
                    const core::View &view, const analysis::FrameResult &input,
                    const analysis::FrameResult &reference);

} // namespace cli
