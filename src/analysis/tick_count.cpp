#include "analysis/tick_count.h"

#include <chrono>

namespace analysis {

std::uint32_t GetTickCount() {
  const auto sinceStart = std::chrono::steady_clock::now().time_since_epoch();
  return static_cast<std::uint32_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(sinceStart).count());
}

std::uint32_t ElapsedTicks(std::uint32_t start, std::uint32_t end) {
  return end - start;
}

} // namespace analysis
