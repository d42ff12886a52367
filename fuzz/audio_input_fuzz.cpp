// The audio reader and the frame source of vireo-analyse on any bytes, given as `-`: the
// program's standard input is a pipe that holds them, as in `cat FILE | vireo-analyse -`. The
// first four bytes choose how the frames are taken (hop, start and count, overlapping frames
// and gaps included); the rest is the input. Every input either gives its frames or ends with
// one line that says why.
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "cli/frame_source.h"
#include "cli/options.h"
#include "core/measurement.h"

namespace {

constexpr std::size_t kChoices = 4;
// Frames taken at most from one input, so that a tiny hop cannot make a run long.
constexpr int kMostFrames = 64;

// Makes standard input a pipe that holds `size` bytes and then ends.
void FeedStandardInput(const std::uint8_t *data, std::size_t size) {
  int ends[2];
  if (pipe(ends) != 0) {
    std::abort();
  }
  // A closed standard input gives its number to the read end.
  if (ends[0] != STDIN_FILENO) {
    dup2(ends[0], STDIN_FILENO);
    close(ends[0]);
  }
  // Room for the whole input, so that it is written before it is read: 1 MiB where the system
  // allows it, else the default 64 KiB, the most that scripts/fuzz gives. A longer input is cut.
  fcntl(ends[1], F_SETPIPE_SZ, 1 << 20);
  fcntl(ends[1], F_SETFL, O_NONBLOCK);
  while (size > 0) {
    const ssize_t written = write(ends[1], data, size);
    if (written <= 0) {
      break;
    }
    data += written;
    size -= static_cast<std::size_t>(written);
  }
  close(ends[1]);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  if (size < kChoices) {
    return 0;
  }
  cli::Options options;
  options.hop = 1 + (data[0] | data[1] << 8) % (2 * analysis::kFrameLength);
  options.start = data[2] * 64;
  if (data[3] % kMostFrames != 0) {
    options.frames = data[3] % kMostFrames;
  }
  FeedStandardInput(data + kChoices, size - kChoices);

  std::string error;
  cli::FrameSource source(options, "-", error);
  int index = 0;
  if (source.IsOpen()) {
    core::Measurement run;
    const std::atomic<bool> stop = false;
    while (index < kMostFrames && source.Next(index, run, stop, error)) {
      ++index;
    }
  }
  // An input ends without a line of error only after the frames asked for or, without a
  // count, after its first frame.
  const bool silent = index < (options.frames ? *options.frames : 1) && error.empty();
  if (silent || error.find('\n') != std::string::npos) {
    std::abort();
  }
  return 0;
}
