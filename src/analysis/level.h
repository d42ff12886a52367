#pragma once

// The level scale: one spectrum bin as a double where smaller means stronger.

#include "analysis/frame.h"

namespace analysis {

// With p = re² + im² (extended precision, rounded to double):
// `decibel`: -10 × log10(p), an attenuation below magnitude 1, or exactly 999 when p is 0;
// otherwise (1 - 10 × sqrt(p)) × 90.31: 0 at magnitude 0.1, 90.31 at magnitude 0.
double BinLevel(double re, double im, bool decibel);

// BinLevel of the bins first … first + count - 1 of a spectrum into levels[0 … count - 1].
void BinLevels(const SpectrumFrame &spectrum, int first, int count, bool decibel, double *levels);

// The stronger (smaller) of two levels: a reference to `a` if a < b, otherwise to `b`.
inline const double &StrongerOf(const double &a, const double &b) {
  return a < b ? a : b;
}

// The magnitude recovered from a linear level: (1 - L × (1/90.31)) × 0.1, formed at extended
// precision and rounded once to double. Zero power (level 90.31) gives exactly +0.
double LevelToAmplitude(double linearLevel);

} // namespace analysis
