#include "analysis/extended.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>
#include <type_traits>
#include <utility>

namespace analysis {

namespace {

using U128 = unsigned __int128;

constexpr std::uint64_t kTopBit = std::uint64_t{1} << 63;

int LeadingZeros(U128 x) {
  const auto high = static_cast<std::uint64_t>(x >> 64);
  return high != 0 ? std::countl_zero(high) : 64 + std::countl_zero(static_cast<std::uint64_t>(x));
}

// x >> shift for shift ≥ 0 (all bits gone from 128 on); lost is set when a non-zero bit is
// shifted out.
U128 ShiftRight(U128 x, int shift, bool &lost) {
  if (shift <= 0) {
    return x;
  }
  if (shift >= 128) {
    lost = lost || x != 0;
    return 0;
  }
  lost = lost || (x & ((U128{1} << shift) - 1)) != 0;
  return x >> shift;
}

// floor(sqrt(n)) for n < 2^128: a double estimate, one Newton step and a final correction.
std::uint64_t IntegerSqrt(U128 n) {
  // r stays nonzero and below 2^64 (2^64 - 2^11 is the largest double below 2^64).
  const double estimate = std::clamp(std::sqrt(static_cast<double>(n)), 1.0, 0x1p64 - 0x1p11);
  U128 r = static_cast<std::uint64_t>(estimate);
  r = std::min<U128>((r + n / r) / 2, ~std::uint64_t{0});
  while (r * r > n) {
    --r;
  }
  while (r < ~std::uint64_t{0} && (r + 1) * (r + 1) <= n) {
    ++r;
  }
  return static_cast<std::uint64_t>(r);
}

// Keeps the bits of ±significand × 2^exponent (top bit set) whose weight is at least 2^lowest,
// rounded to nearest even: the kept integer K, so that the result is K × 2^lowest.
std::uint64_t RoundToWeight(std::uint64_t significand, int exponent, int lowest) {
  const int drop = lowest - exponent;
  if (drop <= 0) {
    return significand; // callers never ask for more bits than there are
  }
  if (drop > 64) {
    return 0; // below half of the smallest kept unit
  }
  // rest: the dropped bits as a fraction of the kept unit, in units of 2^-64.
  const std::uint64_t kept = drop == 64 ? 0 : significand >> drop;
  const auto rest = static_cast<std::uint64_t>((static_cast<U128>(significand) << 64) >> drop);
  const bool up = rest > kTopBit || (rest == kTopBit && (kept & 1) != 0);
  return kept + (up ? 1 : 0);
}

} // namespace

Extended::Extended(double value) {
  const auto bits = std::bit_cast<std::uint64_t>(value);
  negative_ = (bits >> 63) != 0;
  const int biased = static_cast<int>((bits >> 52) & 0x7ff);
  const std::uint64_t fraction = bits & 0x000fffffffffffffu;
  if (biased == 0x7ff) {
    kind_ = fraction == 0 ? Kind::Infinite : Kind::NaN;
    significand_ = fraction << 12;
    return;
  }
  // Subnormals and signed zeros have no implicit bit.
  const std::uint64_t integer = biased == 0 ? fraction : fraction | (std::uint64_t{1} << 52);
  *this = FromParts(negative_, integer, biased == 0 ? -1074 : biased - 1075);
}

Extended Extended::FromParts(bool negative, std::uint64_t significand, int exponent) {
  if (significand == 0) {
    return Special(Kind::Zero, negative);
  }
  const int shift = std::countl_zero(significand);
  return Special(Kind::Finite, negative, significand << shift, exponent - shift);
}

Extended Extended::FromInteger(std::int64_t value) {
  const bool negative = value < 0;
  const std::uint64_t magnitude =
      negative ? std::uint64_t{0} - static_cast<std::uint64_t>(value) : value;
  return FromParts(negative, magnitude, 0);
}

Extended Extended::Special(Kind kind, bool negative, std::uint64_t significand, int exponent) {
  Extended e;
  e.kind_ = kind;
  e.negative_ = negative;
  e.significand_ = significand;
  e.exponent_ = exponent;
  return e;
}

Extended Extended::DefaultNaN() {
  return Special(Kind::NaN, true, kTopBit);
}

Extended Extended::Round(bool negative, U128 magnitude, int exponent, bool sticky) {
  const int shift = LeadingZeros(magnitude);
  magnitude <<= shift;
  exponent -= shift;
  auto significand = static_cast<std::uint64_t>(magnitude >> 64);
  const auto rest = static_cast<std::uint64_t>(magnitude);
  const bool roundBit = (rest & kTopBit) != 0;
  const bool below = sticky || (rest & ~kTopBit) != 0;
  exponent += 64;
  if (roundBit && (below || (significand & 1) != 0)) {
    if (++significand == 0) {
      significand = kTopBit;
      ++exponent;
    }
  }
  return Special(Kind::Finite, negative, significand, exponent);
}

Extended Extended::PassNaN(Extended a, Extended b) {
  Extended nan = a.IsNaN() ? a : b;
  nan.significand_ |= kTopBit;
  return nan;
}

Extended operator+(Extended a, Extended b) {
  using Kind = Extended::Kind;
  if (a.IsNaN() || b.IsNaN()) {
    return Extended::PassNaN(a, b);
  }
  if (a.IsInfinite() || b.IsInfinite()) {
    if (a.IsInfinite() && b.IsInfinite() && a.negative_ != b.negative_) {
      return Extended::DefaultNaN();
    }
    return a.IsInfinite() ? a : b;
  }
  if (a.IsZero() || b.IsZero()) {
    if (a.IsZero() && b.IsZero()) {
      return Extended::Special(Kind::Zero, a.negative_ && b.negative_);
    }
    return a.IsZero() ? b : a;
  }
  // Let a be the larger in magnitude; both significands start at bit 126 of a 128-bit window,
  // leaving a bit for the carry, and b is aligned to a's exponent.
  if (a.exponent_ < b.exponent_ ||
      (a.exponent_ == b.exponent_ && a.significand_ < b.significand_)) {
    std::swap(a, b);
  }
  const U128 big = static_cast<U128>(a.significand_) << 63;
  bool lost = false;
  const U128 small =
      ShiftRight(static_cast<U128>(b.significand_) << 63, a.exponent_ - b.exponent_, lost);
  const int exponent = a.exponent_ - 63;
  if (a.negative_ == b.negative_) {
    return Extended::Round(a.negative_, big + small, exponent, lost);
  }
  // The bits of b shifted out make the exact difference a little smaller than big - small.
  const U128 difference = big - small - (lost ? 1 : 0);
  if (difference == 0 && !lost) {
    return Extended::Special(Kind::Zero, false);
  }
  return Extended::Round(a.negative_, difference, exponent, lost);
}

Extended operator-(Extended a) {
  a.negative_ = !a.negative_;
  return a;
}

Extended operator-(Extended a, Extended b) {
  // A NaN operand keeps its sign: the negation below must not reach it.
  return a + (b.IsNaN() ? b : -b);
}

Extended operator*(Extended a, Extended b) {
  using Kind = Extended::Kind;
  if (a.IsNaN() || b.IsNaN()) {
    return Extended::PassNaN(a, b);
  }
  const bool negative = a.negative_ != b.negative_;
  if (a.IsInfinite() || b.IsInfinite()) {
    if (a.IsZero() || b.IsZero()) {
      return Extended::DefaultNaN();
    }
    return Extended::Special(Kind::Infinite, negative);
  }
  if (a.IsZero() || b.IsZero()) {
    return Extended::Special(Kind::Zero, negative);
  }
  return Extended::Round(negative, static_cast<U128>(a.significand_) * b.significand_,
                         a.exponent_ + b.exponent_, false);
}

Extended operator/(Extended a, Extended b) {
  using Kind = Extended::Kind;
  if (a.IsNaN() || b.IsNaN()) {
    return Extended::PassNaN(a, b);
  }
  const bool negative = a.negative_ != b.negative_;
  if (a.IsInfinite() || b.IsInfinite()) {
    if (a.IsInfinite() && b.IsInfinite()) {
      return Extended::DefaultNaN();
    }
    return Extended::Special(a.IsInfinite() ? Kind::Infinite : Kind::Zero, negative);
  }
  if (b.IsZero()) {
    return a.IsZero() ? Extended::DefaultNaN() : Extended::Special(Kind::Infinite, negative);
  }
  if (a.IsZero()) {
    return Extended::Special(Kind::Zero, negative);
  }
  // Two steps of long division give 64 + 64 quotient bits of a.significand × 2^64 / b.significand,
  // of which the first step has 64 or 65.
  const U128 dividend = static_cast<U128>(a.significand_) << 64;
  const U128 first = dividend / b.significand_;
  const U128 remainder = dividend % b.significand_;
  const U128 second = (remainder << 64) / b.significand_;
  const bool sticky = (remainder << 64) % b.significand_ != 0 || (second & 1) != 0;
  return Extended::Round(negative, (first << 63) | (second >> 1),
                         a.exponent_ - b.exponent_ - 64 - 63, sticky);
}

Extended Sqrt(Extended a) {
  if (a.IsNaN()) {
    a.significand_ |= kTopBit;
    return a;
  }
  if (a.IsZero()) {
    return a; // sqrt(-0) is -0
  }
  if (a.negative_) {
    return Extended::DefaultNaN();
  }
  if (a.IsInfinite()) {
    return a;
  }
  // n = significand × 2^(63 or 64) has 127 or 128 bits and an even exponent left over, so its
  // integer root has 64 bits. The exact root is never a midpoint of 64-bit values, so the
  // remainder decides the rounding alone.
  const int shift = (a.exponent_ & 1) != 0 ? 63 : 64;
  const U128 n = static_cast<U128>(a.significand_) << shift;
  // sqrt(n) exceeds root + 1/2, the round bit, exactly when the remainder exceeds root.
  const std::uint64_t root = IntegerSqrt(n);
  const U128 remainder = n - static_cast<U128>(root) * root;
  return Extended::Round(false, (static_cast<U128>(root) << 64) | (remainder > root ? kTopBit : 0),
                         (a.exponent_ - shift) / 2 - 64, remainder != 0);
}

std::partial_ordering operator<=>(Extended a, Extended b) {
  if (a.IsNaN() || b.IsNaN()) {
    return std::partial_ordering::unordered;
  }
  if (a.IsZero() && b.IsZero()) {
    return std::partial_ordering::equivalent;
  }
  if (a.negative_ != b.negative_) {
    return a.negative_ ? std::partial_ordering::less : std::partial_ordering::greater;
  }
  // Same sign: order the magnitudes, zero lowest and infinity highest.
  const auto rank = [](const Extended &e) { return e.IsZero() ? 0 : e.IsInfinite() ? 2 : 1; };
  std::partial_ordering magnitude = rank(a) <=> rank(b);
  if (magnitude == 0 && rank(a) == 1) {
    magnitude = a.exponent_ != b.exponent_ ? a.exponent_ <=> b.exponent_
                                           : a.significand_ <=> b.significand_;
  }
  if (a.negative_) {
    return 0 <=> magnitude;
  }
  return magnitude;
}

bool operator==(Extended a, Extended b) {
  return (a <=> b) == 0;
}

template <typename Binary> Binary Extended::Narrowed() const {
  using Limits = std::numeric_limits<Binary>;
  using Bits = std::conditional_t<sizeof(Binary) == 8, std::uint64_t, std::uint32_t>;
  constexpr int kBits = sizeof(Bits) * 8;
  Binary magnitude = 0;
  switch (kind_) {
  case Kind::Zero:
    break;
  case Kind::Infinite:
    magnitude = Limits::infinity();
    break;
  case Kind::NaN:
    // Quieted, with the payload's top bits below the quiet bit, as a hardware conversion gives
    // it: a signalling NaN whose payload lies below them stays a NaN.
    magnitude =
        std::bit_cast<Binary>(std::bit_cast<Bits>(Limits::infinity()) |
                              static_cast<Bits>((significand_ | kTopBit) >> (65 - Limits::digits)));
    break;
  case Kind::Finite: {
    // digits bits, or fewer where the subnormals end; ldexp of the kept integer is exact, or
    // overflows to infinity as the rounding does.
    const int lowest =
        std::max(exponent_ + 64 - Limits::digits, Limits::min_exponent - Limits::digits);
    magnitude =
        std::ldexp(static_cast<Binary>(RoundToWeight(significand_, exponent_, lowest)), lowest);
    break;
  }
  }
  return negative_ ? std::bit_cast<Binary>(std::bit_cast<Bits>(magnitude) | Bits{1} << (kBits - 1))
                   : magnitude;
}

double Extended::ToDouble() const {
  return Narrowed<double>();
}

float Extended::ToFloat() const {
  return Narrowed<float>();
}

std::int64_t Extended::Truncate() const {
  constexpr std::int64_t kIndefinite = std::numeric_limits<std::int64_t>::min();
  if (kind_ == Kind::Zero) {
    return 0;
  }
  if (kind_ != Kind::Finite || exponent_ > -1) {
    return kIndefinite; // NaN, infinity or |value| ≥ 2^63, as the hardware conversion gives
  }
  const std::uint64_t magnitude = exponent_ <= -64 ? 0 : significand_ >> -exponent_;
  return negative_ ? -static_cast<std::int64_t>(magnitude) : static_cast<std::int64_t>(magnitude);
}

} // namespace analysis
