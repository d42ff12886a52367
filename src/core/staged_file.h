// Files that appear whole or not at all: their content is written where no one can see it and
// takes the file's name only once every byte is on disk.
#pragma once

#include <string>
#include <string_view>

namespace core {

// The new content of one file. It is written into an unnamed file in the target's folder
// (O_TMPFILE), which vanishes with the process whatever ends it, and linked into place by
// Commit. Where the file system has no unnamed files, a named one beside the target is used
// and removed again on failure, by the destructor and by AbandonStagedFiles; an existing file
// is replaced through a name beside it, renamed over it. Such names end in ".~vireo-PID-N~",
// PID the process's number: a process killed outright (SIGKILL) cannot remove its own, so the
// next one that writes into the folder removes those of processes that are gone.
//
// Open follows a symbolic link to the file it names, so the link stays a link. A device or
// pipe is written in place. An existing file that the process may not write to is refused
// (EACCES), as a plain write would refuse it; an existing file keeps its permission bits.
// Every failure leaves errno set.
class StagedFile {
public:
  StagedFile() = default;
  StagedFile(const StagedFile &) = delete;
  StagedFile &operator=(const StagedFile &) = delete;
  // Discards content that was not committed.
  ~StagedFile();

  bool Open(const std::string &fileName);
  bool Write(std::string_view text);
  // Syncs the content and gives it the file's name, replacing the old file in one step.
  bool Commit();
  // The name given to Open.
  const std::string &Name() const { return name_; }

  // Commits `first` and then `second`, both synced before either takes its name: whatever
  // ends the process, `second` is new only when `first` is new as well. A stop through
  // AbandonStagedFiles never falls between the two. Returns the file that failed, or null.
  static const StagedFile *CommitPair(StagedFile &first, StagedFile &second);

private:
  bool Sync();
  bool Link();
  void Discard();

  std::string name_;
  std::string target_;
  int fd_ = -1;
  bool inPlace_ = false;
  bool exists_ = false;
  unsigned mode_ = 0;
  std::string temporary_; // the named stand-in, where unnamed files are not available
};

// For a process about to end by a signal: waits for a commit in progress, removes every named
// temporary file and blocks all further commits. Never returns the commits' lock.
void AbandonStagedFiles();

} // namespace core
