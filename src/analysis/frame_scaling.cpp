#include "analysis/frame_scaling.h"

#include <cmath>
#include <numbers>

namespace analysis {

namespace {

// The double nearest π, widened.
constexpr long double kPi = std::numbers::pi;
// 2 × 2^-12: both factors are powers of two, so applying them is exact.
constexpr long double kTwo = 2;
constexpr long double kInverseLength = 0x1p-12L;

// sin(i × π × 2^-12): the angle is rounded to double, the sine taken at extended precision.
long double WindowWeight(int i) {
  const double angle = static_cast<double>(i * kPi * kInverseLength);
  return std::sin(static_cast<long double>(angle));
}

} // namespace

void ScaleFrame(TimeFrame &data, double gain, bool window) {
  for (int i = 0; i < kFrameLength; ++i) {
    const long double scaled = static_cast<long double>(data[i]) * gain * kTwo * kInverseLength;
    data[i] = static_cast<float>(window ? WindowWeight(i) * scaled : scaled);
  }
}

} // namespace analysis
