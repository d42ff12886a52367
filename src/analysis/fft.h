#pragma once

// Forward 4096-point radix-2 FFT of a real frame, unnormalised, with its process-wide tables.

#include "analysis/frame.h"

#include <array>
#include <cstdint>

namespace analysis {

// BitReverse[i] is i with its 12 bits in reverse order.
extern std::array<std::int32_t, kFrameLength> BitReverse;
// CosTable[i] = cos(i * w) and NegSinTable[i] = -sin(i * w), w being 2π/4096 rounded to float:
// the nearest doubles, but for nine entries one ulp off that the analysis has always used.
extern std::array<double, kFrameLength> CosTable;
extern std::array<double, kFrameLength> NegSinTable;

// Both fill all the tables above once, on the first call from any thread; for code that reads
// the tables before its first ComputeFFT.
void BuildBitReverseTable();
void BuildTwiddleTables();

// Writes the unnormalised forward DFT of `input` to `output` (bin k = sum of x[n] e^(-j2πnk/4096)),
// bin k in natural order. Builds the tables on first use; does no trigonometry and no allocation.
void ComputeFFT(const TimeFrame &input, SpectrumFrame &output);

} // namespace analysis
