#include "analysis/level.h"

#include <cmath>

namespace analysis {

namespace {

// The linear scale maps magnitude 0.1 to level 0 and each 0.01 of magnitude to 9.031 units.
constexpr double kLinearLevelScale = 90.31;
// Its reciprocal as an extended-precision quotient of the double above (not of the decimal
// 90.31): 0.011072970878086590353. Undoing the scale with it returns zero power as exactly 0.
constexpr long double kInverseLinearLevelScale = 1.0L / kLinearLevelScale;
constexpr long double kAmplitudeScale = 0.1L;
constexpr double kZeroPowerLevel = 999;

} // namespace

double BinLevel(double re, double im, bool decibel) {
  const double power =
      static_cast<double>(static_cast<long double>(re) * re + static_cast<long double>(im) * im);
  if (!decibel) {
    return static_cast<double>((1 - std::sqrt(static_cast<long double>(power)) * 10) *
                               kLinearLevelScale);
  }
  if (power > 0) {
    return static_cast<double>(std::log10(static_cast<long double>(power)) * -10);
  }
  return kZeroPowerLevel;
}

const double &StrongerOf(const double &a, const double &b) {
  return a < b ? a : b;
}

double LevelToAmplitude(double linearLevel) {
  return static_cast<double>((1 - linearLevel * kInverseLinearLevelScale) * kAmplitudeScale);
}

} // namespace analysis
