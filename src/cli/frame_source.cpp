#include "cli/frame_source.h"

#include <algorithm>
#include <cmath>

#include "core/settings.h"

namespace cli {

std::int64_t FramesIn(const Options &options, std::int64_t length) {
  const std::int64_t room = length - options.start - analysis::kFrameLength;
  const std::int64_t whole = room < 0 ? 0 : room / options.hop + 1;
  return options.frames ? std::min<std::int64_t>(whole, *options.frames) : whole;
}

FrameSource::FrameSource(const Options &options, const std::string &input, std::string &error)
    : options_(options), input_(input),
      sampleRate_(options.rate.value_or(core::kDefaultSampleRate)), frames_(options.frames) {
  if (options.pattern) {
    frames_ = options.frames.value_or(1);
  } else if (options.capture) {
    capture_ = Capture::Open(sampleRate_, error);
    if (!capture_) {
      error = "cannot capture from the audio server: " + error;
      return;
    }
    if (*options.capture > 0) {
      frames_ =
          std::max<std::int64_t>(1, static_cast<std::int64_t>(std::ceil(
                                        *options.capture * sampleRate_ / analysis::kFrameLength)));
    }
  } else {
    file_ = std::make_unique<AudioFile>(input);
    if (!file_->IsOpen()) {
      error = "cannot read " + input + ": " + file_->Error();
      return;
    }
    sampleRate_ = options.rate.value_or(file_->SampleRate());
    first_ = options.start;
    hop_ = options.hop;
  }
  open_ = true;
}

std::optional<std::int64_t> FrameSource::Frames() const {
  if (options_.pattern) {
    return frames_;
  }
  if (file_ && file_->Length()) {
    return FramesIn(options_, *file_->Length());
  }
  return std::nullopt;
}

bool FrameSource::TooShort(std::int64_t length, std::string &error) const {
  // Samples from the start of the input to the end of the last frame, unless the count
  // exceeds what any file can hold.
  std::int64_t needed = 0;
  const bool overflow =
      __builtin_mul_overflow(std::int64_t{frames_.value_or(1) - 1}, hop_, &needed) ||
      __builtin_add_overflow(needed, first_, &needed) ||
      __builtin_add_overflow(needed, std::int64_t{analysis::kFrameLength}, &needed);
  if (!overflow && length >= needed) {
    return false;
  }
  error = input_ + " holds " + std::to_string(length) + " samples; " +
          (frames_ ? "the frames asked for need " : "a whole frame needs ") +
          (overflow ? "more than any file holds" : std::to_string(needed));
  return true;
}

bool FrameSource::Next(int index, core::Measurement &run, const std::atomic<bool> &stop,
                       std::string &error) {
  std::int64_t start = 0;
  if ((frames_ && index >= *frames_) || __builtin_mul_overflow(std::int64_t{index}, hop_, &start) ||
      __builtin_add_overflow(start, first_, &start)) {
    return false;
  }
  if (options_.pattern) {
    run.MakePattern(*options_.pattern);
    return true;
  }
  if (capture_) {
    if (capture_->NextFrame(run.result.samples, stop, error)) {
      return true;
    }
    if (!error.empty()) {
      error = "the capture ended: " + error;
    }
    return false;
  }
  if (file_->ReadFrame(start, run.result.samples)) {
    return true;
  }
  // The frames before the end or the damage stay as they are: they are the input's own.
  if (const std::optional<std::string> fault = file_->Fault()) {
    error = input_ + ": " + *fault;
  } else if (frames_ || index == 0) {
    TooShort(file_->Position(), error);
  }
  return false;
}

} // namespace cli
