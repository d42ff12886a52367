// The measurement that vireo-analyse runs for one source: every call into the frame pass, the
// picture and the export formats goes through here.
#pragma once

#include <QByteArray>

#include <cstdint>
#include <memory>
#include <string>

#include "analysis/frame.h"
#include "cli/options.h"
#include "core/frame_pass.h"
#include "display/canvas.h"
#include "display/palette.h"

namespace cli {

class Measurement {
public:
  // Builds the transform's tables; once, before any measurement runs.
  static void PrepareTables();

  // A run started with the settings of `options` on a source of `sampleRate` Hz; with
  // `picture` it draws the window's picture, as a window started and then set up would.
  Measurement(const Options &options, double sampleRate, bool picture);

  // The frame of the next pass, for the source to fill.
  analysis::TimeFrame &TimeData() { return timeData_; }

  // One frame pass on TimeData(): scaling, transform and, with a picture, its drawing.
  void Pass();

  // The two export files of the last pass, and its picture as a PNG file (empty when it
  // cannot be encoded).
  std::string RawText() const;
  std::string SpectrumText() const;
  QByteArray Png() const;

  // The strongest of the displayable bins 0 ... 2047 by the level of the chosen scale; the
  // lowest bin among equals.
  int PeakBin() const;
  // The bin's line of the .spc file, without its line end.
  std::string SpectrumLine(int bin) const;
  // The note and octave of the bin's frequency as the window's cursor readout names them,
  // without the space it starts with.
  std::string Note(int bin) const;

  // The levels of the spectrogram's rows, each a column of the picture's view: `rows` of
  // `binsPerColumn` bins from `first` on. `levels` holds rows × binsPerColumn values.
  void RowLevels(int first, int rows, int binsPerColumn, double *levels) const;

private:
  double sampleRate_;
  double gain_;
  bool window_;
  core::View view_;
  analysis::TimeFrame timeData_{};
  analysis::SpectrumFrame spectrumData_{};
  std::unique_ptr<display::Canvas> screen_;
  display::Palette palette_{};
};

} // namespace cli
