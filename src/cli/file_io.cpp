#include "cli/file_io.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

namespace cli {

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

bool ReadAllAt(int fd, char *into, std::size_t size, std::int64_t offset) {
  while (size > 0) {
    const ssize_t got = ::pread(fd, into, size, offset);
    if (got == 0) {
      errno = EIO;
    }
    if (got <= 0 && (got == 0 || errno != EINTR)) {
      return false;
    }
    const std::size_t read = static_cast<std::size_t>(std::max<ssize_t>(got, 0));
    into += read;
    size -= read;
    offset += static_cast<std::int64_t>(read);
  }
  return true;
}

std::string Reason() {
  return errno != 0 ? std::string(": ") + std::strerror(errno) : std::string();
}

std::string SpoolFailure(const char *what) {
  return std::string("cannot ") + what +
         " the spectrogram's temporary file: " + std::strerror(errno);
}

} // namespace cli
