#include "analysis/exact_log.h"

#include "analysis/log_reduction.h"
#include "analysis/mpfr_extended.h"

#include <bit>
#include <cmath>
#include <cstdint>

namespace analysis {

namespace {

constexpr mpfr_prec_t kExtendedBits = 64;

// Sets result to RN64(factor × log2 x) if an evaluation with `bits` bits decides the rounding.
// The logarithm and the product are each rounded by at most half an ulp, so the computed value
// lies within 2^(EXP - bits + 2) of the exact one, EXP being its exponent.
bool RoundLog(mpfr_ptr product, mpfr_srcptr argument, mpfr_srcptr factor, mpfr_ptr result) {
  mpfr_log2(product, argument, MPFR_RNDN);
  mpfr_mul(product, product, factor, MPFR_RNDN);
  const mpfr_prec_t bits = mpfr_get_prec(product);
  if (!mpfr_can_round(product, bits - 2, MPFR_RNDN, MPFR_RNDZ, kExtendedBits + 1)) {
    return false;
  }
  mpfr_set(result, product, MPFR_RNDN);
  return true;
}

// RN64(factor × log2 x) for a finite x > 0 that is not a power of two: log2 x is irrational, so
// the product is never a 64-bit midpoint, and more bits eventually decide its rounding; 128
// almost always do, and need no heap memory.
void ScaledLog2(double x, mpfr_srcptr factor, mpfr_ptr result) {
  FreeMpfrCachesWhenThreadEnds();
  MPFR_DECL_INIT(argument, 53);
  mpfr_set_d(argument, x, MPFR_RNDN);
  MPFR_DECL_INIT(product, 128);
  if (RoundLog(product, argument, factor, result)) {
    return;
  }
  for (mpfr_prec_t bits = 256;; bits *= 2) {
    mpfr_t wider;
    mpfr_init2(wider, bits);
    const bool decided = RoundLog(wider, argument, factor, result);
    mpfr_clear(wider);
    if (decided) {
      return;
    }
  }
}

// RN64(c × log2 x) for a constant c with a 64-bit significand, kept as an MPFR number and as
// the pair of doubles nearest c / ln 2 (ln 2 taken from kLn2: its two doubles are within 2^-109
// of it and their sum exact at 128 bits).
class ScaledLogarithm {
public:
  // setFactor sets its 64-bit argument to c.
  explicit ScaledLogarithm(void (*setFactor)(mpfr_ptr)) {
    FreeMpfrCachesWhenThreadEnds();
    mpfr_init2(factor_, kExtendedBits);
    setFactor(factor_);
    MPFR_DECL_INIT(quotient, 128);
    mpfr_set_d(quotient, exact::kLn2.hi, MPFR_RNDN);
    mpfr_add_d(quotient, quotient, exact::kLn2.lo, MPFR_RNDN);
    mpfr_div(quotient, factor_, quotient, MPFR_RNDN);
    perNatural_.hi = mpfr_get_d(quotient, MPFR_RNDN);
    mpfr_sub_d(quotient, quotient, perNatural_.hi, MPFR_RNDN);
    perNatural_.lo = mpfr_get_d(quotient, MPFR_RNDN);
  }
  ScaledLogarithm(const ScaledLogarithm &) = delete;
  ScaledLogarithm &operator=(const ScaledLogarithm &) = delete;
  ~ScaledLogarithm() { mpfr_clear(factor_); }

  // For a power of two log2 x is an integer and the product, of at most 64 + 11 bits, is
  // rounded directly. Otherwise the product is first formed in double-double from
  // NaturalLogPair; when that cannot decide the rounding, MPFR does.
  // Lemma: if L = c × log2 x and its approximation A lie strictly between the same two adjacent
  // 64-bit midpoints, and R = RN64(A) is not a power of two, then RN64(L) = R.
  // Budget: A = hi + lo is the product of ln x (within 2^-81 of it) and c / ln 2 (within 2^-106)
  // with a rounding error of 2^-104: |A - L| < 2^-80.9 |L|. D = A - R is computed with one
  // rounding of Extended (2^-63 of D, D being below an ulp of R).
  // Threshold: A is accepted when |D| is farther than 2^-78 |R| from half an ulp of R, four
  // times the error of A.
  Extended operator()(double x) const {
    MPFR_DECL_INIT(result, kExtendedBits);
    int exponent;
    if (std::frexp(x, &exponent) == 0.5) {
      mpfr_mul_si(result, factor_, exponent - 1, MPFR_RNDN);
      return ToExtended(result);
    }
    const exact::DoubleDouble logarithm = NaturalLogPair(x);
    const auto [hi, error] = exact::TwoProduct(perNatural_.hi, logarithm.hi);
    const double lo = error + (perNatural_.hi * logarithm.lo + perNatural_.lo * logarithm.hi);
    const Extended rounded = Extended(hi) + lo;
    const bool powerOfTwo = rounded.Significand() == std::uint64_t{1} << 63;
    const double distance = ((Extended(hi) - rounded) + lo).ToDouble();
    const double half = std::ldexp(1.0, rounded.Exponent() - 1);
    if (!powerOfTwo &&
        std::fabs(std::fabs(distance) - half) > std::fabs(rounded.ToDouble()) * 0x1p-78) {
      return rounded;
    }
    ScaledLog2(x, factor_, result);
    return ToExtended(result);
  }

private:
  mpfr_t factor_;
  exact::DoubleDouble perNatural_;
};

} // namespace

exact::DoubleDouble NaturalLogPair(double x) {
  // Subnormal arguments are scaled into the normal range first; ln x = e ln 2 + offset +
  // log1p(r) (log_reduction.h).
  const bool subnormal = x < 0x1p-1022;
  exact::ReducedLog<double> reduced = exact::ReduceLog(subnormal ? x * 0x1p64 : x);
  reduced.octaves -= subnormal ? 64 : 0;
  const double r = reduced.r;

  // log1p(r) = r - r²/2 + r³/3 - r⁴/4 + r^5 (1/5 - r/6 + … + r^8/13) + O(r^14): the first four
  // terms as pairs of doubles, each added to the sum exactly, the rest in plain double (2^-50 of
  // r^5/5, below 2^-84 of r). The sum of the low parts is then below 2^-41 of |ln x| (which is at
  // least 2^-9 where the offsets are used), and its roundings below 2^-86.
  const auto [square, squareError] = exact::TwoProduct(r, r);
  const auto [cube, cubeProductError] = exact::TwoProduct(square, r);
  const double cubeError = cubeProductError + squareError * r;
  const double third = cube / 3;
  const double thirdError = (exact::CancellingFma<true>(-third, 3.0, cube) + cubeError) / 3;
  const auto [quartic, quarticError] = exact::TwoProduct(square, square);
  const double fourth = quartic * 0.25;
  const double fourthError = (quarticError + 2 * square * squareError) * 0.25;
  double tail = 1.0 / 13;
  for (int n = 12; n >= 5; --n) {
    tail = tail * -r + 1.0 / n;
  }
  tail *= square * cube;

  const exact::DoubleDouble withOffset = exact::OctavesAndOffset(reduced);
  const exact::DoubleDouble withR = exact::TwoSum(withOffset.hi, r);
  const exact::DoubleDouble withSquare = exact::TwoSum(withR.hi, -0.5 * square);
  const exact::DoubleDouble withCube = exact::TwoSum(withSquare.hi, third);
  const exact::DoubleDouble withFourth = exact::TwoSum(withCube.hi, -fourth);
  const double low = withOffset.lo + withR.lo + withSquare.lo + withCube.lo + withFourth.lo +
                     (thirdError - 0.5 * squareError - fourthError) + tail;
  return exact::TwoSum(withFourth.hi, low);
}

Extended DecimalLog(double p) {
  static const ScaledLogarithm log10Of2([](mpfr_ptr factor) {
    mpfr_set_ui(factor, 2, MPFR_RNDN);
    mpfr_log10(factor, factor, MPFR_RNDN);
  });
  return log10Of2(p);
}

Extended NaturalLog(double x) {
  static const ScaledLogarithm lnOf2([](mpfr_ptr factor) {
    mpfr_set_d(factor, exact::kLn2.hi, MPFR_RNDN);
    mpfr_add_d(factor, factor, exact::kLn2.lo, MPFR_RNDN);
  });
  return lnOf2(x);
}

} // namespace analysis
