#pragma once

// Forward 4096-point radix-2 FFT of a real frame, unnormalised, and the tables it runs on.

#include "analysis/frame.h"

#include <array>
#include <cstdint>

namespace analysis {

// The transform's tables: one immutable object that every transform reads, as a plan owns its
// twiddles. The compiler builds it, once: no thread builds or locks anything at run time.
class FftTables {
public:
  static const FftTables &Get();

  // BitReverse[i] is i with its 12 bits in reverse order.
  std::array<std::int32_t, kFrameLength> BitReverse{};
  // CosTable[i] = cos(i * w) and NegSinTable[i] = -sin(i * w), w being 2π/4096 rounded to float:
  // the nearest doubles, but for nine entries one ulp off that the analysis has always used.
  std::array<double, kFrameLength> CosTable{};
  std::array<double, kFrameLength> NegSinTable{};
  // The twiddles as the butterflies use them, rounded to float (and held as doubles) and laid
  // out stage by stage: the stage of half span H reads entries H … 2H - 1, entry H + k belonging
  // to its k-th butterfly.
  alignas(64) std::array<double, kFrameLength> StageCos{};
  alignas(64) std::array<double, kFrameLength> StageNegSin{};

private:
  constexpr FftTables();
  static const FftTables kTables;
};

// The transform's steps that build its tables, for code that reads them before its first
// ComputeFFT: with the tables built by the compiler they have nothing left to do.
void BuildBitReverseTable();
void BuildTwiddleTables();

// Writes the unnormalised forward DFT of `input` to `output` (bin k = sum of x[n] e^(-j2πnk/4096)),
// bin k in natural order. Does no trigonometry and no allocation.
void ComputeFFT(const TimeFrame &input, SpectrumFrame &output);

} // namespace analysis
