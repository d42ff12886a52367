#include "core/frame_pass.h"

#include "analysis/fft.h"
#include "analysis/frame_scaling.h"
#include "display/plot.h"
#include "display/raw_strip.h"
#include "display/scales.h"

namespace core {

void DrawRunStart(display::Canvas &canvas, const display::Palette &palette, const View &view) {
  display::DrawPlotFrame(canvas, palette);
  display::DrawLevelScale(canvas, palette, view.decibel);
  display::DrawFrequencyAxis(canvas, palette, view.binsPerColumn, view.viewOffset, view.frameTime);
}

void AnalyseFrame(analysis::TimeFrame &timeData, analysis::SpectrumFrame &spectrumData, double gain,
                  bool window) {
  analysis::ScaleFrame(timeData, gain, window);
  analysis::ComputeFFT(timeData, spectrumData);
}

void DrawFrame(display::Canvas &canvas, const display::Palette &palette,
               const analysis::TimeFrame &timeData, const analysis::SpectrumFrame &spectrumData,
               const View &view) {
  display::DrawRawStrip(canvas, timeData);
  display::DrawSpectrum(canvas, palette, spectrumData, view.viewOffset, view.binsPerColumn,
                        view.decibel);
}

} // namespace core
