// One frame pass and the drawing that starts a run, as the window and the command-line
// analyser both make them.
#pragma once

#include "analysis/frame.h"
#include "core/settings.h"
#include "display/canvas.h"
#include "display/palette.h"

namespace core {

// How the picture shows a spectrum: the level scale, the bins per column (1, 2, 4 or 8), the
// first bin shown, and the frame duration in seconds that the frequency axis is labelled with.
struct View {
  bool decibel = true;
  int binsPerColumn = 1;
  int viewOffset = 0;
  double frameTime = 1.0;
};

// The view of a window just started: dB scale, 1 bin per column from bin 0, 44100 Hz.
inline constexpr View kStartUpView{true, 1, 0, FrameTimeOf(kDefaultSampleRate)};

// What a run draws before its first frame: the plot frame, the level legend and the frequency
// axis, in that order.
void DrawRunStart(display::Canvas &canvas, const display::Palette &palette, const View &view);

// The arithmetic of a pass on a freshly acquired frame: scales `timeData` in place (gain and
// the optional sine window) and transforms it into `spectrumData`.
void AnalyseFrame(analysis::TimeFrame &timeData, analysis::SpectrumFrame &spectrumData, double gain,
                  bool window);

// The drawing of a pass: the raw strip of the scaled frame, then the spectrum.
void DrawFrame(display::Canvas &canvas, const display::Palette &palette,
               const analysis::TimeFrame &timeData, const analysis::SpectrumFrame &spectrumData,
               const View &view);

} // namespace core
