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

  // What the last pass produced: the frame that a source fills and a pass scales in place, its
  // spectrum, and the power and level of each bin measured so far.
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
  // lower half of the bins (those the picture and the peak read) in the view's scale, then the
  // raw strip and the spectrum drawn.
  void ProcessFrame();
  // The result with the bins 0 … bins - 1 measured in the view's scale: each bin of a pass is
  // measured once, by the pass or by the first reader that needs it (the upper half by the
  // export text and the rows of every bin); a scale switch measures the stored spectrum again.
  const analysis::FrameResult &Measured(int bins = analysis::kFrameLength);
  // Forgets the measured bins, after the spectrum is changed other than by a pass.
  void SpectrumChanged();
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
  std::unique_ptr<display::Canvas> screen_;
  display::Palette palette_{};
};

} // namespace core
