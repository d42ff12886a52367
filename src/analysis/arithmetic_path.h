#pragma once

// Which implementation of the exact frame arithmetic runs, and how often it had to redo a value
// at extended precision. Every path gives the same bits; the choice only changes the speed.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace analysis {

// The implementations of every architecture, narrowest first: one double at a time; 128-bit
// vectors (NEON on arm64, SSE4.1 + FMA on x86-64); AVX2 + FMA; AVX-512 (F, DQ, VL). Which of
// them a build has is its architecture's table of lane sets (vector_lanes.h).
enum class ArithmeticPath { Portable, Lanes128, Avx2, Avx512 };
// Their names in that order, as VIREO_ARITHMETIC takes them and --version shows them.
inline constexpr std::array<std::string_view, 4> kPathNames = {"portable", "128", "avx2", "avx512"};

// kPathNames[path].
std::string_view PathName(ArithmeticPath path);

// The paths that this build has and this CPU can run, narrowest first: portable always.
std::span<const ArithmeticPath> AvailablePaths();

// The path that runs: the forced one, else the one VIREO_ARITHMETIC names (read at the first
// call), else the widest available.
ArithmeticPath CurrentPath();

// Runs `path` from now on, which must be available (for tests and benchmarks); std::nullopt
// restores the choice made from the CPU and the environment.
void ForcePath(std::optional<ArithmeticPath> path);

// A one-line message when VIREO_ARITHMETIC names no path or one that this CPU cannot run; a
// program refuses to start with it.
std::optional<std::string> PathChoiceError();

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
