#include "cli/audio_file.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string_view>
#include <thread>

#include "cli/file_io.h"
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

// Bytes copied from a stream at a time.
constexpr std::size_t kCopyChunk = 65536;

// The longest start of a stream that is looked at for a WAV header.
constexpr std::size_t kHeadLimit = 4096;

std::uint32_t LittleEndian(std::string_view bytes, std::size_t at, std::size_t size) {
  std::uint32_t value = 0;
  for (std::size_t i = size; i-- > 0;) {
    value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
  }
  return value;
}

// Whether `head`, the start of a stream, is a WAV header of integer or floating-point samples,
// which libsndfile reads from a pipe as the samples come; nothing while it needs more bytes to
// tell.
std::optional<bool> IsPlainWave(std::string_view head) {
  if (head.size() < 12) {
    return std::nullopt;
  }
  if (head.substr(0, 4) != "RIFF" || head.substr(8, 4) != "WAVE") {
    return false;
  }
  for (std::size_t chunk = 12; chunk + 10 <= head.size();) {
    if (head.substr(chunk, 4) == "fmt ") {
      const std::uint32_t tag = LittleEndian(head, chunk + 8, 2);
      return tag == 1 || tag == 3;
    }
    if (head.substr(chunk, 4) == "data") {
      return false;
    }
    const std::uint64_t size = LittleEndian(head, chunk + 4, 4);
    chunk += 8 + size + (size & 1);
  }
  return std::nullopt;
}

// True when the pipe `fd` starts with a plain WAV header (IsPlainWave), whose bytes are left in
// `head`. Looks with tee(2), which leaves the bytes in the pipe, until the header tells or the
// pipe's writers are gone; false for a stream that is no pipe.
bool StartsWithPlainWave(int fd, std::string &head) {
  int scratch[2];
  if (::pipe2(scratch, O_CLOEXEC) != 0) {
    return false;
  }
  head.assign(kHeadLimit, '\0');
  std::size_t kept = 0;
  std::optional<bool> verdict;
  while (!verdict) {
    pollfd waiting{fd, POLLIN, 0};
    ::poll(&waiting, 1, -1);
    const ssize_t got = ::tee(fd, scratch[1], kHeadLimit, SPLICE_F_NONBLOCK);
    if (got < 0 && errno != EAGAIN && errno != EINTR) {
      break;
    }
    const ssize_t seen = got > 0 ? ::read(scratch[0], head.data(), kHeadLimit) : 0;
    kept = static_cast<std::size_t>(std::max<ssize_t>(seen, 0));
    verdict = IsPlainWave(std::string_view(head).substr(0, kept));
    if (!verdict && (seen == static_cast<ssize_t>(kHeadLimit) || (waiting.revents & POLLHUP))) {
      break;
    }
    if (!verdict) {
      // Part of the header is there: the rest comes soon.
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }
  ::close(scratch[0]);
  ::close(scratch[1]);
  head.resize(kept);
  return verdict.value_or(false);
}

// libsndfile's reason for a failure as the end of one of the program's sentences: without the
// "Error : " or "System error : " it starts with and the full stop it ends with.
std::string LibraryReason(std::string reason) {
  for (const std::string_view prefix : {"Error : ", "System error : "}) {
    if (reason.starts_with(prefix)) {
      reason.erase(0, prefix.size());
    }
  }
  while (!reason.empty() && (reason.back() == '.' || reason.back() == ' ')) {
    reason.pop_back();
  }
  return reason;
}

// The number of samples, as the end of a sentence.
std::string Samples(std::int64_t count) {
  return std::to_string(count) + (count == 1 ? " sample" : " samples");
}

std::int16_t ToSixteenBits(double sample) {
  // NaN fails both comparisons of the clamp and is taken as silence.
  if (!(sample == sample)) {
    return 0;
  }
  return static_cast<std::int16_t>(std::lrint(std::clamp(sample * 32767.0, -32768.0, 32767.0)));
}

// Opens a copy of `fd` for libsndfile, which owns and closes it: the library closes the
// descriptor it is given when an open fails, whatever it is told, and a second close of ours
// could then take a descriptor that another thread has just opened.
SNDFILE *OpenDescriptor(int fd, SF_INFO &info) {
  return sf_open_fd(::fcntl(fd, F_DUPFD_CLOEXEC, 0), SFM_READ, &info, SF_TRUE);
}

} // namespace

// The bytes of a CAF file whose data chunk's length is read as the length that the file holds.
struct AudioFile::Patched {
  int fd;
  std::uint64_t size;
  std::uint64_t lengthAt;
  sf_count_t position = 0;

  static sf_count_t Length(void *self) { return static_cast<sf_count_t>(Of(self).size); }
  static sf_count_t Seek(sf_count_t offset, int whence, void *self) {
    Patched &p = Of(self);
    const sf_count_t base = whence == SEEK_SET   ? 0
                            : whence == SEEK_CUR ? p.position
                                                 : static_cast<sf_count_t>(p.size);
    p.position = std::max<sf_count_t>(base + offset, 0);
    return p.position;
  }
  static sf_count_t Read(void *into, sf_count_t count, void *self) {
    Patched &p = Of(self);
    const std::string bytes = DescriptorBytes(p.fd)(static_cast<std::uint64_t>(p.position),
                                                    static_cast<std::size_t>(count));
    std::memcpy(into, bytes.data(), bytes.size());
    for (std::uint64_t i = p.lengthAt; i < p.lengthAt + 8; ++i) {
      const std::uint64_t at = i - static_cast<std::uint64_t>(p.position);
      if (i >= static_cast<std::uint64_t>(p.position) && at < bytes.size()) {
        // The length is big-endian.
        const std::uint64_t held = p.size - (p.lengthAt + 8);
        static_cast<char *>(into)[at] = static_cast<char>(held >> (8 * (p.lengthAt + 7 - i)));
      }
    }
    p.position += static_cast<sf_count_t>(bytes.size());
    return static_cast<sf_count_t>(bytes.size());
  }
  static sf_count_t Write(const void *, sf_count_t, void *) { return 0; }
  static sf_count_t Tell(void *self) { return Of(self).position; }
  static Patched &Of(void *self) { return *static_cast<Patched *>(self); }
};

AudioFile::AudioFile(const std::string &path) {
  struct stat status {};
  const bool found =
      path == "-" ? ::fstat(STDIN_FILENO, &status) == 0 : ::stat(path.c_str(), &status) == 0;
  if (found && S_ISDIR(status.st_mode)) {
    openError_ = "it is a directory";
    return;
  }
  if (found && (S_ISFIFO(status.st_mode) || S_ISSOCK(status.st_mode))) {
    const int fd = path == "-" ? ::fcntl(STDIN_FILENO, F_DUPFD_CLOEXEC, 0)
                               : ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
      openError_ = std::strerror(errno);
      return;
    }
    std::string head;
    if (StartsWithPlainWave(fd, head)) {
      // The library follows it as it comes: frames appear while it is being written.
      fd_ = fd;
      live_ = true;
      data_ = FindDataChunk([&head](std::uint64_t offset, std::size_t count) {
        return offset < head.size() ? head.substr(offset, count) : std::string();
      });
      Open([this] { return OpenDescriptor(fd_, info_); });
      return;
    }
    OpenCopy([fd](char *into, std::size_t size) -> std::int64_t {
      ssize_t got;
      while ((got = ::read(fd, into, size)) < 0 && errno == EINTR) {
      }
      return got;
    });
    ::close(fd);
    return;
  }
  fd_ = path == "-" ? ::fcntl(STDIN_FILENO, F_DUPFD_CLOEXEC, 0)
                    : ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd_ < 0) {
    openError_ = std::strerror(errno);
    return;
  }
  OpenSeekable();
  if (openError_ == "Format not recognised") {
    // libsndfile takes some names (.au, .snd, .gsm ...) for headerless data of a format. A
    // pipe has no name: the bytes alone tell the format, the same for both.
    SF_INFO byName{};
    const std::lock_guard guard(openLock);
    if (SNDFILE *const file = sf_open(path.c_str(), SFM_READ, &byName)) {
      sf_close(file);
      SF_FORMAT_INFO format{};
      format.format = byName.format & SF_FORMAT_TYPEMASK;
      sf_command(nullptr, SFC_GET_FORMAT_INFO, &format, sizeof format);
      openError_ += std::string(" (only its name says ") + format.name +
                    "; the bytes tell the format, as they must from a pipe)";
    }
  }
}

AudioFile::AudioFile(const Stream &stream) {
  OpenCopy(stream);
}

AudioFile::~AudioFile() {
  file_.reset();
  if (fd_ >= 0) {
    ::close(fd_);
  }
}

void AudioFile::OpenCopy(const Stream &stream) {
  fd_ = UnnamedTemporaryFile();
  if (fd_ < 0) {
    openError_ = std::string("cannot make a temporary file for its copy: ") + std::strerror(errno);
    return;
  }
  std::vector<char> chunk(kCopyChunk);
  for (std::int64_t got; (got = stream(chunk.data(), chunk.size())) != 0;) {
    if (got < 0) {
      openError_ = std::strerror(errno);
      return;
    }
    if (!WriteAll(fd_, {chunk.data(), static_cast<std::size_t>(got)})) {
      openError_ = std::string("cannot copy it to a temporary file: ") + std::strerror(errno);
      return;
    }
  }
  ::lseek(fd_, 0, SEEK_SET);
  OpenSeekable();
}

void AudioFile::OpenSeekable() {
  struct stat status {};
  if (::fstat(fd_, &status) != 0) {
    openError_ = std::strerror(errno);
    return;
  }
  size_ = static_cast<std::uint64_t>(status.st_size);
  if (size_ == 0) {
    openError_ = "it is empty";
    return;
  }
  data_ = FindDataChunk(DescriptorBytes(fd_));
  if (data_ && data_->cafLengthAt && (!data_->end || *data_->end > size_)) {
    patched_ = std::make_unique<Patched>(Patched{fd_, size_, *data_->cafLengthAt});
    static SF_VIRTUAL_IO io = {Patched::Length, Patched::Seek, Patched::Read, Patched::Write,
                               Patched::Tell};
    Open([this] { return sf_open_virtual(&io, SFM_READ, &info_, patched_.get()); });
  } else {
    Open([this] { return OpenDescriptor(fd_, info_); });
  }
  // A length that libsndfile cannot tell before the end (a cut Ogg stream) is none.
  if (IsOpen() && info_.frames < SF_COUNT_MAX) {
    length_ = info_.frames;
  }
}

void AudioFile::Open(const std::function<SNDFILE *()> &open) {
  {
    const std::lock_guard guard(openLock);
    file_.reset(open());
    if (file_ == nullptr) {
      // The library does not name every failure: some damaged data gives "No Error.", and data
      // that it takes for MPEG audio and then cannot decode is said to be no regular file.
      const std::string reason = sf_strerror(nullptr);
      openError_ = reason == "No Error." || reason.find("possibly a pipe") != std::string::npos
                       ? "the data is damaged or in no format libsndfile reads"
                       : LibraryReason(reason);
      info_.format = 0;
      return;
    }
  }
  const int subtype = info_.format & SF_FORMAT_SUBMASK;
  floatingPoint_ = subtype == SF_FORMAT_FLOAT || subtype == SF_FORMAT_DOUBLE;
}

void AudioFile::CheckContainer() {
  checked_ = true;
  if (live_ || (info_.format & SF_FORMAT_TYPEMASK) != SF_FORMAT_OGG) {
    return;
  }
  pages_ = WalkOggPages(DescriptorBytes(fd_), size_);
  if (pages_->damaged) {
    // Opus counts at 48 kHz from before the samples that its decoder drops.
    limit_ = pages_->opus ? std::max<std::int64_t>(pages_->granule - pages_->preSkip, 0) *
                                info_.samplerate / 48000
                          : pages_->granule;
  }
}

std::optional<std::string> AudioFile::Fault() {
  const std::string cut = "cut short after " + Samples(position_);
  const std::string damaged = "damaged after " + Samples(position_) + ": ";
  if (pages_ && pages_->damaged) {
    return damaged + "a page of the Ogg stream fails its check or is missing";
  }
  if (decodeError_) {
    return CutInsideFlacFrame() ? cut : damaged + *decodeError_;
  }
  return Shortfall();
}

bool AudioFile::CutInsideFlacFrame() const {
  return (info_.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_FLAC &&
         !FlacEndsWithWholeFrame(DescriptorBytes(fd_), size_);
}

std::optional<std::string> AudioFile::Shortfall() {
  const std::string cut = "cut short after " + Samples(position_);
  const std::string fewer =
      "damaged after " + Samples(position_) + ": the decoder gave fewer samples than the stream's ";
  // Fewer samples than libsndfile counted before the first.
  const bool promised = position_ < (live_ ? info_.frames : length_.value_or(0));
  switch (info_.format & SF_FORMAT_TYPEMASK) {
  case SF_FORMAT_OGG:
    if (!pages_->ended) {
      return cut;
    }
    return promised ? std::optional(fewer + "last page promises") : std::nullopt;
  case SF_FORMAT_FLAC:
    // A stream cut where a frame ends gives no error: its header gave its length.
    return promised ? std::optional(cut) : std::nullopt;
  case SF_FORMAT_MPEG: {
    const MpegCount count = ReadMpegCount(DescriptorBytes(fd_));
    if (!count.counted || !promised) {
      return std::nullopt;
    }
    return count.bytes && size_ < count.start + *count.bytes ? cut : fewer + "Xing header counts";
  }
  default:
    // From a file libsndfile counts the samples that it holds, not those that its header
    // promises; from a pipe, whose end it cannot know, the header's.
    if (!data_ || !data_->end) {
      return std::nullopt;
    }
    return (live_ ? promised : *data_->end > size_) ? std::optional(cut) : std::nullopt;
  }
}

bool AudioFile::ReadFrame(std::int64_t start, analysis::TimeFrame &frame) {
  if (!checked_) {
    CheckContainer();
  }
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
  // Nothing is read past a decoder's error or an Ogg stream's damage.
  while (done < count && !decodeError_ && (!limit_ || position_ < *limit_)) {
    const sf_count_t wanted =
        std::min<sf_count_t>({count - done, kChunk, limit_.value_or(SF_COUNT_MAX) - position_});
    std::int16_t *const into = samples != nullptr ? samples + done : nullptr;
    const sf_count_t got =
        floatingPoint_
            ? ReadChunk(sf_readf_double, doubles_, wanted, into, ToSixteenBits)
            : ReadChunk(sf_readf_short, shorts_, wanted, into, [](short s) { return s; });
    // Every call into the library clears the error of the last read: it is asked at once.
    if (sf_error(file_.get()) != SF_ERR_NO_ERROR) {
      decodeError_ = LibraryReason(sf_strerror(file_.get()));
      // A decoder stands in for a damaged block (the FLAC decoder with silence), and the read
      // that met the damage may already give it: unless the stream was merely cut short, none
      // of that read's samples is kept.
      if (!CutInsideFlacFrame()) {
        break;
      }
    }
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
