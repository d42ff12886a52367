// A measurement as the window and the command-line analyser run it: the frame and its spectrum,
// the picture with its palette, the settings the steps read, and the steps a run is made of.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "analysis/frame.h"
#include "analysis/frame_scaling.h"
#include "core/settings.h"
#include "display/canvas.h"
#include "display/palette.h"

namespace core {

class Measurement {
public:
  // Zero frame and spectrum, the start-up settings, no picture yet.
  Measurement() = default;

  // The settings, read by the next step that uses them; the front ends set them from their
  // controls or options. view.frameTime follows sampleRate only through UpdateFrameTime.
  double sampleRate = kDefaultSampleRate;
  double gain = analysis::kGains[analysis::kDefaultGainIndex].value;
  bool window = false;
  View view = kStartUpView;
  std::int32_t patternParam = kInitialPatternParam;
  // The serial number of the next QuickSave.
  std::int32_t quickSaveNumber = 1;

  // The frame that a source fills and a pass scales in place, and its spectrum; on cache-line
  // boundaries for the vector loads of the pass.
  alignas(64) analysis::TimeFrame timeData{};
  alignas(64) analysis::SpectrumFrame spectrumData{};

  // view.frameTime = 4096 / sampleRate, or 1 for a rate of 0.
  void UpdateFrameTime();

  // Creates the black picture and the palette and draws what a window shows before its first
  // run: the level legend, then the frequency axis. Without a picture nothing is drawn.
  void OpenPicture();
  const display::Canvas &Picture() const { return *screen_; }
  const display::Palette &Palette() const { return palette_; }

  // The start of a run: the plot frame, the level legend and the frequency axis.
  void StartRun();
  // Acquisition from the test pattern `index` (0 ... 7) with the pattern parameter.
  void MakePattern(int index);
  // The pass on the acquired frame: gain and window, transform, then the raw strip and the
  // spectrum drawn.
  void ProcessFrame();
  // The step of the pattern parameter after every frame.
  void StepPatternParam();

  // Redraws of one part of the picture in the current view, from the stored spectrum.
  void DrawSpectrum();
  void DrawLevelScale();
  void DrawFrequencyAxis();

  // The two export files of the stored frame and spectrum, the spectrum in the view's scale.
  std::string RawText() const;
  std::string SpectrumText() const;

private:
  std::unique_ptr<display::Canvas> screen_;
  display::Palette palette_{};
};

} // namespace core
