// Text from jobs that run at once, passed on in the jobs' order.
#pragma once

#include <chrono>
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace cli {

// The first unfinished job writes straight through; the others keep their text in an unnamed
// temporary file (in memory where none can be made) until their turn comes, so the result is
// the same whatever order the jobs run in and memory stays small.
class OrderedOutput {
public:
  // `sink` takes the text in order; false when it could not.
  using Sink = std::function<bool(std::string_view)>;
  OrderedOutput(std::size_t jobs, Sink sink);
  ~OrderedOutput();
  OrderedOutput(const OrderedOutput &) = delete;
  OrderedOutput &operator=(const OrderedOutput &) = delete;

  void Write(std::size_t job, std::string_view text);
  // The job has written all it will; the jobs after it may follow.
  void Finish(std::size_t job);
  // The errno of the sink's refusal of text (EIO when it gave none), or 0 while it took all;
  // nothing more is passed to it after a refusal.
  int Failure();
  // For a stop, so that it never falls inside a piece of text: takes the lock for good, unless
  // a write stays blocked (a full pipe) for longer than `patience`.
  void Hold(std::chrono::milliseconds patience) { (void)mutex_.try_lock_for(patience); }

private:
  struct Slot {
    std::FILE *spill = nullptr;
    std::string held;
    bool done = false;
  };
  void Pass(std::string_view text);
  void Release(Slot &slot);

  std::timed_mutex mutex_;
  std::vector<Slot> slots_;
  std::size_t head_ = 0;
  Sink sink_;
  int failure_ = 0;
};

} // namespace cli
