// A measurement as the window and the command-line analyser run it: the frame and its spectrum,
// the picture with its palette, the settings the steps read, and the steps a run is made of.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "analysis/frame.h"
#include "analysis/frame_result.h"
#include "analysis/frame_scaling.h"
#include "core/settings.h"
#include "display/canvas.h"
#include "display/palette.h"

namespace core {

class Measurement {
public:
  // Zero frame and spectrum (measured), the start-up settings, no picture yet.
  Measurement();

  // The settings, read by the next step that uses them; the front ends set them from their
  // controls or options. view.frameTime follows sampleRate only through UpdateFrameTime.
  double sampleRate = kDefaultSampleRate;
  double gain = analysis::kGains[analysis::kDefaultGainIndex].value;
  bool window = false;
  View view = kStartUpView;
  std::int32_t patternParam = kInitialPatternParam;
  // The serial number of the next QuickSave.
  std::int32_t quickSaveNumber = 1;

  // What the last pass produced and every step below reads: the frame that a source fills and
  // a pass scales in place, its spectrum, and each bin's power and level.
  analysis::FrameResult result{};

  // view.frameTime = 4096 / sampleRate, or 1 for a rate of 0.
  void UpdateFrameTime();

  // Creates the black picture and the palette and draws what a window shows before its first
  // run: the level legend, then the frequency axis. Without a picture nothing is drawn.
  void OpenPicture();
  const display::Canvas &Picture() const { return *screen_; }
  display::Canvas &Picture() { return *screen_; }
  const display::Palette &Palette() const { return palette_; }

  // The start of a run: the plot frame, the level legend and the frequency axis.
  void StartRun();
  // Acquisition from the test pattern `index` (0 ... 7) with the pattern parameter.
  void MakePattern(int index);
  // The pass on the acquired frame: gain and window, transform, the powers and levels of the
  // bins in the view's scale, then the raw strip and the spectrum drawn.
  void ProcessFrame();
  // The powers and levels of the stored spectrum in the view's scale, once more: after the
  // spectrum is changed other than by a pass. The redraws and exports below take it on
  // themselves when the scale has changed since.
  void MeasureBins();
  // The step of the pattern parameter after every frame.
  void StepPatternParam();

  // Redraws of one part of the picture in the current view, from the stored spectrum.
  void DrawSpectrum();
  void DrawLevelScale();
  void DrawFrequencyAxis();

  // The two export files of the stored frame and spectrum, the spectrum in the view's scale.
  std::string RawText() const;
  std::string SpectrumText();

private:
  // The result, measured again if its levels are in the other scale than the view's.
  const analysis::FrameResult &InViewScale();

  std::unique_ptr<display::Canvas> screen_;
  display::Palette palette_{};
};

} // namespace core
