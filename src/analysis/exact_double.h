#pragma once

// The tests that let the fast paths compute in double precision and still give the bits of the
// literal extended-precision route, written once for every lane type: one double here (masks
// are bool), the vectors of 2 to 16 lanes of vector_lanes.h. A kernel is a template over the
// lane type that uses only these operations; the same proof then holds for every path that runs
// it.
//
// Midpoint lemma. Let X be an exact value, D = RN53(X) the double nearest it and E = RN64(X)
// the literal route's 64-bit value. Every float midpoint (halfway between adjacent floats, the
// overflow threshold 2^128 - 2^103 included) is a double, and rounding to nearest never moves a
// value across a number of the target format, so X, D and E lie on the same side of every
// midpoint. If E is a midpoint M, X lies within half a 64-bit ulp of the double M and D = M. So
// if D is no midpoint, X, D and E lie strictly between the same two midpoints and round to the
// same float; if D is a midpoint and X = D (the TwoSum error is 0), E = X too. Hence RN24(D)
// differs from RN24(E) only when D is an inexact float midpoint, which IsFloatMidpoint finds from
// the 29 bits below float precision; a D known only within n ulps of E is tested with
// NearFloatMidpoint(D, n). The float grid keeps its spacing across 2^-126 but the bit test does
// not see subnormal midpoints: a rounded float not above 2^-126 in magnitude (zero and NaN
// included) goes to the literal route.
//
// Libm and tables. The programs take from libm only functions whose result is exact, or
// correctly rounded by definition, on every processor (the analysis uses fma, fabs, sqrt, frexp
// and ldexp). The list of them is the lines below, each name also with the suffix f;
// scripts/cross-check reads it from here and fails on any other libm import.
//   libm: sqrt fabs floor ceil trunc round roundeven rint nearbyint lrint llrint lround llround
//   libm: fmod remainder remquo ldexp scalbn scalbln frexp modf copysign fma fmin fmax fdim
//   libm: nextafter ilogb logb
// No transcendental comes from libm or the processor: logarithms from the table kLog and a
// series (or MPFR), the twiddles and window weights from tables generated with MPFR
// (analysis_tables.h, checked against its generator by a test). Each table entry is the double
// (or 64-bit value) that the literal definition names, so the fast and literal routes start from
// the same numbers.

#include <bit>
#include <cmath>
#include <concepts>
#include <cstdint>
#include <type_traits>

// Kernels and generic lane operations: inlined into their caller, the entry points of the paths
// included (lane_paths.h), where the lane operations they call are inlined in turn.
#define VIREO_KERNEL inline __attribute__((always_inline))

namespace analysis::exact {

// Bits of a double below the float precision: a float midpoint has exactly the top one set.
inline constexpr std::uint64_t kBelowFloatMask = (std::uint64_t{1} << 29) - 1;
inline constexpr std::uint64_t kFloatMidpointBits = std::uint64_t{1} << 28;
inline constexpr std::uint64_t kExponentMask = 0x7ff0000000000000u;
inline constexpr std::uint64_t kMantissaMask = 0x000fffffffffffffu;

// The lane of one double: plain double arithmetic, bool masks, the bits as an integer.
inline std::uint64_t Bits(double x) {
  return std::bit_cast<std::uint64_t>(x);
}
inline double FromBits(std::uint64_t bits) {
  return std::bit_cast<double>(bits);
}
// The bits that hold everything below float precision, in whatever packing is cheapest to test.
inline std::uint64_t LowWords(double x) {
  return Bits(x);
}
template <std::floating_point T> T Abs(T x) {
  return std::fabs(x);
}
// !(a > b): true when either is NaN.
template <std::floating_point T> bool NotGreater(T a, T b) {
  return !(a > b);
}
// Lanes that are infinite, and those that are infinite or NaN.
template <std::floating_point T> bool IsInfinite(T x) {
  return std::isinf(x);
}
template <std::floating_point T> bool IsNotFinite(T x) {
  return !std::isfinite(x);
}
// a × b + c rounded once (libm's fma is exact on every processor).
inline double Fma(double a, double b, double c) {
  return std::fma(a, b, c);
}
// The square root rounded once (IEEE: the same on every processor).
inline double Sqrt(double x) {
  return std::sqrt(x);
}
// A float widened exactly to the double lanes W, which are one double here.
template <typename W> double Widen(float x) {
  return x;
}
inline float ToFloat(double x) {
  return static_cast<float>(x);
}
// A float's mask for its double's lane.
template <typename W> bool WidenMask(bool mask) {
  return mask;
}
inline bool None(bool mask) {
  return !mask;
}
// Lanes loaded from floats or doubles (a float only from a float), and stored as floats.
template <typename T, std::floating_point L>
requires(sizeof(L) >= sizeof(T)) void Load(const T *from, L &to) {
  to = *from;
}
template <typename T, std::floating_point L> void Store(T *to, L x) {
  *to = static_cast<T>(x);
}
// Pairs (re, im) one after the other, widened to two lanes.
inline void LoadPairs(const float *from, double &re, double &im) {
  re = from[0];
  im = from[1];
}
// Member `field` of the table's row at the index.
template <typename L, typename Row>
requires std::floating_point<L> L Gather(const Row *table, std::uint64_t index,
                                         double Row::*field) {
  return table[index].*field;
}
// Lane i of a lane type (a mask's as a bool or integer), read and set.
template <typename T>
requires std::is_arithmetic_v<T> T At(T x, int) {
  return x;
}
template <std::floating_point T> void SetAt(T &x, int, T value) {
  x = value;
}
// Pairs (re, im) stored one after the other.
inline void StoreInterleaved(float *to, float re, float im) {
  to[0] = re;
  to[1] = im;
}
// The transpose of a square of one value.
inline void Transpose(float (&)[1]) {}
// The value unchanged, as one the compiler must take as unknown: what is computed from it
// afterwards is computed afresh rather than kept alive from earlier (for the rare branches of
// the kernels). Only integers are hidden on one lane: there the values are cheap to keep.
template <typename T>
requires std::is_arithmetic_v<T> T Opaque(T x) {
  if constexpr (std::is_integral_v<T>) {
    asm("" : "+r"(x));
  }
  return x;
}
// How many lanes a lane type (or its mask) holds.
template <typename L> inline constexpr int kWidth = L::kCount;
template <std::floating_point L> inline constexpr int kWidth<L> = 1;
template <std::integral L> inline constexpr int kWidth<L> = 1;

// Calls redo(lane) for each lane that the mask `doubtful` has set, rarely any: the lanes that a
// fast route left in doubt, redone one by one the literal way.
template <typename M, typename Redo>
VIREO_KERNEL void RedoDoubtfulLanes(const M &doubtful, Redo redo) {
  if (!None(doubtful)) [[unlikely]] {
    for (int lane = 0; lane < kWidth<M>; ++lane) {
      if (At(doubtful, lane)) {
        redo(lane);
      }
    }
  }
}

// A value as an unevaluated sum hi + lo with |lo| at most half an ulp of hi.
template <typename L> struct Pair { L hi, lo; };
using DoubleDouble = Pair<double>;

// a + b exactly, as the rounded sum and its error.
template <typename L> VIREO_KERNEL Pair<L> TwoSum(const L &a, const L &b) {
  const L sum = a + b;
  const L bPart = sum - a;
  return {sum, (a - (sum - bPart)) + (b - bPart)};
}

// Whether the lanes L multiply and add with one rounding in one instruction. The one-lane double
// does only where the compiler targets such an instruction (FP_FAST_FMA: arm64, not baseline
// x86-64, whose libm fma is a slow emulation on a processor without one).
#if defined(FP_FAST_FMA)
template <typename L> inline constexpr bool kFusedMultiplyAdd = true;
#else
template <typename L> inline constexpr bool kFusedMultiplyAdd = !std::floating_point<L>;
#endif

// x as hi + lo, each of at most 26 significant bits (Veltkamp's split by 2^27 + 1; |x| < 2^995).
template <typename L> VIREO_KERNEL Pair<L> Split(const L &x) {
  const L scaled = x * 0x1.0000002p27;
  const L hi = scaled - (scaled - x);
  return {hi, x - hi};
}

// a × b exactly, as the rounded product and its error, where a, b and a × b are each 0 or between
// 2^-969 and 2^995 in magnitude. Without a fused multiply-add, from the exact products of their
// halves (Dekker); a b of at most 27 significant bits (kShortB) stays whole, and then a's halves
// times b are exact and the first of them is within a factor of two of the rounded product.
template <bool kShortB = false, typename A, typename B>
VIREO_KERNEL auto TwoProduct(const A &a, const B &b) {
  using L = decltype(a * b);
  const L product = a * b;
  if constexpr (kFusedMultiplyAdd<L>) {
    return Pair<L>{product, Fma(a, b, -product)};
  } else if constexpr (kShortB) {
    const Pair<L> x = Split(L(a));
    return Pair<L>{product, (x.hi * b - product) + x.lo * b};
  } else {
    const Pair<L> x = Split(L(a)), y = Split(L(b));
    return Pair<L>{product, ((x.hi * y.hi - product) + x.hi * y.lo + x.lo * y.hi) + x.lo * y.lo};
  }
}

// a × b + c rounded once, where c and -a × b are within a factor of 1.9 of each other and
// TwoProduct<kShortB>'s conditions hold. Without a fused multiply-add, c plus the rounded product
// (or, with kShortB, a's upper half times b) is exact, and the rest of a × b is added with one
// rounding.
template <bool kShortB = false, typename L>
VIREO_KERNEL L CancellingFma(const L &a, const L &b, const std::type_identity_t<L> &c) {
  if constexpr (kFusedMultiplyAdd<L>) {
    return Fma(a, b, c);
  } else if constexpr (kShortB) {
    const Pair<L> x = Split(a);
    return (x.hi * b + c) + x.lo * b;
  } else {
    const Pair<L> product = TwoProduct(a, b);
    return (product.hi + c) + product.lo;
  }
}

// a × b + c for the terms whose budget allows a second rounding: rounded once where the lanes
// fuse it, twice elsewhere.
template <typename A, typename B, typename C>
VIREO_KERNEL auto MultiplyAdd(const A &a, const B &b, const C &c) {
  if constexpr (kFusedMultiplyAdd<decltype(a * b + c)>) {
    return Fma(a, b, c);
  } else {
    return a * b + c;
  }
}

// TwoSum when |a| has at least the exponent of |b| (or a is 0): three operations.
template <typename L> VIREO_KERNEL Pair<L> FastTwoSum(const L &a, const L &b) {
  const L sum = a + b;
  return {sum, b - (sum - a)};
}

// Lanes where the double nearest a + b is not exactly a + b (NaN included).
template <typename L> VIREO_KERNEL auto InexactSum(const L &a, const L &b) {
  return TwoSum(a, b).lo != 0.0;
}

// The ulp of a normal x of magnitude at least 2^-969 (exponent field minus 52).
template <typename L> VIREO_KERNEL L Ulp(const L &x) {
  return FromBits((Bits(x) & kExponentMask) - (std::uint64_t{52} << 52));
}

// Lanes that are a power of two (or zero, or infinite): no mantissa bits.
template <typename L> VIREO_KERNEL auto IsPowerOfTwo(const L &x) {
  return (Bits(x) & kMantissaMask) == 0;
}

// Lanes whose double, given by its bits or its LowWords, lies exactly on a float midpoint.
template <typename B> VIREO_KERNEL auto IsFloatMidpoint(const B &bits) {
  return (bits & kBelowFloatMask) == kFloatMidpointBits;
}

// Lanes within `ulps` double ulps of a float midpoint (compared below 2^29, so signed or not).
template <typename L> VIREO_KERNEL auto NearFloatMidpoint(const L &x, std::uint64_t ulps) {
  return ((Bits(x) - (kFloatMidpointBits - ulps)) & kBelowFloatMask) < 2 * ulps + 1;
}

// Lanes outside the range where the midpoint lemma decides: a double, or the float it rounds
// to, that is NaN, zero or not above the smallest normal float in magnitude. Infinity and the
// doubles above the float range are inside: the overflow threshold is a midpoint.
template <typename F> VIREO_KERNEL auto OutOfFloatRange(const F &f) {
  return NotGreater(Abs(f), F(0x1p-126f));
}

// Whether the processor's own float arithmetic gives the literal route's NaN for an invalid
// operation (∞ - ∞): the negative quiet NaN of x86-64. arm64 gives the positive one, so there a
// butterfly whose T is infinite takes the literal route.
#if defined(__x86_64__)
inline constexpr bool kInvalidGivesLiteralNaN = true;
#else
inline constexpr bool kInvalidGivesLiteralNaN = false;
#endif

// ln 2 as the nearest double and the double nearest the rest.
inline constexpr DoubleDouble kLn2 = {0x1.62e42fefa39efp-1, 0x1.abc9e3b39803fp-56};

} // namespace analysis::exact
