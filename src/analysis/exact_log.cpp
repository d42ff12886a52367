#include "analysis/exact_log.h"

#include <mpfr.h>

#include <cmath>

namespace analysis {

namespace {

constexpr mpfr_prec_t kExtendedBits = 64;

// log10 2 or ln 2 rounded to 64 bits, computed once.
class RoundedConstant {
public:
  explicit RoundedConstant(int (*logarithm)(mpfr_ptr, mpfr_srcptr, mpfr_rnd_t)) {
    mpfr_init2(value_, kExtendedBits);
    mpfr_set_ui(value_, 2, MPFR_RNDN);
    logarithm(value_, value_, MPFR_RNDN);
  }
  RoundedConstant(const RoundedConstant &) = delete;
  RoundedConstant &operator=(const RoundedConstant &) = delete;
  ~RoundedConstant() { mpfr_clear(value_); }

  mpfr_srcptr Get() const { return value_; }

private:
  mpfr_t value_;
};

// A 64-bit value held by MPFR, exactly.
Extended ToExtended(mpfr_srcptr value) {
  if (mpfr_zero_p(value)) {
    return Extended();
  }
  MPFR_DECL_INIT(significand, kExtendedBits);
  const mpfr_exp_t exponent = mpfr_get_exp(value) - kExtendedBits;
  mpfr_abs(significand, value, MPFR_RNDN);
  mpfr_mul_2si(significand, significand, -exponent, MPFR_RNDN);
  return Extended::FromParts(mpfr_signbit(value) != 0, mpfr_get_uj(significand, MPFR_RNDN),
                             static_cast<int>(exponent));
}

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

// RN64(factor × log2 x) for a finite x > 0. For a power of two log2 x is an integer and the
// product, of at most 64 + 11 bits, is rounded directly. Otherwise log2 x is irrational, the
// product is never a 64-bit midpoint, and more bits eventually decide its rounding; 128 almost
// always do, and need no heap memory.
Extended ScaledLog2(double x, const RoundedConstant &factor) {
  MPFR_DECL_INIT(result, kExtendedBits);
  int exponent;
  if (std::frexp(x, &exponent) == 0.5) {
    mpfr_mul_si(result, factor.Get(), exponent - 1, MPFR_RNDN);
    return ToExtended(result);
  }
  MPFR_DECL_INIT(argument, 53);
  mpfr_set_d(argument, x, MPFR_RNDN);
  MPFR_DECL_INIT(product, 128);
  if (!RoundLog(product, argument, factor.Get(), result)) {
    for (mpfr_prec_t bits = 256;; bits *= 2) {
      mpfr_t wider;
      mpfr_init2(wider, bits);
      const bool decided = RoundLog(wider, argument, factor.Get(), result);
      mpfr_clear(wider);
      if (decided) {
        break;
      }
    }
  }
  return ToExtended(result);
}

} // namespace

Extended DecimalLog(double p) {
  static const RoundedConstant log10Of2(mpfr_log10);
  return ScaledLog2(p, log10Of2);
}

Extended NaturalLog(double x) {
  static const RoundedConstant lnOf2(mpfr_log);
  return ScaledLog2(x, lnOf2);
}

} // namespace analysis
