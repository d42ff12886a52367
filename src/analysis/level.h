#pragma once

// The level scale: one spectrum bin as a double where smaller means stronger.

#include <cstdint>

#include "analysis/frame.h"

namespace analysis {

// With p = re² + im² (extended precision, rounded to double):
// `decibel`: -10 × log10(p), an attenuation below magnitude 1, or exactly 999 when p is 0;
// otherwise (1 - 10 × sqrt(p)) × 90.31: 0 at magnitude 0.1, 90.31 at magnitude 0.
double BinLevel(double re, double im, bool decibel);

// The bins first … first + count - 1 of a spectrum: into powers[0 … count - 1] each bin's power
// p = RN53(RN64(re² + im²)), into levels[0 … count - 1] its BinLevel. On the lanes of the
// arithmetic path, the doubtful lanes redone the literal way.
void BinLevels(const SpectrumFrame &spectrum, int first, int count, bool decibel, double *powers,
               double *levels);

// How many bin levels BinLevel and BinLevels have worked out on the calling thread since it
// started: a frame pass and its readers together measure each bin once.
std::uint64_t BinsMeasured();

// The level of each of `count` double powers (statistics of powers, sums over bands): exactly
// what BinLevel gives for a bin whose power is that double, on the lanes of the arithmetic path.
// Any double is taken as BinLevel's literal route takes it: in dB zero, negative and NaN powers
// give 999 and +inf gives -inf; on the linear scale negative and NaN powers give NaN.
void PowerLevels(const double *powers, int count, bool decibel, double *levels);

// The stronger (smaller) of two levels: a reference to `a` if a < b, otherwise to `b`.
inline const double &StrongerOf(const double &a, const double &b) {
  return a < b ? a : b;
}

// The magnitude recovered from a linear level: (1 - L × (1/90.31)) × 0.1, formed at extended
// precision and rounded once to double. Zero power (level 90.31) gives exactly +0.
double LevelToAmplitude(double linearLevel);

} // namespace analysis
