#pragma once

// Which implementation of the exact frame arithmetic runs, and how often it had to redo a value
// at extended precision. Every path gives the same bits; the choice only changes the speed.

#include <cstdint>

namespace analysis {

// True when the AVX2 + FMA code runs: the CPU has both, the environment does not ask for the
// portable code (VIREO_ARITHMETIC=portable, read at the first call, lets a whole test run cover
// it) and it is not forced.
bool UsesVectorPath();

// With true, the portable code runs even on a CPU with AVX2 and FMA; false restores the choice
// made from the CPU and the environment. For tests and benchmarks.
void ForcePortablePath(bool portable);

// Values that the fast code could not decide in double precision and recomputed the literal
// extended-precision way, counted on the calling thread since it started (frame passes may run
// on several threads at once).
struct LiteralFallbacks {
  std::uint64_t butterflies = 0;
  std::uint64_t samples = 0;
  std::uint64_t levels = 0;
};
LiteralFallbacks &Fallbacks();

} // namespace analysis
