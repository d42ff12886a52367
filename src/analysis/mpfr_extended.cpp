#include "analysis/mpfr_extended.h"

namespace analysis {

Extended ToExtended(mpfr_srcptr value) {
  constexpr mpfr_prec_t kExtendedBits = 64;
  if (mpfr_zero_p(value)) {
    return Extended(mpfr_signbit(value) ? -0.0 : 0.0);
  }
  // value = ±significand × 2^exponent with a 64-bit integer significand.
  MPFR_DECL_INIT(significand, kExtendedBits);
  const mpfr_exp_t exponent = mpfr_get_exp(value) - kExtendedBits;
  mpfr_abs(significand, value, MPFR_RNDN);
  mpfr_mul_2si(significand, significand, -exponent, MPFR_RNDN);
  return Extended::FromParts(mpfr_signbit(value) != 0, mpfr_get_uj(significand, MPFR_RNDN),
                             static_cast<int>(exponent));
}

void FreeMpfrCachesWhenThreadEnds() {
  struct Release {
    ~Release() { mpfr_free_cache2(MPFR_FREE_LOCAL_CACHE); }
  };
  thread_local Release release;
  static_cast<void>(release);
}

} // namespace analysis
