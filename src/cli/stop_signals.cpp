#include "cli/stop_signals.h"

#include <csignal>
#include <cstdlib>
#include <ctime>

namespace cli {

StopSignals::StopSignals(std::function<void(int)> onStop) {
  sigset_t set;
  sigemptyset(&set);
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
    // A signal ignored on entry (a background job of a shell script) stays ignored: blocked
    // and waited for, it would be taken after all.
    struct sigaction action {};
    if (sigaction(signal, nullptr, &action) == 0 && action.sa_handler != SIG_IGN) {
      sigaddset(&set, signal);
    }
  }
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  watcher_ = std::jthread([set, onStop = std::move(onStop)](std::stop_token stop) {
    // Looks for a signal ten times a second, and for the end of the run in between.
    const timespec interval{0, 100'000'000};
    while (!stop.stop_requested()) {
      const int signal = sigtimedwait(&set, nullptr, &interval);
      if (signal > 0) {
        onStop(signal);
      }
    }
  });
}

void EndBySignal(int signal) {
  std::signal(signal, SIG_DFL);
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, signal);
  pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
  std::raise(signal);
  std::_Exit(128 + signal);
}

} // namespace cli
