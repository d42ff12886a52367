// An audio file read through libsndfile once, forward, frame by frame, as the live capture
// would deliver it.
#pragma once

#include <sndfile.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "analysis/frame.h"
#include "cli/container_check.h"

namespace cli {

class AudioFile {
public:
  // Fills `into` with up to `size` bytes of a stream; returns how many, 0 at its end, or -1
  // with errno set when it cannot be read.
  using Stream = std::function<std::int64_t(char *into, std::size_t size)>;

  // Opens `path` (in the file system's encoding; "-" is standard input) for reading: a file,
  // a pipe or a FIFO in any format libsndfile reads. A pipe or FIFO of WAV with integer or
  // floating-point samples is read as it comes; any other is copied as a Stream is. The format
  // is told by the bytes alone, never by the name's extension, so that a file gives what the
  // same bytes give through a pipe. Error() says why it failed.
  explicit AudioFile(const std::string &path);
  // Opens the bytes of `stream` as a pipe's are read. libsndfile decodes some formats (FLAC,
  // CAF, GSM 6.10 ...) only where it can seek, so the stream is first copied to its end into
  // an unnamed temporary file in $TMPDIR (or /tmp), 64 KiB at a time, and that file is read:
  // the same frames as from the file itself, for the disk space of the stream.
  explicit AudioFile(const Stream &stream);
  ~AudioFile();
  AudioFile(const AudioFile &) = delete;
  AudioFile &operator=(const AudioFile &) = delete;

  bool IsOpen() const { return file_ != nullptr; }
  // Why the open failed.
  std::string Error() const { return openError_; }
  int SampleRate() const { return info_.samplerate; }
  // Samples per channel of a regular file or a copied stream; nothing for a terminal or
  // another device, whose length is known only at its end.
  std::optional<std::int64_t> Length() const { return length_; }
  // Samples of the first channel read so far.
  std::int64_t Position() const { return position_; }

  // Moves on to the frame of 4096 samples of the first channel that starts at sample `start`,
  // which is no earlier than the start of the frame before, and scales it into `frame` as a
  // captured buffer is. Nothing is ever read twice: the last 4096 samples are kept for frames
  // that overlap, and samples between frames are read and passed over. libsndfile converts
  // integer and compressed formats to 16 bits; a floating-point sample x becomes x × 32767
  // rounded to nearest and held within the 16-bit range, the conversion libsndfile applies
  // when it writes 16-bit data. (Its own reading of floating-point data as 16 bits either
  // truncates to 0 or scales the file's peak to full scale, which would misstate every level.)
  // False when the input ends before the frame does, or at damage (Fault()).
  bool ReadFrame(std::int64_t start, analysis::TimeFrame &frame);
  // After a read came up short, how the input ended, from what was read against what the
  // header or container promises and from the decoder's errors: nothing when every promised
  // sample was read; "cut short after N samples" when the data ends before the promise;
  // "damaged after N samples: REASON" when the decoder failed, or gave fewer samples than
  // promised with the data still there. N counts the samples read, the last that are kept.
  std::optional<std::string> Fault();

private:
  // Opens what `open` gives, keeping the reason it failed.
  void Open(const std::function<SNDFILE *()> &open);
  // Opens the regular file or copy fd_.
  void OpenSeekable();
  // Copies `stream` into an unnamed temporary file and opens that.
  void OpenCopy(const Stream &stream);
  // Reads what the container promises before the first frame: where an Ogg stream is
  // damaged, which bounds the samples that are given.
  void CheckContainer();
  // The fault of a read that came up short with no decoder error.
  std::optional<std::string> Shortfall();
  // After a decoder error: true when the stream was merely cut short, a FLAC stream that does
  // not end with a whole frame (its decoder loses its sync there as it does at damage).
  bool CutInsideFlacFrame() const;
  // Reads up to `count` samples of the first channel into `samples`, or passes over them
  // when `samples` is null; returns how many there were.
  std::int64_t Read(std::int16_t *samples, std::int64_t count);
  // Reads up to `count` (at most one chunk) samples with `readFrames` into `buffer` and keeps
  // the first channel, converted to 16 bits, in `samples` unless it is null.
  template <typename Sample, typename Convert>
  sf_count_t ReadChunk(sf_count_t (*readFrames)(SNDFILE *, Sample *, sf_count_t),
                       std::vector<Sample> &buffer, sf_count_t count, std::int16_t *samples,
                       Convert convert);

  SF_INFO info_{};
  std::unique_ptr<SNDFILE, int (*)(SNDFILE *)> file_{nullptr, sf_close};
  // The input's pipe or the copy of a stream, or -1; closed after the library has let go of it.
  int fd_ = -1;
  // Read from a pipe as it comes.
  bool live_ = false;
  // The bytes of fd_ (a regular file or copy) and how many there are.
  std::uint64_t size_ = 0;
  std::optional<DataChunk> data_;
  // The bytes that libsndfile reads in place of fd_'s where a CAF file is cut short or its
  // data runs to the end: the data chunk's length is the length that the file holds (the
  // library refuses a length beyond the file's end).
  struct Patched;
  std::unique_ptr<Patched> patched_;
  bool checked_ = false;
  // An Ogg stream's pages; samples beyond `limit_` follow damage.
  std::optional<OggPages> pages_;
  std::optional<std::int64_t> limit_;
  // The first error of the decoder, with libsndfile's reason.
  std::optional<std::string> decodeError_;
  std::string openError_;
  std::optional<std::int64_t> length_;
  bool floatingPoint_ = false;
  std::vector<short> shorts_;
  std::vector<double> doubles_;
  // The samples position_ - 4096 ... position_ - 1.
  std::array<std::int16_t, analysis::kFrameLength> window_{};
  std::int64_t position_ = 0;
};

} // namespace cli
