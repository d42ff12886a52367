#include "cli/audio_file.h"

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>

#include "sources/wave_header.h"

namespace cli {

namespace {

constexpr std::int64_t kLength = analysis::kFrameLength;
// Samples per channel read at a time.
constexpr sf_count_t kChunk = 4096;

// The audio library keeps the reason an open failed in one variable for the whole process, and
// every open sets it: the inputs of parallel jobs are opened one at a time, each reading its
// own reason before the next open.
std::mutex openLock;

std::int16_t ToSixteenBits(double sample) {
  // NaN fails both comparisons of the clamp and is taken as silence.
  if (!(sample == sample)) {
    return 0;
  }
  return static_cast<std::int16_t>(std::lrint(std::clamp(sample * 32767.0, -32768.0, 32767.0)));
}

} // namespace

AudioFile::AudioFile(const std::string &path) {
  struct stat status {};
  const bool found = path != "-" && ::stat(path.c_str(), &status) == 0;
  if (found && S_ISDIR(status.st_mode)) {
    openError_ = "is a directory";
    return;
  }
  {
    const std::lock_guard guard(openLock);
    file_.reset(sf_open(path.c_str(), SFM_READ, &info_));
    if (file_ == nullptr) {
      openError_ = sf_strerror(nullptr);
      return;
    }
  }
  if (found && S_ISREG(status.st_mode)) {
    length_ = info_.frames;
  }
  const int subtype = info_.format & SF_FORMAT_SUBMASK;
  floatingPoint_ = subtype == SF_FORMAT_FLOAT || subtype == SF_FORMAT_DOUBLE;
}

std::string AudioFile::Error() const {
  const std::string reason = file_ == nullptr ? openError_ : sf_strerror(file_.get());
  // The library does not name every failure: a decoder that stops on damaged data says
  // "No Error.".
  return reason == "No Error." ? "the data is damaged or cut short" : reason;
}

bool AudioFile::Failed() const {
  return file_ != nullptr && sf_error(file_.get()) != SF_ERR_NO_ERROR;
}

bool AudioFile::ReadFrame(std::int64_t start, analysis::TimeFrame &frame) {
  // The part of the kept samples that the new frame begins with.
  const std::int64_t kept = std::clamp<std::int64_t>(position_ - start, 0, kLength);
  if (position_ - start > kLength) {
    return false;
  }
  std::memmove(window_.data(), window_.data() + (kLength - kept), kept * sizeof(std::int16_t));
  const std::int64_t gap = std::max<std::int64_t>(start - position_, 0);
  if (Read(nullptr, gap) != gap || Read(window_.data() + kept, kLength - kept) != kLength - kept) {
    return false;
  }
  sources::ScaleWaveFrame(window_.data(), frame);
  return true;
}

std::int64_t AudioFile::Read(std::int16_t *samples, std::int64_t count) {
  std::int64_t done = 0;
  while (done < count) {
    const sf_count_t wanted = std::min<sf_count_t>(count - done, kChunk);
    std::int16_t *const into = samples != nullptr ? samples + done : nullptr;
    const sf_count_t got =
        floatingPoint_
            ? ReadChunk(sf_readf_double, doubles_, wanted, into, ToSixteenBits)
            : ReadChunk(sf_readf_short, shorts_, wanted, into, [](short s) { return s; });
    done += got;
    position_ += got;
    if (got < wanted) {
      break;
    }
  }
  return done;
}

template <typename Sample, typename Convert>
sf_count_t AudioFile::ReadChunk(sf_count_t (*readFrames)(SNDFILE *, Sample *, sf_count_t),
                                std::vector<Sample> &buffer, sf_count_t count,
                                std::int16_t *samples, Convert convert) {
  const auto channels = static_cast<std::size_t>(info_.channels);
  buffer.resize(kChunk * channels);
  const sf_count_t got = std::max<sf_count_t>(readFrames(file_.get(), buffer.data(), count), 0);
  if (samples != nullptr) {
    for (sf_count_t i = 0; i < got; ++i) {
      samples[i] = convert(buffer[static_cast<std::size_t>(i) * channels]);
    }
  }
  return got;
}

} // namespace cli
