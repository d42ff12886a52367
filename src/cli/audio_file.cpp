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
// Writers to a pipe put a length from here up into a header that they cannot go back to: it
// says "to the end", not how much data there is.
constexpr std::int64_t kUnknownLength = 0x7FFF0000;

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

// True when the pipe `fd` starts with a plain WAV header (IsPlainWave). Looks with tee(2),
// which leaves the bytes in the pipe, until the header tells or the pipe's writers are gone;
// false for a stream that is no pipe.
bool StartsWithPlainWave(int fd) {
  int scratch[2];
  if (::pipe2(scratch, O_CLOEXEC) != 0) {
    return false;
  }
  std::string head(kHeadLimit, '\0');
  std::optional<bool> verdict;
  while (!verdict) {
    pollfd waiting{fd, POLLIN, 0};
    ::poll(&waiting, 1, -1);
    const ssize_t got = ::tee(fd, scratch[1], kHeadLimit, SPLICE_F_NONBLOCK);
    if (got < 0 && errno != EAGAIN && errno != EINTR) {
      break;
    }
    const ssize_t seen = got > 0 ? ::read(scratch[0], head.data(), kHeadLimit) : 0;
    verdict = IsPlainWave(std::string_view(head).substr(0, std::max<ssize_t>(seen, 0)));
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
  return verdict.value_or(false);
}

// What the library's log says of the length of the data.
struct LengthNote {
  // A header of WAV and its kin ("data : 88200") or of AIFF ("SSND : ...") gives a length
  // that is no placeholder.
  bool promised = false;
  // The input held less than that ("data : 88200 (should be 52902)"), or is an Ogg stream
  // without its end.
  bool cutShort = false;
};

LengthNote ReadLengthNote(const std::string &log) {
  LengthNote note;
  note.cutShort = log.find("File ended unexpectedly") != std::string::npos;
  for (std::size_t start = 0; start < log.size();) {
    const std::size_t end = std::min(log.find('\n', start), log.size());
    std::string_view line = std::string_view(log).substr(start, end - start);
    start = end + 1;
    line.remove_prefix(std::min(line.find_first_not_of(' '), line.size()));
    if ((line.starts_with("data : ") || line.starts_with("SSND : ")) &&
        std::strtoll(line.data() + 7, nullptr, 10) < kUnknownLength) {
      note.promised = true;
      note.cutShort |= line.find("(should be") != std::string_view::npos;
    }
  }
  return note;
}

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
  const bool found =
      path == "-" ? ::fstat(STDIN_FILENO, &status) == 0 : ::stat(path.c_str(), &status) == 0;
  if (found && S_ISDIR(status.st_mode)) {
    openError_ = "is a directory";
    return;
  }
  if (found && (S_ISFIFO(status.st_mode) || S_ISSOCK(status.st_mode))) {
    const int fd = path == "-" ? ::fcntl(STDIN_FILENO, F_DUPFD_CLOEXEC, 0)
                               : ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
      openError_ = std::strerror(errno);
      return;
    }
    if (StartsWithPlainWave(fd)) {
      // The library follows it as it comes: frames appear while it is being written.
      fd_ = fd;
      live_ = true;
      Open([this] { return sf_open_fd(fd_, SFM_READ, &info_, SF_FALSE); });
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
  Open([&path, this] { return sf_open(path.c_str(), SFM_READ, &info_); });
  if (found && S_ISREG(status.st_mode)) {
    length_ = info_.frames;
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
  Open([this] { return sf_open_fd(fd_, SFM_READ, &info_, SF_FALSE); });
  if (IsOpen()) {
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
                       : reason;
      return;
    }
  }
  const int subtype = info_.format & SF_FORMAT_SUBMASK;
  floatingPoint_ = subtype == SF_FORMAT_FLOAT || subtype == SF_FORMAT_DOUBLE;
}

bool AudioFile::CutShort() const {
  if (file_ == nullptr) {
    return false;
  }
  // Every call into the library clears the error of the last read: it is asked first.
  if (sf_error(file_.get()) != SF_ERR_NO_ERROR) {
    return true;
  }
  std::string log(16384, '\0');
  sf_command(file_.get(), SFC_GET_LOG_INFO, log.data(), static_cast<int>(log.size()));
  log.resize(std::strlen(log.c_str()));
  const LengthNote note = ReadLengthNote(log);
  // From a pipe read as it comes, the library cannot compare the length with the input's.
  return note.cutShort || (live_ && note.promised && position_ < info_.frames);
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
