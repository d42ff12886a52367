#include "cli/audio_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string_view>

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

// An unnamed file in $TMPDIR (or /tmp) that vanishes with its descriptor; -1 with errno set.
int UnnamedTemporaryFile() {
  const char *const variable = std::getenv("TMPDIR");
  const std::string folder = variable != nullptr && *variable != '\0' ? variable : "/tmp";
  int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (fd < 0 && (errno == EOPNOTSUPP || errno == EISDIR)) {
    // A file system without unnamed files: a named one, unlinked at once.
    std::string name = folder + "/vireo-analyse-XXXXXX";
    fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd >= 0) {
      ::unlink(name.c_str());
    }
  }
  return fd;
}

// Writes all of `data` to `fd`; false with errno set when it cannot.
bool WriteAll(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t written = ::write(fd, data.data(), data.size());
    if (written < 0 && errno != EINTR) {
      return false;
    }
    data.remove_prefix(static_cast<std::size_t>(std::max<ssize_t>(written, 0)));
  }
  return true;
}

// True when a line of the library's log says that a header promised more data than the input
// held: "data : 88200 (should be 52902)" of WAV and its kin, "SSND : ..." of AIFF, or an Ogg
// stream without its end.
bool LogSaysCutShort(const std::string &log) {
  if (log.find("File ended unexpectedly") != std::string::npos) {
    return true;
  }
  for (std::size_t start = 0; start < log.size();) {
    const std::size_t end = std::min(log.find('\n', start), log.size());
    std::string_view line = std::string_view(log).substr(start, end - start);
    start = end + 1;
    line.remove_prefix(std::min(line.find_first_not_of(' '), line.size()));
    if ((line.starts_with("data : ") || line.starts_with("SSND : ")) &&
        line.find("(should be") != std::string_view::npos &&
        std::strtoll(line.data() + 7, nullptr, 10) < kUnknownLength) {
      return true;
    }
  }
  return false;
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
    const int fd = path == "-" ? STDIN_FILENO : ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
      openError_ = std::strerror(errno);
      return;
    }
    OpenCopy([fd](char *into, std::size_t size) -> std::int64_t {
      ssize_t got;
      while ((got = ::read(fd, into, size)) < 0 && errno == EINTR) {
      }
      return got;
    });
    if (fd != STDIN_FILENO) {
      ::close(fd);
    }
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
  if (copy_ >= 0) {
    ::close(copy_);
  }
}

void AudioFile::OpenCopy(const Stream &stream) {
  copy_ = UnnamedTemporaryFile();
  if (copy_ < 0) {
    openError_ = std::string("cannot make a temporary file for its copy: ") + std::strerror(errno);
    return;
  }
  std::vector<char> chunk(kCopyChunk);
  for (std::int64_t got; (got = stream(chunk.data(), chunk.size())) != 0;) {
    if (got < 0) {
      openError_ = std::strerror(errno);
      return;
    }
    if (!WriteAll(copy_, {chunk.data(), static_cast<std::size_t>(got)})) {
      openError_ = std::string("cannot copy it to a temporary file: ") + std::strerror(errno);
      return;
    }
  }
  ::lseek(copy_, 0, SEEK_SET);
  Open([this] { return sf_open_fd(copy_, SFM_READ, &info_, SF_FALSE); });
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
  return LogSaysCutShort(log);
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
