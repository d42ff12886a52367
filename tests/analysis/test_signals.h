#pragma once

// Frames and spectra for the analysis tests, computed independently of the code under test.

#include "analysis/frame.h"

#include <cmath>
#include <complex>
#include <numbers>
#include <vector>

namespace analysis::testing {

// sin(2π × cycles × n / 4096) × scale for every n, at extended precision, rounded to float.
inline TimeFrame SineFrame(int cycles, long double scale) {
  TimeFrame frame{};
  for (int n = 0; n < kFrameLength; ++n) {
    const long double angle = 2 * std::numbers::pi_v<long double> * cycles * n / kFrameLength;
    frame[n] = static_cast<float>(std::sin(angle) * scale);
  }
  return frame;
}

// Magnitude of bin k of a spectrum.
inline double Magnitude(const SpectrumFrame &spectrum, int k) {
  return std::hypot(static_cast<double>(spectrum[2 * k]), static_cast<double>(spectrum[2 * k + 1]));
}

// The textbook DFT with exact roots of unity, summed at extended precision.
inline std::vector<std::complex<long double>> ReferenceDft(const TimeFrame &frame) {
  std::vector<std::complex<long double>> roots(kFrameLength);
  for (int m = 0; m < kFrameLength; ++m) {
    const long double angle = -2 * std::numbers::pi_v<long double> * m / kFrameLength;
    roots[m] = {std::cos(angle), std::sin(angle)};
  }
  std::vector<std::complex<long double>> bins(kFrameLength);
  for (int k = 0; k < kFrameLength; ++k) {
    std::complex<long double> sum = 0;
    for (int n = 0; n < kFrameLength; ++n) {
      sum += static_cast<long double>(frame[n]) * roots[(n * k) % kFrameLength];
    }
    bins[k] = sum;
  }
  return bins;
}

} // namespace analysis::testing
