#include "cli/audio_file.h"

#include <algorithm>
#include <cmath>

#include "sources/wave_header.h"

namespace cli {

namespace {

constexpr sf_count_t kLength = analysis::kFrameLength;

std::int16_t ToSixteenBits(double sample) {
  // NaN fails both comparisons of the clamp and is taken as silence.
  if (!(sample == sample)) {
    return 0;
  }
  return static_cast<std::int16_t>(std::lrint(std::clamp(sample * 32767.0, -32768.0, 32767.0)));
}

} // namespace

AudioFile::AudioFile(const std::string &path)
    : file_(sf_open(path.c_str(), SFM_READ, &info_), sf_close) {
  const int subtype = info_.format & SF_FORMAT_SUBMASK;
  floatingPoint_ = subtype == SF_FORMAT_FLOAT || subtype == SF_FORMAT_DOUBLE;
}

std::string AudioFile::Error() const {
  return sf_strerror(file_.get());
}

bool AudioFile::ReadFrame(std::int64_t start, analysis::TimeFrame &frame) {
  if (sf_seek(file_.get(), start, SEEK_SET) != start) {
    return false;
  }
  const bool read = floatingPoint_
                        ? ReadFirstChannel(sf_readf_double, doubles_, ToSixteenBits)
                        : ReadFirstChannel(sf_readf_short, shorts_, [](short s) { return s; });
  if (read) {
    sources::ScaleWaveFrame(firstChannel_.data(), frame);
  }
  return read;
}

template <typename Sample, typename Convert>
bool AudioFile::ReadFirstChannel(sf_count_t (*readFrames)(SNDFILE *, Sample *, sf_count_t),
                                 std::vector<Sample> &buffer, Convert convert) {
  const auto channels = static_cast<std::size_t>(info_.channels);
  buffer.resize(kLength * channels);
  if (readFrames(file_.get(), buffer.data(), kLength) != kLength) {
    return false;
  }
  firstChannel_.resize(kLength);
  for (std::size_t i = 0; i < firstChannel_.size(); ++i) {
    firstChannel_[i] = convert(buffer[i * channels]);
  }
  return true;
}

} // namespace cli
