// What an audio input's own bytes promise about its length and integrity, read from its
// container independently of the decoder: the length of the sound data in a header, the
// check sums and end-of-stream flag of Ogg pages, the last frame of a FLAC stream, the frame
// count and size of an MP3 stream's Xing or Info header.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace cli {

// Up to `count` bytes from `offset`; fewer (or none) where the input ends.
using ReadAt = std::function<std::string(std::uint64_t offset, std::size_t count)>;

// The bytes of the regular file or unnamed copy `fd`, read without moving its offset.
ReadAt DescriptorBytes(int fd);

// The sound data of a WAV (RIFF, RIFX, RF64), W64, AIFF, AU or CAF header.
struct DataChunk {
  // Where the header says that the data ends; nothing when it says "to the end" (a length
  // left for a pipe's writer to fill in, which it cannot).
  std::optional<std::uint64_t> end;
  // CAF only: where the data chunk's 8-byte length is kept, which is read as the length that
  // the input holds where the data runs to the end (-1) or is cut short.
  std::optional<std::uint64_t> cafLengthAt;
};

// Nothing when the bytes start with none of these headers.
std::optional<DataChunk> FindDataChunk(const ReadAt &bytes);

// An Ogg stream's pages, walked from the start of the input to its end.
struct OggPages {
  // A page fails its check sum, a page of the stream is missing, or bytes between pages are
  // no page.
  bool damaged = false;
  // The granule position (the sample count, at 48 kHz for Opus) of the first logical stream's
  // last page before the first defect.
  std::int64_t granule = 0;
  // Opus: the samples at the start that the decoder drops (pre-skip), at 48 kHz.
  std::int64_t preSkip = 0;
  bool opus = false;
  // The stream's last page carries the end-of-stream flag, and the input ends with a whole
  // page.
  bool ended = false;
};

OggPages WalkOggPages(const ReadAt &bytes, std::uint64_t size);

// True when a FLAC stream of `size` bytes ends with a whole frame: a frame header whose CRC-8
// holds, followed by the frame's data up to the input's end, whose CRC-16 holds.
bool FlacEndsWithWholeFrame(const ReadAt &bytes, std::uint64_t size);

// The Xing or Info header in the first frame of an MPEG Layer III stream.
struct MpegCount {
  bool counted = false; // the header gives the stream's frame count
  // The stream's bytes from its first frame on, as the header gives them.
  std::optional<std::uint64_t> bytes;
  std::uint64_t start = 0; // where the first frame starts (after an ID3v2 tag)
};

MpegCount ReadMpegCount(const ReadAt &bytes);

} // namespace cli
