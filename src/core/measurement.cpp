#include "core/measurement.h"

#include "analysis/fft.h"
#include "core/data_export.h"
#include "display/layout.h"
#include "display/plot.h"
#include "display/raw_strip.h"
#include "display/scales.h"
#include "sources/test_patterns.h"

namespace core {

void Measurement::UpdateFrameTime() {
  view.frameTime = FrameTimeOf(sampleRate);
}

void Measurement::OpenPicture() {
  screen_ = std::make_unique<display::Canvas>(display::kScreenWidth, display::kScreenHeight);
  palette_ = display::BuildPalette();
  DrawLevelScale();
  DrawFrequencyAxis();
}

void Measurement::StartRun() {
  if (screen_) {
    display::DrawPlotFrame(*screen_, palette_);
    DrawLevelScale();
    DrawFrequencyAxis();
  }
}

void Measurement::MakePattern(int index) {
  sources::MakePattern(index, result.samples, patternParam);
}

void Measurement::ProcessFrame() {
  analysis::ScaleFrame(result.samples, gain, window);
  analysis::ComputeFFT(result.samples, result.spectrum);
  SpectrumChanged();
  Measured(analysis::kFrameLength / 2);
  if (screen_) {
    display::DrawRawStrip(*screen_, result.samples);
    DrawSpectrum();
  }
}

const analysis::FrameResult &Measurement::Measured(int bins) {
  analysis::MeasureBins(result, view.decibel, bins);
  return result;
}

void Measurement::SpectrumChanged() {
  result.measured = 0;
}

void Measurement::StepPatternParam() {
  sources::StepPatternParam(patternParam);
}

void Measurement::DrawSpectrum() {
  display::DrawSpectrum(*screen_, palette_,
                        Measured(display::ShownBinsEnd(view.viewOffset, view.binsPerColumn)).levels,
                        view.viewOffset, view.binsPerColumn);
}

void Measurement::DrawLevelScale() {
  display::DrawLevelScale(*screen_, palette_, view.decibel);
}

void Measurement::DrawFrequencyAxis() {
  display::DrawFrequencyAxis(*screen_, palette_, view.binsPerColumn, view.viewOffset,
                             view.frameTime);
}

std::string Measurement::RawText() const {
  return FormatRawData(result.samples);
}

std::string Measurement::SpectrumText() {
  return FormatSpectrumData(Measured(), sampleRate);
}

} // namespace core
