#include "cli/recording.h"

#include <algorithm>
#include <cstdlib>

#include "analysis/level.h"
#include "core/data_export.h"
#include "display/layout.h"
#include "display/number_format.h"
#include "display/plot.h"
#include "display/scales.h"

namespace cli {

namespace {

constexpr int kDecimals = 6;
constexpr double kZeroPowerLevel = 999;

// The levels of `count` powers in dB, whatever the run's scale: differences are in dB.
std::vector<double> DecibelLevels(const double *powers, int count) {
  std::vector<double> levels(static_cast<std::size_t>(count));
  analysis::PowerLevels(powers, count, true, levels.data());
  return levels;
}

// The value that a file writes for a level (attenuation in dB, or linear): the power in dB
// moved by the offset, -999 for zero power, or the amplitude. Without an offset exactly the
// .spc file's value, a level 0 included (written -0.000000).
double WrittenValue(double level, bool decibel, double offset) {
  if (!decibel) {
    return analysis::LevelToAmplitude(level);
  }
  return level == kZeroPowerLevel || offset == 0 ? -level : offset - level;
}

// The statistic as the files write it: each dB level moved by the offset.
analysis::FrameResult Written(const analysis::FrameResult &statistic, double offset) {
  analysis::FrameResult moved = statistic;
  if (statistic.decibel) {
    for (double &level : moved.levels) {
      level = -WrittenValue(level, true, offset);
    }
  }
  return moved;
}

// The value of a .spc line, after its tab.
std::string ValueOf(const std::string &line) {
  return line.substr(line.find('\t') + 1);
}

// The difference input minus reference of two dB levels, zero power counting as -999 dB.
std::string Difference(double inputLevel, double referenceLevel) {
  return display::FormatFixed(referenceLevel - inputLevel, kDecimals);
}

// The column names after the first ones: each statistic, then reference_S and difference_S for
// each.
std::vector<std::string> StatisticColumns(const Options &options, bool reference) {
  std::vector<std::string> names;
  const std::vector<core::Statistic> statistics = StatisticsAsked(options);
  for (const core::Statistic s : statistics) {
    names.emplace_back(core::kStatisticNames[static_cast<std::size_t>(s)]);
  }
  for (const core::Statistic s : reference ? statistics : std::vector<core::Statistic>{}) {
    const std::string_view name = core::kStatisticNames[static_cast<std::size_t>(s)];
    names.push_back("reference_" + std::string(name));
    names.push_back("difference_" + std::string(name));
  }
  return names;
}

} // namespace

std::vector<core::Statistic> StatisticsAsked(const Options &options) {
  return options.average.empty() ? std::vector{core::Statistic::Mean} : options.average;
}

std::string WholeTableHeader(const Options &options, bool reference) {
  std::vector<std::string> names =
      options.bands ? std::vector<std::string>{"input", "band", "nominal", "lower", "upper", "bins"}
                    : std::vector<std::string>{"input", "bin", "frequency"};
  for (std::string &name : StatisticColumns(options, reference)) {
    names.push_back(std::move(name));
  }
  return TableHeaderOf(*options.table, names);
}

WholeInput::WholeInput(const Options &options, double rate)
    : options_(options), rate_(rate), factors_(core::WeightingFactors(options.weighting, rate)),
      bands_(options.bands ? core::MakeBands(*options.bands, rate) : std::vector<core::Band>{}),
      bins_(options.average.empty() ? 0 : analysis::kFrameLength), bandStatistics_(bands_.size()),
      powers_(analysis::kFrameLength), bandPowers_(bands_.size()) {}

void WholeInput::Add(const analysis::FrameResult &frame) {
  std::copy(frame.powers.begin(), frame.powers.end(), powers_.begin());
  core::ApplyWeighting(factors_, powers_);
  bins_.Add(powers_);
  core::BandPowers(bands_, powers_, bandPowers_);
  bandStatistics_.Add(bandPowers_);
}

WholeInput::Summary WholeInput::Summarise() const {
  Summary summary;
  const bool decibel = !options_.linear;
  for (const core::Statistic s : StatisticsAsked(options_)) {
    analysis::FrameResult &bins = summary.bins.emplace_back();
    if (!options_.average.empty()) {
      const std::vector<double> powers = bins_.Powers(s);
      std::ranges::copy(powers, bins.powers.begin());
      analysis::PowerLevels(bins.powers.data(), analysis::kFrameLength, decibel,
                            bins.levels.data());
    }
    bins.decibel = decibel;
    bins.measured = analysis::kFrameLength;
    summary.bands.push_back(bandStatistics_.Powers(s));
  }
  return summary;
}

std::string StatisticText(const analysis::FrameResult &statistic, double rate, double offset) {
  return core::FormatSpectrumData(Written(statistic, offset), rate);
}

std::string WholeTableRows(const Options &options, std::string_view input, const WholeInput &whole,
                           const WholeInput::Summary &summary,
                           const WholeInput::Summary *reference) {
  const TableFormat format = *options.table;
  const bool decibel = !options.linear;
  const std::vector<std::string> columns = StatisticColumns(options, reference != nullptr);
  const std::size_t statistics = summary.bins.size();
  std::string rows;
  // The row's statistic fields after its first ones: each value, then the reference's value
  // and the difference of the dB levels for each.
  const auto addStatistics = [&](std::vector<TableField> &fields, auto value, auto dB) {
    for (std::size_t s = 0; s < statistics; ++s) {
      fields.push_back({columns[s], value(summary, s)});
    }
    for (std::size_t s = 0; reference != nullptr && s < statistics; ++s) {
      fields.push_back({columns[statistics + 2 * s], value(*reference, s)});
      fields.push_back(
          {columns[statistics + 2 * s + 1], Difference(dB(summary, s), dB(*reference, s))});
    }
    rows += TableLine(format, fields);
  };
  if (!options.bands) {
    // Per statistic of the input, then of the reference: as written, and in dB.
    std::vector<analysis::FrameResult> written;
    std::vector<std::vector<double>> decibels;
    for (const WholeInput::Summary *of : {&summary, reference}) {
      for (std::size_t s = 0; of != nullptr && s < statistics; ++s) {
        written.push_back(Written(of->bins[s], options.offset));
        decibels.push_back(DecibelLevels(of->bins[s].powers.data(), analysis::kFrameLength));
      }
    }
    for (int bin = 0; bin < analysis::kFrameLength; ++bin) {
      const auto line = [&](std::size_t index) {
        return core::SpectrumLine(written[index], bin, whole.Rate());
      };
      const std::string first = line(0);
      std::vector<TableField> fields = {{"input", std::string(input), true},
                                        {"bin", std::to_string(bin)},
                                        {"frequency", first.substr(0, first.find('\t'))}};
      // Index s of the input's statistics, statistics + s of the reference's.
      const auto offsetOf = [&](const WholeInput::Summary &of) {
        return &of == &summary ? 0 : statistics;
      };
      addStatistics(
          fields,
          [&](const WholeInput::Summary &of, std::size_t s) {
            return ValueOf(line(offsetOf(of) + s));
          },
          [&](const WholeInput::Summary &of, std::size_t s) {
            return decibels[offsetOf(of) + s][bin];
          });
    }
    return rows;
  }
  const std::vector<core::Band> &bands = whole.Bands();
  const auto levels = [&](const WholeInput::Summary &of, std::size_t s, bool inDecibels) {
    std::vector<double> result(bands.size());
    analysis::PowerLevels(of.bands[s].data(), static_cast<int>(bands.size()), inDecibels,
                          result.data());
    return result;
  };
  for (std::size_t b = 0; b < bands.size(); ++b) {
    const core::Band &band = bands[b];
    std::vector<TableField> fields = {{"input", std::string(input), true},
                                      {"band", display::FormatFixed(band.midband, kDecimals)},
                                      {"nominal", band.nominal},
                                      {"lower", display::FormatFixed(band.lower, kDecimals)},
                                      {"upper", display::FormatFixed(band.upper, kDecimals)},
                                      {"bins", std::to_string(band.count)}};
    addStatistics(
        fields,
        [&](const WholeInput::Summary &of, std::size_t s) {
          return display::FormatFixed(
              WrittenValue(levels(of, s, decibel)[b], decibel, options.offset), kDecimals);
        },
        [&](const WholeInput::Summary &of, std::size_t s) { return levels(of, s, true)[b]; });
  }
  return rows;
}

std::string StatisticPeakLines(const Options &options, std::string_view name, double rate,
                               const WholeInput::Summary &summary) {
  std::string lines;
  const std::vector<core::Statistic> statistics = StatisticsAsked(options);
  for (std::size_t s = 0; s < statistics.size(); ++s) {
    const analysis::FrameResult &bins = summary.bins[s];
    const auto strongest =
        std::min_element(bins.levels.begin(), bins.levels.begin() + analysis::kFrameLength / 2);
    const int bin = static_cast<int>(strongest - bins.levels.begin());
    lines += (name.empty() ? std::string() : EscapedName(name) + '\t') +
             std::string(core::kStatisticNames[static_cast<std::size_t>(statistics[s])]) + '\t' +
             std::to_string(bin) + '\t' +
             core::SpectrumLine(Written(bins, options.offset), bin, rate) + '\n';
  }
  return lines;
}

void DrawDifference(display::Canvas &canvas, const display::Palette &palette,
                    const core::View &view, const analysis::FrameResult &input,
                    const analysis::FrameResult &reference) {
  using namespace display;
  constexpr int kZeroRow = kPlotTop + (kPlotBottom - kPlotTop) / 2;
  const int first = view.viewOffset;
  const int count = kPlotColumns * view.binsPerColumn;
  const std::vector<double> in = DecibelLevels(input.powers.data() + first, count);
  const std::vector<double> ref = DecibelLevels(reference.powers.data() + first, count);
  // Each column's strongest bin of each, then the difference as a level below 0 dB, whose
  // height truncate(128 - 1.4 × level) less 128 is truncate(1.4 × difference) + …: the plot's
  // own height rule, exact on every path.
  std::vector<double> differences(kPlotColumns);
  for (int c = 0; c < kPlotColumns; ++c) {
    const auto column = [&](const std::vector<double> &levels) {
      const auto begin = levels.begin() + c * view.binsPerColumn;
      return *std::min_element(begin, begin + view.binsPerColumn);
    };
    differences[static_cast<std::size_t>(c)] = column(in) - column(ref);
  }
  std::vector<int> heights(kPlotColumns);
  HeightsOfLevels(differences.data(), kPlotColumns, heights.data());
  canvas.SetBrushColor(kPlotGrey);
  canvas.FillRect(kPlotAreaRect);
  for (int c = 0; c < kPlotColumns; ++c) {
    // Up from the row above the zero row, or down from the row below it.
    const int x = kPlotLeft + c;
    const int h = heights[static_cast<std::size_t>(c)] - 128;
    canvas.SetPixel(x, kZeroRow, kZeroGrey);
    canvas.SetPenColor(palette[BarEntry(2 * std::abs(h))]);
    if (h > 0) {
      canvas.VerticalLine(x, kZeroRow - 1, kZeroRow - 1 - std::min(h, kZeroRow - kPlotTop));
    } else if (h < 0) {
      canvas.VerticalLine(x, kZeroRow + 1, kZeroRow + 1 + std::min(-h, kPlotBottom - kZeroRow - 1));
    }
  }
  // The legend: every 10 dB from +40 down to -40 at the rows of its bars' tops.
  std::vector<LevelLabel> labels;
  for (int tens = 4; tens >= -4; --tens) {
    const std::string sign = tens > 0 ? "+" : "";
    labels.push_back({sign + std::to_string(10 * tens) + "dB", kZeroRow - 14 * tens - 4,
                      tens == 0 ? kRawTextEntry : BarEntry(28 * std::abs(tens))});
  }
  DrawLegend(canvas, palette, labels);
}

} // namespace cli
