// The measurement that vireo-analyse runs for one source: the run object that the window drives,
// set up from the command line, and what the command line reads from it besides the files.
#pragma once

#include <QByteArray>

#include <string>

#include "cli/options.h"
#include "core/measurement.h"

namespace cli {

class Measurement : public core::Measurement {
public:
  // A run on a source of `rate` Hz, begun as a window begins one: opened (with `picture`, its
  // picture drawn as a window opens it), set to the settings of `options`, and started.
  Measurement(const Options &options, double rate, bool picture);

  // The picture of the last pass as a PNG file (empty when it cannot be encoded); only for a
  // measurement made with a picture.
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
};

} // namespace cli
