#pragma once

// The frame arithmetic written out literally, one step per formula, with MPFR: every
// extended-precision step rounded to 64 bits, every logarithm and sine taken with 256 bits and
// rounded once. The product's fast code must give the same bits; the tests compare the two.
// The frames given to it hold no NaN, so every NaN is one made by an invalid operation: the
// negative quiet NaN, as on x86-64.

#include "analysis/fft.h"

#include <mpfr.h>

#include <array>
#include <limits>
#include <memory>
#include <numbers>

namespace analysis::literal {

// An MPFR number of the given precision, 64 bits unless said otherwise.
class Real {
public:
  Real() : Real(mpfr_prec_t{64}) {}
  explicit Real(mpfr_prec_t bits) { mpfr_init2(value_, bits); }
  explicit Real(double x, mpfr_prec_t bits = 64) : Real(bits) { mpfr_set_d(value_, x, MPFR_RNDN); }
  Real(const Real &) = delete;
  Real &operator=(const Real &) = delete;
  ~Real() { mpfr_clear(value_); }

  mpfr_ptr operator*() { return value_; }

  double ToDouble() const {
    return mpfr_nan_p(value_) ? -std::numeric_limits<double>::quiet_NaN()
                              : mpfr_get_d(value_, MPFR_RNDN);
  }
  float ToFloat() const {
    return mpfr_nan_p(value_) ? -std::numeric_limits<float>::quiet_NaN()
                              : mpfr_get_flt(value_, MPFR_RNDN);
  }

private:
  mpfr_t value_;
};

// RN64(c × log2 p), the logarithm with 256 bits; c is the 64-bit constant.
inline void ScaledLog2(mpfr_ptr result, mpfr_ptr constant, double p) {
  Real logarithm(p, 256);
  mpfr_log2(*logarithm, *logarithm, MPFR_RNDN);
  mpfr_mul(result, *logarithm, constant, MPFR_RNDN);
}

// The window weights sin(i × π × 2^-12): the product i × π (π the double) rounded to 64 bits,
// scaled and rounded to double, its sine taken with 256 bits and rounded to 64.
inline mpfr_ptr WindowWeight(int i) {
  static const auto weights = [] {
    auto table = std::make_unique<std::array<Real, kFrameLength>>();
    for (int j = 0; j < kFrameLength; ++j) {
      Real angle(std::numbers::pi);
      mpfr_mul_si(*angle, *angle, j, MPFR_RNDN);
      mpfr_mul_2si(*angle, *angle, -12, MPFR_RNDN);
      Real sine(angle.ToDouble(), 256);
      mpfr_sin(*sine, *sine, MPFR_RNDN);
      mpfr_set(*(*table)[j], *sine, MPFR_RNDN);
    }
    return table;
  }();
  return *(*weights)[i];
}

// x[i] × gain × 2 × 2^-12, times the window weight if asked, rounded once to float.
inline void ScaleFrame(TimeFrame &data, double gain, bool window) {
  for (int i = 0; i < kFrameLength; ++i) {
    Real scaled(data[i]);
    mpfr_mul_d(*scaled, *scaled, gain, MPFR_RNDN);
    mpfr_mul_2si(*scaled, *scaled, 1 - 12, MPFR_RNDN);
    if (window) {
      mpfr_mul(*scaled, *scaled, WindowWeight(i), MPFR_RNDN);
    }
    data[i] = scaled.ToFloat();
  }
}

// Bit-reversed load, then twelve radix-2 stages in place with float twiddles; each product pair
// is summed with 64 bits and rounded to float, each butterfly output likewise.
inline void ComputeFFT(const TimeFrame &input, SpectrumFrame &output) {
  const FftTables &tables = FftTables::Get();
  for (int i = 0; i < kFrameLength; ++i) {
    output[2 * i] = input[tables.BitReverse[i]];
    output[2 * i + 1] = 0.0f;
  }
  Real p, q, t;
  // RN64(RN64(w0 × x0) ± RN64(w1 × x1)) rounded to float.
  const auto twiddled = [&](float w0, float x0, float w1, float x1, bool add) {
    mpfr_set_flt(*p, w0, MPFR_RNDN);
    mpfr_mul_d(*p, *p, x0, MPFR_RNDN);
    mpfr_set_flt(*q, w1, MPFR_RNDN);
    mpfr_mul_d(*q, *q, x1, MPFR_RNDN);
    (add ? mpfr_add : mpfr_sub)(*t, *p, *q, MPFR_RNDN);
    return t.ToFloat();
  };
  // RN64(a ± b) rounded to float.
  const auto sum = [&](float a, float b, bool add) {
    mpfr_set_flt(*p, a, MPFR_RNDN);
    mpfr_set_flt(*q, b, MPFR_RNDN);
    (add ? mpfr_add : mpfr_sub)(*t, *p, *q, MPFR_RNDN);
    return t.ToFloat();
  };
  for (int half = 1, groups = kFrameLength / 2; half < kFrameLength; half *= 2, groups /= 2) {
    for (int base = 0; base < kFrameLength; base += 2 * half) {
      for (int k = 0, index = 0; k < half; ++k, index += groups) {
        const float c = static_cast<float>(tables.CosTable[index]);
        const float s = static_cast<float>(tables.NegSinTable[index]);
        float *a = &output[2 * (base + k)];
        float *b = &output[2 * (base + k + half)];
        const float tr = twiddled(c, b[0], s, b[1], false);
        const float ti = twiddled(c, b[1], s, b[0], true);
        const float ar = a[0], ai = a[1];
        a[0] = sum(ar, tr, true);
        a[1] = sum(ai, ti, true);
        b[0] = sum(ar, tr, false);
        b[1] = sum(ai, ti, false);
      }
    }
  }
}

// p = re² + im², each step with 64 bits, rounded to double.
inline double Power(double re, double im) {
  Real power(re), square(im);
  mpfr_sqr(*power, *power, MPFR_RNDN);
  mpfr_sqr(*square, *square, MPFR_RNDN);
  mpfr_add(*power, *power, *square, MPFR_RNDN);
  return power.ToDouble();
}

// The level of a double power: -10 × RN64(log10(2)) × log2 p (999 for p <= 0 or NaN), or
// (1 - sqrt(p) × 10) × 90.31, each step with 64 bits and the result rounded once to double.
inline double PowerLevel(double p, bool decibel) {
  Real level(p);
  if (!decibel) {
    mpfr_sqrt(*level, *level, MPFR_RNDN);
    mpfr_mul_si(*level, *level, 10, MPFR_RNDN);
    mpfr_si_sub(*level, 1, *level, MPFR_RNDN);
    mpfr_mul_d(*level, *level, 90.31, MPFR_RNDN);
    return level.ToDouble();
  }
  if (!(p > 0)) {
    return 999;
  }
  if (mpfr_inf_p(*level)) {
    return -p;
  }
  struct Log10Of2 : Real {
    Log10Of2() : Real(2.0) { mpfr_log10(**this, **this, MPFR_RNDN); }
  };
  static Log10Of2 log10Of2;
  ScaledLog2(*level, *log10Of2, p);
  mpfr_mul_si(*level, *level, -10, MPFR_RNDN);
  return level.ToDouble();
}

// The level of the bin (re, im): PowerLevel of its Power.
inline double BinLevel(double re, double im, bool decibel) {
  return PowerLevel(Power(re, im), decibel);
}

} // namespace analysis::literal
