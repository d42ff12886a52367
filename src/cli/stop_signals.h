// Ctrl-C and its kin (SIGINT, SIGTERM, SIGHUP) for a run with several threads: they are taken
// by one watcher thread, never in the middle of another thread's work.
#pragma once

#include <functional>
#include <thread>

namespace cli {

class StopSignals {
public:
  // Blocks the three signals, except those ignored on entry, for the calling thread and every
  // thread it starts afterwards, and calls `onStop` with the signal number on the watcher thread
  // when one arrives.
  explicit StopSignals(std::function<void(int)> onStop);

private:
  // Stopped and joined with the object; the signals stay blocked.
  std::jthread watcher_;
};

// Ends the process by `signal` as if it had not been caught, so that a shell sees how the
// program ended. For the watcher thread.
[[noreturn]] void EndBySignal(int signal);

} // namespace cli
