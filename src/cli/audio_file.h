// An audio file read through libsndfile, frame by frame, as the live capture would deliver it.
#pragma once

#include <sndfile.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "analysis/frame.h"

namespace cli {

class AudioFile {
public:
  // Opens `path` (in the file system's encoding) for reading; Error() says why it failed.
  explicit AudioFile(const std::string &path);

  bool IsOpen() const { return file_ != nullptr; }
  // libsndfile's reason for the last failure.
  std::string Error() const;
  int SampleRate() const { return info_.samplerate; }
  // Samples per channel.
  std::int64_t Length() const { return info_.frames; }

  // The 4096 samples of the first channel from sample `start` on as 16-bit values, scaled into
  // `frame` as a captured buffer is. libsndfile converts integer and compressed formats to
  // 16 bits; a floating-point sample x becomes x × 32767 rounded to nearest and held within
  // the 16-bit range, the conversion libsndfile applies when it writes 16-bit data. (Its own
  // reading of floating-point data as 16 bits either truncates to 0 or scales the file's peak
  // to full scale, which would misstate every level.) False when the samples cannot all be
  // read.
  bool ReadFrame(std::int64_t start, analysis::TimeFrame &frame);

private:
  // Reads one frame of interleaved samples with `readFrames` into `buffer` and keeps the first
  // channel, converted to 16 bits.
  template <typename Sample, typename Convert>
  bool ReadFirstChannel(sf_count_t (*readFrames)(SNDFILE *, Sample *, sf_count_t),
                        std::vector<Sample> &buffer, Convert convert);

  SF_INFO info_{};
  std::unique_ptr<SNDFILE, int (*)(SNDFILE *)> file_;
  bool floatingPoint_ = false;
  std::vector<short> shorts_;
  std::vector<double> doubles_;
  std::vector<std::int16_t> firstChannel_;
};

} // namespace cli
