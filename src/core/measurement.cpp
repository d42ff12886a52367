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
  sources::MakePattern(index, timeData, patternParam);
}

void Measurement::ProcessFrame() {
  analysis::ScaleFrame(timeData, gain, window);
  analysis::ComputeFFT(timeData, spectrumData);
  if (screen_) {
    display::DrawRawStrip(*screen_, timeData);
    DrawSpectrum();
  }
}

void Measurement::StepPatternParam() {
  sources::StepPatternParam(patternParam);
}

void Measurement::DrawSpectrum() {
  display::DrawSpectrum(*screen_, palette_, spectrumData, view.viewOffset, view.binsPerColumn,
                        view.decibel);
}

void Measurement::DrawLevelScale() {
  display::DrawLevelScale(*screen_, palette_, view.decibel);
}

void Measurement::DrawFrequencyAxis() {
  display::DrawFrequencyAxis(*screen_, palette_, view.binsPerColumn, view.viewOffset,
                             view.frameTime);
}

std::string Measurement::RawText() const {
  return FormatRawData(timeData);
}

std::string Measurement::SpectrumText() const {
  return FormatSpectrumData(spectrumData, sampleRate, view.decibel);
}

} // namespace core
