#include "cli/measurement.h"

#include <QBuffer>

#include <algorithm>
#include <array>

#include "analysis/fft.h"
#include "analysis/level.h"
#include "core/data_export.h"
#include "display/cursor_readout.h"
#include "display/layout.h"
#include "display/plot.h"

namespace cli {

void Measurement::PrepareTables() {
  analysis::BuildBitReverseTable();
  analysis::BuildTwiddleTables();
}

Measurement::Measurement(const Options &options, double sampleRate, bool picture)
    : sampleRate_(sampleRate), gain_(options.gain), window_(options.window) {
  const int pageSize = display::kPlotColumns * options.binsPerColumn;
  view_ = {!options.linear, options.binsPerColumn,
           core::ClampViewOffset(options.viewPosition, pageSize), core::FrameTimeOf(sampleRate)};
  if (picture) {
    screen_ = std::make_unique<display::Canvas>(display::kScreenWidth, display::kScreenHeight);
    palette_ = display::BuildPalette();
    // The picture of a window that was started and then set up: a few pixels next to the
    // legend keep what the start-up drew in the dB scale.
    core::DrawRunStart(*screen_, palette_, core::kStartUpView);
    core::DrawRunStart(*screen_, palette_, view_);
  }
}

void Measurement::Pass() {
  core::AnalyseFrame(timeData_, spectrumData_, gain_, window_);
  if (screen_) {
    core::DrawFrame(*screen_, palette_, timeData_, spectrumData_, view_);
  }
}

std::string Measurement::RawText() const {
  return FormatRawData(timeData_);
}

std::string Measurement::SpectrumText() const {
  return FormatSpectrumData(spectrumData_, sampleRate_, view_.decibel);
}

QByteArray Measurement::Png() const {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  if (!screen_ || !buffer.open(QIODevice::WriteOnly) || !screen_->Image().save(&buffer, "PNG")) {
    bytes.clear();
  }
  return bytes;
}

int Measurement::PeakBin() const {
  std::array<double, analysis::kFrameLength / 2> levels;
  analysis::BinLevels(spectrumData_, 0, static_cast<int>(levels.size()), view_.decibel,
                      levels.data());
  return static_cast<int>(std::min_element(levels.begin(), levels.end()) - levels.begin());
}

std::string Measurement::SpectrumLine(int bin) const {
  return ::SpectrumLine(spectrumData_, bin, sampleRate_, view_.decibel);
}

std::string Measurement::Note(int bin) const {
  // bin × rate rounded once to double and scaled by 2^-12 exactly: the frequency that the
  // .spc file and the cursor readout form with one rounding.
  std::string note = display::NoteText(bin * sampleRate_ / analysis::kFrameLength);
  return note.starts_with(' ') ? note.substr(1) : note;
}

void Measurement::RowLevels(int first, int rows, int binsPerColumn, double *levels) const {
  display::ColumnLevels(spectrumData_, first, rows, binsPerColumn, view_.decibel, levels);
}

} // namespace cli
