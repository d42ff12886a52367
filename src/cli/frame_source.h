// Where the frames of one source of vireo-analyse come from: a test pattern, an audio input or
// the live capture.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "analysis/frame.h"
#include "cli/audio_file.h"
#include "cli/capture.h"
#include "cli/options.h"
#include "core/measurement.h"

namespace cli {

// Whole frames of an input of `length` samples, at most the count asked for.
std::int64_t FramesIn(const Options &options, std::int64_t length);

class FrameSource {
public:
  // The pattern or capture of `options`, or the audio input `input`; on failure `error` says
  // why in one line. An input too short for the frames asked for gives the frames that it
  // holds before the error, whatever its route: a pipe's length is known only at its end.
  FrameSource(const Options &options, const std::string &input, std::string &error);

  bool IsOpen() const { return open_; }
  double SampleRate() const { return sampleRate_; }
  // The first sample of the first frame and the samples from one frame to the next.
  std::int64_t First() const { return first_; }
  std::int64_t Hop() const { return hop_; }
  // The frames that Next gives, where known before the first: those of a pattern and of an
  // input whose length is known; none for a capture, which may be stopped.
  std::optional<std::int64_t> Frames() const;

  // Acquires frame `index` (from 0, one after the other) into the run's frame: a pattern from
  // the run's pattern parameter, which the run steps after each pass. False at the end of the
  // source, with `error` empty after the frames asked for, at the end of an input without a
  // count after its first frame, and at a stop of the capture; otherwise `error` says why: an
  // input too short for the frames asked for (or for one frame), cut
  // short or damaged.
  bool Next(int index, core::Measurement &run, const std::atomic<bool> &stop, std::string &error);

private:
  // True, with `error` saying so, when `length` samples are too few for the frames asked for,
  // or for one frame without a count.
  bool TooShort(std::int64_t length, std::string &error) const;

  const Options &options_;
  std::string input_;
  bool open_ = false;
  double sampleRate_;
  std::int64_t first_ = 0;
  std::int64_t hop_ = analysis::kFrameLength;
  std::optional<std::int64_t> frames_;
  std::unique_ptr<AudioFile> file_;
  std::unique_ptr<Capture> capture_;
};

} // namespace cli
