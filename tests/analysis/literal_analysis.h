#pragma once

// The frame arithmetic written out literally, one step per formula, at extended precision. The
// product's fast code must give the same bits; the tests compare the two.

#include "analysis/fft.h"

#include <cmath>
#include <numbers>

namespace analysis::literal {

// x[i] × gain × 2 × 2^-12, with the window weighted by sin(i × π × 2^-12) taken at extended
// precision of the angle rounded to double; rounded once to float.
inline void ScaleFrame(TimeFrame &data, double gain, bool window) {
  for (int i = 0; i < kFrameLength; ++i) {
    const long double scaled = static_cast<long double>(data[i]) * gain * 2 * 0x1p-12L;
    const double angle =
        static_cast<double>(i * static_cast<long double>(std::numbers::pi) * 0x1p-12L);
    const long double weight = std::sin(static_cast<long double>(angle));
    data[i] = static_cast<float>(window ? weight * scaled : scaled);
  }
}

// Bit-reversed load, then twelve radix-2 stages in place with float twiddles; each product pair
// is summed at extended precision and rounded to float, each butterfly output likewise.
inline void ComputeFFT(const TimeFrame &input, SpectrumFrame &output) {
  for (int i = 0; i < kFrameLength; ++i) {
    output[2 * i] = input[BitReverse[i]];
    output[2 * i + 1] = 0.0f;
  }
  for (int half = 1, groups = kFrameLength / 2; half < kFrameLength; half *= 2, groups /= 2) {
    for (int base = 0; base < kFrameLength; base += 2 * half) {
      for (int k = 0, t = 0; k < half; ++k, t += groups) {
        const long double c = static_cast<float>(CosTable[t]);
        const long double s = static_cast<float>(NegSinTable[t]);
        float *a = &output[2 * (base + k)];
        float *b = &output[2 * (base + k + half)];
        const long double br = b[0], bi = b[1], ar = a[0], ai = a[1];
        const float tr = static_cast<float>(c * br - s * bi);
        const float ti = static_cast<float>(c * bi + s * br);
        a[0] = static_cast<float>(ar + tr);
        a[1] = static_cast<float>(ai + ti);
        b[0] = static_cast<float>(ar - tr);
        b[1] = static_cast<float>(ai - ti);
      }
    }
  }
}

// p = re² + im² at extended precision rounded to double; -10 × log10(p) (999 for p = 0), or
// (1 - sqrt(p) × 10) × 90.31, each at extended precision and rounded once to double.
inline double BinLevel(double re, double im, bool decibel) {
  const double p =
      static_cast<double>(static_cast<long double>(re) * re + static_cast<long double>(im) * im);
  if (!decibel) {
    return static_cast<double>((1 - std::sqrt(static_cast<long double>(p)) * 10) * 90.31);
  }
  return p > 0 ? static_cast<double>(std::log10(static_cast<long double>(p)) * -10) : 999;
}

} // namespace analysis::literal
