#include "core/staged_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <random>
#include <set>

#include "core/data_export.h"

namespace core {

namespace {

// The lock held while a file's name changes hands, and the named temporary files that exist
// now. Process-wide, so that a stop by a signal can wait for the one and remove the others.
struct Temporaries {
  std::mutex lock;
  std::set<std::string> names;
};

Temporaries &LiveTemporaries() {
  static Temporaries temporaries;
  return temporaries;
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

std::string FolderOf(const std::string &path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

// The named temporary files of this program end in ".~vireo-PID-NUMBER~": the process that
// made one is known by its name, and nothing else names files so.
constexpr std::string_view kTemporaryMark = ".~vireo-";

// A name beside `target` that nothing has yet, with this process's number in it.
std::string TemporaryName(const std::string &target) {
  static thread_local std::random_device random;
  return target + std::string(kTemporaryMark) + std::to_string(::getpid()) + '-' +
         std::to_string(random()) + '~';
}

// The number of the process that made the temporary file `name`, or nothing when the name is
// not one of this program's temporary names.
std::optional<pid_t> TemporaryOwner(std::string_view name) {
  const std::size_t mark = name.rfind(kTemporaryMark);
  if (mark == std::string_view::npos || !name.ends_with('~')) {
    return std::nullopt;
  }
  const std::string_view numbers =
      name.substr(mark + kTemporaryMark.size(), name.size() - mark - kTemporaryMark.size() - 1);
  pid_t owner = 0;
  unsigned long serial = 0;
  const std::size_t dash = numbers.find('-');
  const char *const end = numbers.data() + numbers.size();
  if (dash == std::string_view::npos ||
      std::from_chars(numbers.data(), numbers.data() + dash, owner).ptr != numbers.data() + dash ||
      std::from_chars(numbers.data() + dash + 1, end, serial).ptr != end || owner <= 0) {
    return std::nullopt;
  }
  return owner;
}

// Removes the temporary files in `folder` that a process of this program left when it was
// killed (SIGKILL leaves no time to remove them), once per folder and process: those whose
// process is gone. A process that lives, whoever it is now, keeps its names.
void RemoveStaleTemporaries(const std::string &folder) {
  static std::set<std::string> cleaned;
  if (!cleaned.insert(folder).second) {
    return;
  }
  DIR *const entries = ::opendir(folder.c_str());
  if (entries == nullptr) {
    return;
  }
  while (const dirent *entry = ::readdir(entries)) {
    const std::optional<pid_t> owner = TemporaryOwner(entry->d_name);
    if (owner && ::kill(*owner, 0) != 0 && errno == ESRCH) {
      ::unlinkat(::dirfd(entries), entry->d_name, 0);
    }
  }
  ::closedir(entries);
}

// Gives the unnamed file open as `fd` the name `name`.
bool LinkDescriptor(int fd, const std::string &name) {
  const std::string self = "/proc/self/fd/" + std::to_string(fd);
  if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) {
    return true;
  }
  // Without /proc the descriptor itself is linked, which needs a privilege.
  return errno == ENOENT && ::access("/proc/self/fd", F_OK) != 0 &&
         ::linkat(fd, "", AT_FDCWD, name.c_str(), AT_EMPTY_PATH) == 0;
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

} // namespace

StagedFile::~StagedFile() {
  Discard();
}

void StagedFile::Discard() {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
  if (!temporary_.empty()) {
    Temporaries &live = LiveTemporaries();
    const std::lock_guard guard(live.lock);
    ::unlink(temporary_.c_str());
    live.names.erase(temporary_);
    temporary_.clear();
  }
}

bool StagedFile::Open(const std::string &fileName) {
  Discard();
  name_ = fileName;
  // A name with an embedded NUL would silently name another file.
  if (fileName.find('\0') != std::string::npos) {
    errno = EINVAL;
    return false;
  }
  target_ = ResolveLinks(fileName);
  struct stat existing {};
  exists_ = ::stat(target_.c_str(), &existing) == 0;
  inPlace_ = exists_ && !S_ISREG(existing.st_mode);
  if (exists_ && S_ISDIR(existing.st_mode)) {
    errno = EISDIR;
    return false;
  }
  // A device or pipe cannot be replaced by a new file: it is written in place.
  if (inPlace_) {
    fd_ = ::open(target_.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    return fd_ >= 0;
  }
  if (exists_ && ::faccessat(AT_FDCWD, target_.c_str(), W_OK, AT_EACCESS) != 0) {
    return false;
  }
  mode_ = existing.st_mode & 07777;
  {
    const std::lock_guard guard(LiveTemporaries().lock);
    RemoveStaleTemporaries(FolderOf(target_));
  }
  fd_ = ::open(FolderOf(target_).c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
  if (fd_ >= 0 || (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)) {
    return fd_ >= 0;
  }
  Temporaries &live = LiveTemporaries();
  const std::lock_guard guard(live.lock);
  for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
    temporary_ = TemporaryName(target_);
    fd_ = ::open(temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd_ < 0 && errno != EEXIST) {
      break;
    }
  }
  if (fd_ < 0) {
    temporary_.clear();
    return false;
  }
  live.names.insert(temporary_);
  return true;
}

bool StagedFile::Write(std::string_view text) {
  return fd_ >= 0 && WriteAll(fd_, text);
}

bool StagedFile::Sync() {
  if (fd_ < 0) {
    errno = EBADF;
    return false;
  }
  if (inPlace_) {
    return true;
  }
  if ((exists_ && ::fchmod(fd_, mode_) != 0) || ::fsync(fd_) != 0) {
    const int error = errno;
    Discard();
    errno = error;
    return false;
  }
  return true;
}

bool StagedFile::Link() {
  bool linked = inPlace_;
  if (!temporary_.empty()) {
    linked = std::rename(temporary_.c_str(), target_.c_str()) == 0;
    if (!linked) {
      ::unlink(temporary_.c_str());
    }
    LiveTemporaries().names.erase(temporary_);
    temporary_.clear();
  } else if (!inPlace_) {
    linked = !exists_ && LinkDescriptor(fd_, target_);
    if (!linked && (exists_ || errno == EEXIST)) {
      // A file cannot be linked over another: a name beside it is renamed over it, in one step.
      std::string name = TemporaryName(target_);
      bool named = LinkDescriptor(fd_, name);
      for (int attempt = 0; attempt < 100 && !named && errno == EEXIST; ++attempt) {
        name = TemporaryName(target_);
        named = LinkDescriptor(fd_, name);
      }
      linked = named && std::rename(name.c_str(), target_.c_str()) == 0;
      if (named && !linked) {
        const int error = errno;
        ::unlink(name.c_str());
        errno = error;
      }
    }
  }
  const int error = errno;
  const bool closed = ::close(fd_) == 0;
  fd_ = -1;
  if (!linked) {
    errno = error;
  }
  return linked && closed;
}

bool StagedFile::Commit() {
  if (!Sync()) {
    return false;
  }
  const std::lock_guard guard(LiveTemporaries().lock);
  return Link();
}

const StagedFile *StagedFile::CommitPair(StagedFile &first, StagedFile &second) {
  if (!first.Sync()) {
    return &first;
  }
  if (!second.Sync()) {
    return &second;
  }
  const std::lock_guard guard(LiveTemporaries().lock);
  return !first.Link() ? &first : !second.Link() ? &second : nullptr;
}

void AbandonStagedFiles() {
  Temporaries &live = LiveTemporaries();
  live.lock.lock();
  for (const std::string &name : live.names) {
    ::unlink(name.c_str());
  }
  live.names.clear();
}

bool WriteExportFile(const std::string &fileName, std::string_view text) {
  StagedFile file;
  return file.Open(fileName) && file.Write(text) && file.Commit();
}

} // namespace core
