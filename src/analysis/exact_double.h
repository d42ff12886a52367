#pragma once

// Tests that decide when a value computed in double precision rounds to the same float as the
// literal extended-precision computation. Every float midpoint is a double, so rounding through
// double can differ only when the double lands exactly on a midpoint that the exact value is not
// on; values below the normal float range, infinities and NaN are left to the literal route.

#include <bit>
#include <cstdint>

namespace analysis::exact {

// Bits of a double below the float precision: a float midpoint has exactly the top one set.
inline constexpr std::uint64_t kBelowFloatMask = (std::uint64_t{1} << 29) - 1;
inline constexpr std::uint64_t kFloatMidpointBits = std::uint64_t{1} << 28;
inline constexpr double kFloatMin = 0x1p-126;

// True when rounding d to float might not give the float nearest to the exact value that d was
// rounded from: d is a float midpoint, or not a finite value in the normal float range.
inline bool MayRoundDifferently(double d) {
  const std::uint64_t bits = std::bit_cast<std::uint64_t>(d);
  const double magnitude = d < 0 ? -d : d;
  return (bits & kBelowFloatMask) == kFloatMidpointBits ||
         !(magnitude >= kFloatMin && magnitude <= 0x1.fffffffffffffp1023);
}

// True when sum, the double nearest to a + b, is exactly a + b (the TwoSum error term is 0).
inline bool SumIsExact(double a, double b, double sum) {
  const double bPart = sum - a;
  const double aPart = sum - bPart;
  return (a - aPart) + (b - bPart) == 0;
}

// A value as an unevaluated sum hi + lo with |lo| at most half an ulp of hi.
struct DoubleDouble {
  double hi, lo;
};

// a + b exactly, as the rounded sum and its error.
inline DoubleDouble TwoSum(double a, double b) {
  const double sum = a + b;
  const double bPart = sum - a;
  return {sum, (a - (sum - bPart)) + (b - bPart)};
}

// ln 2 as the nearest double and the double nearest the rest.
inline constexpr DoubleDouble kLn2 = {0x1.62e42fefa39efp-1, 0x1.abc9e3b39803fp-56};

} // namespace analysis::exact

#if defined(__x86_64__)
// Code for CPUs with AVX2 and FMA, called only after the run-time check of UsesVectorPath.
#define VIREO_AVX2 __attribute__((target("avx2,fma")))
#define VIREO_AVX2_INLINE VIREO_AVX2 inline __attribute__((always_inline))
#endif
