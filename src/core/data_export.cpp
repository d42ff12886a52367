#include "core/data_export.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <random>

#include "analysis/level.h"
#include "display/number_format.h"

namespace {

constexpr int kDecimals = 6;
constexpr long double kBinScale = 1.0L / analysis::kFrameLength;
constexpr std::string_view kLineEnd = "\r\n";

// About the length of one line, so that the text is allocated once.
constexpr std::size_t kLineReserve = 32;

// "first", TAB, then `second` with six decimals.
std::string Line(std::string first, double second) {
  first += '\t';
  first += display::FormatFixed(second, kDecimals);
  return first;
}

// The file a name finally stands for: a symbolic link is followed to its target, so that the
// link stays a link and its target gets the new text. A link to nothing yet stays as it is.
std::string ResolveLinks(const std::string &fileName) {
  struct stat link {};
  if (::lstat(fileName.c_str(), &link) != 0 || !S_ISLNK(link.st_mode)) {
    return fileName;
  }
  char resolved[PATH_MAX];
  return ::realpath(fileName.c_str(), resolved) != nullptr ? std::string(resolved) : fileName;
}

bool WriteAll(int fd, std::string_view text) {
  while (!text.empty()) {
    const ssize_t count = ::write(fd, text.data(), text.size());
    if (count < 0 && errno == EINTR) {
      continue;
    }
    if (count <= 0) {
      return false;
    }
    text.remove_prefix(static_cast<std::size_t>(count));
  }
  return true;
}

bool WriteInPlace(const std::string &fileName, std::string_view text) {
  const int fd = ::open(fileName.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) {
    return false;
  }
  const bool written = WriteAll(fd, text);
  return ::close(fd) == 0 && written;
}

// Creates a new, empty file with a unique name in the folder of `target`, with the permissions
// a newly created file gets; returns its descriptor, or -1.
int CreateTemporary(const std::string &target, std::string &name) {
  std::random_device random;
  for (int attempt = 0; attempt < 100; ++attempt) {
    name = target + ".tmp" + std::to_string(random());
    const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) {
      return fd;
    }
  }
  return -1;
}

} // namespace

std::string FormatRawData(const analysis::TimeFrame &timeData) {
  std::string text;
  text.reserve(analysis::kFrameLength * kLineReserve);
  for (int i = 0; i < analysis::kFrameLength; ++i) {
    text += Line(std::to_string(i), timeData[i]);
    text += kLineEnd;
  }
  return text;
}

std::string SpectrumLine(const analysis::SpectrumFrame &spectrumData, int bin, double sampleRate,
                         bool decibel) {
  const double re = spectrumData[2 * bin];
  const double im = spectrumData[2 * bin + 1];
  const double frequency = static_cast<double>(bin * kBinScale * sampleRate);
  // The level scale counts attenuation; the file shows the power in dB, so the sign flips
  // and the zero-power level 999 becomes -999.
  const double value = decibel ? -analysis::BinLevel(re, im, true)
                               : analysis::LevelToAmplitude(analysis::BinLevel(re, im, false));
  return Line(display::FormatFixed(frequency, kDecimals), value);
}

std::string FormatSpectrumData(const analysis::SpectrumFrame &spectrumData, double sampleRate,
                               bool decibel) {
  std::string text;
  text.reserve(analysis::kFrameLength * kLineReserve);
  for (int j = 0; j < analysis::kFrameLength; ++j) {
    text += SpectrumLine(spectrumData, j, sampleRate, decibel);
    text += kLineEnd;
  }
  return text;
}

bool WriteExportFile(const std::string &fileName, std::string_view text) {
  // A name with an embedded NUL would silently name another file.
  if (fileName.find('\0') != std::string::npos) {
    return false;
  }
  const std::string target = ResolveLinks(fileName);
  struct stat existing {};
  const bool exists = ::stat(target.c_str(), &existing) == 0;
  // A device or pipe cannot be replaced by a new file: it is written in place.
  if (exists && !S_ISREG(existing.st_mode)) {
    return WriteInPlace(target, text);
  }
  // The text goes to a new file beside the target, which replaces the target only once every
  // byte is on disk: a failure leaves the old file as it was and no cut-off file behind.
  std::string temporary;
  const int fd = CreateTemporary(target, temporary);
  if (fd < 0) {
    return false;
  }
  bool written = WriteAll(fd, text) && (!exists || ::fchmod(fd, existing.st_mode & 07777) == 0) &&
                 ::fsync(fd) == 0;
  written = ::close(fd) == 0 && written;
  if (!written || std::rename(temporary.c_str(), target.c_str()) != 0) {
    ::unlink(temporary.c_str());
    return false;
  }
  return true;
}
