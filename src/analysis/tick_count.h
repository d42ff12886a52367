#pragma once

// A millisecond counter for timing frame passes.

#include <cstdint>

namespace analysis {

// Milliseconds of the monotonic clock, wrapping around every 2^32 ms (about 49.7 days).
std::uint32_t GetTickCount();

// Milliseconds from `start` to `end`, correct across one wrap of the counter.
std::uint32_t ElapsedTicks(std::uint32_t start, std::uint32_t end);

} // namespace analysis
