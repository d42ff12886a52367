#include "cli/measurement.h"

#include <QBuffer>

#include <algorithm>
#include <array>

#include "analysis/level.h"
#include "core/data_export.h"
#include "display/cursor_readout.h"
#include "display/plot.h"

namespace cli {

Measurement::Measurement(const Options &options, double rate, bool picture) {
  if (picture) {
    OpenPicture();
  }
  sampleRate = rate;
  UpdateFrameTime();
  gain = options.gain;
  patternParam = options.param;
  window = options.window;
  view.decibel = !options.linear;
  view.binsPerColumn = options.binsPerColumn;
  view.viewOffset =
      core::ClampViewOffset(options.viewPosition, core::PageSize(options.binsPerColumn));
  StartRun();
}

QByteArray Measurement::Png() const {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  if (!buffer.open(QIODevice::WriteOnly) || !Picture().Image().save(&buffer, "PNG")) {
    bytes.clear();
  }
  return bytes;
}

int Measurement::PeakBin() const {
  std::array<double, analysis::kFrameLength / 2> levels;
  analysis::BinLevels(spectrumData, 0, static_cast<int>(levels.size()), view.decibel,
                      levels.data());
  return static_cast<int>(std::min_element(levels.begin(), levels.end()) - levels.begin());
}

std::string Measurement::SpectrumLine(int bin) const {
  return core::SpectrumLine(spectrumData, bin, sampleRate, view.decibel);
}

std::string Measurement::Note(int bin) const {
  // bin × rate rounded once to double and scaled by 2^-12 exactly: the frequency that the
  // .spc file and the cursor readout form with one rounding.
  std::string note = display::NoteText(bin * sampleRate / analysis::kFrameLength);
  return note.starts_with(' ') ? note.substr(1) : note;
}

void Measurement::RowLevels(int first, int rows, int binsPerColumn, double *levels) const {
  display::ColumnLevels(spectrumData, first, rows, binsPerColumn, view.decibel, levels);
}

} // namespace cli
