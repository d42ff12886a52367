#include "analysis/fft.h"

#include <cmath>

namespace analysis {

std::array<std::int32_t, kFrameLength> BitReverse;
std::array<double, kFrameLength> CosTable;
std::array<double, kFrameLength> NegSinTable;

namespace {

// 2π/4096 rounded to the nearest float: 13176795 × 2^-33, a little above the exact step.
constexpr float kAngleStep = 13176795 * 0x1p-33f;

} // namespace

void BuildBitReverseTable() {
  // A counter that adds one at the most significant of the 12 bits and carries downwards. It is
  // not advanced past the last entry: from 4095 the carry would run off the bottom.
  std::int32_t reversed = 0;
  for (int i = 0; i < kFrameLength; ++i) {
    BitReverse[i] = reversed;
    if (i == kFrameLength - 1) {
      break;
    }
    std::int32_t bit = kFrameLength / 2;
    while (bit <= reversed) {
      reversed -= bit;
      bit /= 2;
    }
    reversed += bit;
  }
}

void BuildTwiddleTables() {
  for (int i = 0; i < kFrameLength; ++i) {
    // i × step needs at most 36 bits, so the double product is exact.
    const double angle = i * static_cast<double>(kAngleStep);
    CosTable[i] = std::cos(angle);
    NegSinTable[i] = -std::sin(angle);
  }
}

void ComputeFFT(const TimeFrame &input, SpectrumFrame &output) {
  for (int i = 0; i < kFrameLength; ++i) {
    output[2 * i] = input[BitReverse[i]];
    output[2 * i + 1] = 0.0f;
  }

  // Stage by stage: butterflies of half span `half` in groups of 2 × half; the twiddle index
  // advances by the group count `stride`, so it stays below 2048.
  for (int half = 1, stride = kFrameLength / 2; half < kFrameLength; half *= 2, stride /= 2) {
    for (int base = 0; base < kFrameLength; base += 2 * half) {
      for (int k = 0; k < half; ++k) {
        const int t = k * stride;
        const long double wr = static_cast<float>(CosTable[t]);
        const long double wi = static_cast<float>(NegSinTable[t]);
        float *const a = &output[2 * (base + k)];
        float *const b = &output[2 * (base + k + half)];
        const long double br = b[0];
        const long double bi = b[1];
        // Products of two floats are exact at extended precision; each sum is rounded to 64
        // bits and then to float.
        const float tr = static_cast<float>(wr * br - wi * bi);
        const float ti = static_cast<float>(wr * bi + wi * br);
        const long double ar = a[0];
        const long double ai = a[1];
        a[0] = static_cast<float>(ar + tr);
        a[1] = static_cast<float>(ai + ti);
        b[0] = static_cast<float>(ar - tr);
        b[1] = static_cast<float>(ai - ti);
      }
    }
  }
}

} // namespace analysis
