#include "cli/ordered_output.h"

#include <array>
#include <cerrno>

namespace cli {

OrderedOutput::OrderedOutput(std::size_t jobs, Sink sink) : slots_(jobs), sink_(std::move(sink)) {}

OrderedOutput::~OrderedOutput() {
  for (Slot &slot : slots_) {
    if (slot.spill != nullptr) {
      std::fclose(slot.spill);
    }
  }
}

void OrderedOutput::Write(std::size_t job, std::string_view text) {
  const std::lock_guard guard(mutex_);
  Slot &slot = slots_[job];
  if (job == head_) {
    Pass(text);
    return;
  }
  if (slot.spill == nullptr && slot.held.empty()) {
    slot.spill = std::tmpfile();
  }
  if (slot.spill == nullptr ||
      std::fwrite(text.data(), 1, text.size(), slot.spill) != text.size()) {
    slot.held += text;
  }
}

void OrderedOutput::Finish(std::size_t job) {
  const std::lock_guard guard(mutex_);
  slots_[job].done = true;
  while (head_ < slots_.size() && slots_[head_].done) {
    if (++head_ < slots_.size()) {
      Release(slots_[head_]);
    }
  }
}

int OrderedOutput::Failure() {
  const std::lock_guard guard(mutex_);
  return failure_;
}

void OrderedOutput::Pass(std::string_view text) {
  errno = 0;
  if (failure_ == 0 && !text.empty() && !sink_(text)) {
    failure_ = errno != 0 ? errno : EIO;
  }
}

void OrderedOutput::Release(Slot &slot) {
  if (slot.spill != nullptr) {
    std::rewind(slot.spill);
    std::array<char, 65536> chunk;
    for (std::size_t count; (count = std::fread(chunk.data(), 1, chunk.size(), slot.spill)) > 0;) {
      Pass({chunk.data(), count});
    }
    std::fclose(slot.spill);
    slot.spill = nullptr;
  }
  Pass(slot.held);
  slot.held.clear();
}

} // namespace cli
