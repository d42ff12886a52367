#include "cli/analyse.h"

#include <QBuffer>
#include <QByteArray>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <unistd.h>

#include "analysis/fft.h"
#include "analysis/level.h"
#include "cli/audio_file.h"
#include "core/data_export.h"
#include "core/frame_pass.h"
#include "display/layout.h"
#include "sources/test_patterns.h"

namespace cli {

namespace {

// Fewer frames than this finish too soon for a progress bar to help.
constexpr int kProgressMinimumFrames = 8;
constexpr int kProgressWidth = 40;

// A bar on standard error that redraws itself in place, for a terminal only.
class ProgressBar {
public:
  ProgressBar(int total, bool wanted)
      : total_(total), shown_(wanted && total >= kProgressMinimumFrames && isatty(STDERR_FILENO)) {}
  ~ProgressBar() { End(); }

  // Ends the bar's line, so that what follows starts on a line of its own.
  void End() {
    if (shown_ && filled_ >= 0) {
      std::fputc('\n', stderr);
      filled_ = -1;
    }
  }

  void Show(int done) {
    const int filled = static_cast<int>(static_cast<long long>(done) * kProgressWidth / total_);
    if (!shown_ || filled == filled_) {
      return;
    }
    filled_ = filled;
    std::fprintf(stderr, "\r[%s%s] %d/%d", std::string(filled, '#').c_str(),
                 std::string(kProgressWidth - filled, ' ').c_str(), done, total_);
    std::fflush(stderr);
  }

private:
  int total_;
  bool shown_;
  int filled_ = -1;
};

// The strongest of the displayable bins 0 ... 2047 by the level of the chosen scale; the lowest
// bin among equals.
int StrongestBin(const analysis::SpectrumFrame &spectrum, bool decibel) {
  int strongest = 0;
  double best = 0;
  for (int bin = 0; bin < analysis::kFrameLength / 2; ++bin) {
    const double level = analysis::BinLevel(spectrum[2 * bin], spectrum[2 * bin + 1], decibel);
    if (bin == 0 || level < best) {
      strongest = bin;
      best = level;
    }
  }
  return strongest;
}

// The picture as a PNG file's bytes; empty if it cannot be encoded.
QByteArray EncodePng(const display::Canvas &canvas) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  if (!buffer.open(QIODevice::WriteOnly) || !canvas.Image().save(&buffer, "PNG")) {
    bytes.clear();
  }
  return bytes;
}

// Samples from the start of the file to the end of the last frame; nothing when the count
// exceeds what any file can hold.
std::optional<std::int64_t> SamplesNeeded(const Options &options) {
  std::int64_t needed = 0;
  if (__builtin_mul_overflow(std::int64_t{options.frames - 1}, options.hop, &needed) ||
      __builtin_add_overflow(needed, options.start, &needed) ||
      __builtin_add_overflow(needed, std::int64_t{analysis::kFrameLength}, &needed)) {
    return std::nullopt;
  }
  return needed;
}

// Everything a run keeps between frames.
class Run {
public:
  Run(const Options &options, std::ostream &out, std::ostream &err)
      : options_(options), out_(out), err_(err), param_(options.param),
        // Peak lines on the same terminal show the progress themselves.
        progress_(options.frames, !options.quiet && !(options.peak && isatty(STDOUT_FILENO))) {}

  int Execute();

private:
  bool OpenInput();
  bool Acquire(int frameIndex);
  bool WriteOutputs(int frameNumber);
  bool Write(const std::string &name, std::string_view bytes);
  int Fail(const std::string &message) {
    progress_.End();
    err_ << "vireo-analyse: " << message << '\n';
    return kExitFailure;
  }

  const Options &options_;
  std::ostream &out_;
  std::ostream &err_;
  std::int32_t param_;
  ProgressBar progress_;
  double sampleRate_ = core::kDefaultSampleRate;
  std::unique_ptr<AudioFile> input_;
  core::View view_;
  analysis::TimeFrame timeData_{};
  analysis::SpectrumFrame spectrumData_{};
  std::unique_ptr<display::Canvas> screen_;
  display::Palette palette_{};
  std::string error_;
};

bool Run::OpenInput() {
  input_ = std::make_unique<AudioFile>(*options_.input);
  if (!input_->IsOpen()) {
    error_ = "cannot read " + *options_.input + ": " + input_->Error();
    return false;
  }
  const std::optional<std::int64_t> needed = SamplesNeeded(options_);
  if (!needed || input_->Length() < *needed) {
    error_ = *options_.input + " holds " + std::to_string(input_->Length()) +
             " samples; the frames asked for need " +
             (needed ? std::to_string(*needed) : std::string("more than any file holds"));
    return false;
  }
  sampleRate_ = input_->SampleRate();
  return true;
}

bool Run::Acquire(int frameIndex) {
  if (options_.pattern) {
    sources::MakePattern(*options_.pattern, timeData_, param_);
    return true;
  }
  if (!input_->ReadFrame(options_.start + frameIndex * options_.hop, timeData_)) {
    error_ = "cannot read " + *options_.input + ": " + input_->Error();
    return false;
  }
  return true;
}

bool Run::Write(const std::string &name, std::string_view bytes) {
  errno = 0;
  if (WriteExportFile(name, bytes)) {
    return true;
  }
  error_ = "cannot write " + name + (errno != 0 ? std::string(": ") + std::strerror(errno) : "");
  return false;
}

bool Run::WriteOutputs(int frameNumber) {
  if (options_.out) {
    const std::string name = *options_.out + std::to_string(frameNumber);
    if (!Write(name + ".raw", FormatRawData(timeData_)) ||
        !Write(name + ".spc", FormatSpectrumData(spectrumData_, sampleRate_, view_.decibel))) {
      return false;
    }
    if (screen_) {
      const QByteArray png = EncodePng(*screen_);
      if (png.isEmpty()) {
        error_ = "cannot encode the picture of frame " + std::to_string(frameNumber);
        return false;
      }
      if (!Write(name + ".png", std::string_view(png.constData(), png.size()))) {
        return false;
      }
    }
  }
  if (options_.peak) {
    const int bin = StrongestBin(spectrumData_, view_.decibel);
    out_ << frameNumber << '\t' << bin << '\t'
         << SpectrumLine(spectrumData_, bin, sampleRate_, view_.decibel) << '\n';
  }
  return true;
}

int Run::Execute() {
  if (options_.input && !OpenInput()) {
    return Fail(error_);
  }
  if (options_.rate) {
    sampleRate_ = *options_.rate;
  }
  const int pageSize = display::kPlotColumns * options_.binsPerColumn;
  view_ = {!options_.linear, options_.binsPerColumn,
           core::ClampViewOffset(options_.viewPosition, pageSize), core::FrameTimeOf(sampleRate_)};
  analysis::BuildBitReverseTable();
  analysis::BuildTwiddleTables();
  if (options_.png) {
    screen_ = std::make_unique<display::Canvas>(display::kScreenWidth, display::kScreenHeight);
    palette_ = display::BuildPalette();
    // The picture of a window that was started and then set up: a few pixels next to the
    // legend keep what the start-up drew in the dB scale.
    core::DrawRunStart(*screen_, palette_, core::kStartUpView);
    core::DrawRunStart(*screen_, palette_, view_);
  }
  for (int frame = 0; frame < options_.frames; ++frame) {
    if (!Acquire(frame)) {
      return Fail(error_);
    }
    core::AnalyseFrame(timeData_, spectrumData_, options_.gain, options_.window);
    if (screen_) {
      core::DrawFrame(*screen_, palette_, timeData_, spectrumData_, view_);
    }
    if (!WriteOutputs(frame + 1)) {
      return Fail(error_);
    }
    sources::StepPatternParam(param_);
    progress_.Show(frame + 1);
  }
  if (!out_.flush()) {
    return Fail("cannot write the standard output");
  }
  return kExitSuccess;
}

} // namespace

int Analyse(const Options &options, std::ostream &out, std::ostream &err) {
  return Run(options, out, err).Execute();
}

} // namespace cli
