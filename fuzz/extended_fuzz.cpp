// Extended arithmetic and the exact logarithms against GNU MPFR at 64 bits, rounding to nearest
// even, on operands of every kind made from any bytes: 64-bit significands with exponents of
// the 80-bit format's range and more (the program forms no larger ones), doubles and floats of
// any bits, 64-bit integers, zeros, infinities and NaNs. Every operation, comparison and
// conversion must give MPFR's value; a NaN is checked as a NaN, its payload by the unit tests.
#include <fuzzer/FuzzedDataProvider.h>

#include <bit>
#include <cstdint>
#include <cstdlib>
#include <limits>

#include "analysis/exact_log.h"
#include "analysis/extended.h"
#include "analysis/mpfr_extended.h"
#include "literal_analysis.h"

namespace analysis {
namespace {

using literal::Real;

constexpr int kExponentRange = 1 << 15;

void Require(bool condition) {
  if (!condition) {
    std::abort();
  }
}

// True when `e` is the value of `m` (a NaN for a NaN, zeros with their sign).
bool Same(Extended e, mpfr_srcptr m) {
  if (mpfr_nan_p(m) || e.IsNaN()) {
    return mpfr_nan_p(m) && e.IsNaN();
  }
  if (mpfr_inf_p(m) || e.IsInfinite()) {
    return mpfr_inf_p(m) && e.IsInfinite() && e.Negative() == (mpfr_signbit(m) != 0);
  }
  const Extended x = ToExtended(m);
  return e.IsZero() == x.IsZero() && e.Negative() == x.Negative() &&
         e.Significand() == x.Significand() && e.Exponent() == x.Exponent();
}

// An operand from the bytes, set exactly into `m` as well.
Extended Operand(FuzzedDataProvider &bytes, mpfr_ptr m) {
  switch (bytes.ConsumeIntegralInRange(0, 3)) {
  case 0: {
    const double d = std::bit_cast<double>(bytes.ConsumeIntegral<std::uint64_t>());
    mpfr_set_d(m, d, MPFR_RNDN);
    return d;
  }
  case 1: {
    const float f = std::bit_cast<float>(bytes.ConsumeIntegral<std::uint32_t>());
    mpfr_set_flt(m, f, MPFR_RNDN);
    return f;
  }
  case 2: {
    const std::int64_t n = bytes.ConsumeIntegral<std::int64_t>();
    mpfr_set_sj(m, n, MPFR_RNDN);
    return Extended::FromInteger(n);
  }
  default: {
    const bool negative = bytes.ConsumeBool();
    const auto significand = bytes.ConsumeIntegral<std::uint64_t>();
    const int exponent = bytes.ConsumeIntegralInRange(-kExponentRange, kExponentRange);
    mpfr_set_uj_2exp(m, significand, exponent, MPFR_RNDN);
    mpfr_setsign(m, m, negative, MPFR_RNDN);
    return Extended::FromParts(negative, significand, exponent);
  }
  }
}

// The conversions of `e`, whose value `m` holds, to double, float and a 64-bit integer.
void CheckConversions(Extended e, mpfr_ptr m) {
  if (e.IsNaN()) {
    Require(std::isnan(e.ToDouble()) && std::isnan(e.ToFloat()) &&
            e.Truncate() == std::numeric_limits<std::int64_t>::min());
    return;
  }
  Require(std::bit_cast<std::uint64_t>(e.ToDouble()) ==
          std::bit_cast<std::uint64_t>(mpfr_get_d(m, MPFR_RNDN)));
  Require(std::bit_cast<std::uint32_t>(e.ToFloat()) ==
          std::bit_cast<std::uint32_t>(mpfr_get_flt(m, MPFR_RNDN)));
  // At or beyond 2^63 in magnitude, and infinite, as the hardware conversion gives.
  Real limit;
  mpfr_set_ui_2exp(*limit, 1, 63, MPFR_RNDN);
  const bool fits = !mpfr_inf_p(m) && mpfr_cmpabs(m, *limit) < 0;
  Require(e.Truncate() ==
          (fits ? mpfr_get_sj(m, MPFR_RNDZ) : std::numeric_limits<std::int64_t>::min()));
}

// DecimalLog and NaturalLog of p against the logarithm taken with 256 bits, and the pair of
// NaturalLogPair within 2^-81 of ln p.
void CheckLogarithms(double p) {
  static struct Constants {
    Constants() {
      mpfr_log10(*log10Of2, *log10Of2, MPFR_RNDN);
      mpfr_log(*lnOf2, *lnOf2, MPFR_RNDN);
    }
    Real log10Of2{2.0}, lnOf2{2.0};
  } constants;
  Real expected;
  literal::ScaledLog2(*expected, *constants.log10Of2, p);
  Require(Same(DecimalLog(p), *expected));
  literal::ScaledLog2(*expected, *constants.lnOf2, p);
  Require(Same(NaturalLog(p), *expected));

  const exact::DoubleDouble pair = NaturalLogPair(p);
  Real logarithm(p, 256), error(pair.hi, 256);
  mpfr_log(*logarithm, *logarithm, MPFR_RNDN);
  mpfr_add_d(*error, *error, pair.lo, MPFR_RNDN);
  mpfr_sub(*error, *error, *logarithm, MPFR_RNDN);
  mpfr_mul_2si(*logarithm, *logarithm, -81, MPFR_RNDN);
  Require(mpfr_cmpabs(*error, *logarithm) <= 0);
}

} // namespace
} // namespace analysis

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  using namespace analysis;
  FuzzedDataProvider bytes(data, size);
  Real ma, mb, expected;
  const Extended a = Operand(bytes, *ma);
  const Extended b = Operand(bytes, *mb);
  Require(Same(a, *ma) && Same(b, *mb));
  CheckConversions(a, *ma);

  const struct {
    Extended result;
    int (*exact)(mpfr_ptr, mpfr_srcptr, mpfr_srcptr, mpfr_rnd_t);
  } operations[] = {{a + b, mpfr_add}, {a - b, mpfr_sub}, {a * b, mpfr_mul}, {a / b, mpfr_div}};
  for (const auto &operation : operations) {
    operation.exact(*expected, *ma, *mb, MPFR_RNDN);
    Require(Same(operation.result, *expected));
    CheckConversions(operation.result, *expected);
  }
  mpfr_sqrt(*expected, *ma, MPFR_RNDN);
  Require(Same(Sqrt(a), *expected));

  const std::partial_ordering order = a <=> b;
  if (mpfr_unordered_p(*ma, *mb)) {
    Require(order == std::partial_ordering::unordered && !(a == b));
  } else {
    const int sign = mpfr_cmp(*ma, *mb);
    Require(order == (sign < 0   ? std::partial_ordering::less
                      : sign > 0 ? std::partial_ordering::greater
                                 : std::partial_ordering::equivalent) &&
            (a == b) == (sign == 0));
  }

  const double p = std::bit_cast<double>(bytes.ConsumeIntegral<std::uint64_t>() >> 1);
  if (std::isfinite(p) && p > 0) {
    CheckLogarithms(p);
  }
  return 0;
}
