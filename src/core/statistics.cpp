#include "core/statistics.h"

#include "analysis/exact_double.h"
#include "analysis/frame.h"
#include "analysis/mpfr_extended.h"

#include <mpfr.h>

#include <cmath>

namespace core {

namespace {

using analysis::exact::FastTwoSum;
using analysis::exact::Pair;
using analysis::exact::TwoSum;

// hi + lo + p for p at least 0, renormalised so that |lo| stays within half an ulp of hi: each
// step's rounding error is at most 2^-105 of the sum, so n steps stay within n × 2^-105 of it.
inline void AddPower(double &hi, double &lo, double p) {
  const Pair<double> sum = TwoSum(hi, p);
  const Pair<double> renormalised = FastTwoSum(sum.hi, lo + sum.lo);
  hi = renormalised.hi;
  lo = renormalised.lo;
}

// (hi + lo) / count with one final rounding: q = hi / count, its exact remainder hi - q × count
// (representable, found from the exact product), and the correction (remainder + lo) / count.
double Divide(double hi, double lo, std::int64_t count) {
  const double n = static_cast<double>(count);
  const double q = hi / n;
  if (!std::isfinite(q) || q == 0) {
    return q + lo / n;
  }
  const Pair<double> product = analysis::exact::TwoProduct(q, n);
  const double remainder = (hi - product.hi) - product.lo;
  return q + (remainder + lo) / n;
}

} // namespace

PowerStatistics::PowerStatistics(std::size_t count)
    : high_(count), low_(count), max_(count), min_(count) {}

void PowerStatistics::Add(std::span<const double> powers) {
  const std::size_t count = high_.size();
  if (frames_++ == 0) {
    for (std::size_t i = 0; i < count; ++i) {
      high_[i] = max_[i] = min_[i] = powers[i];
    }
    return;
  }
  for (std::size_t i = 0; i < count; ++i) {
    AddPower(high_[i], low_[i], powers[i]);
    max_[i] = powers[i] > max_[i] ? powers[i] : max_[i];
    min_[i] = powers[i] < min_[i] ? powers[i] : min_[i];
  }
}

std::vector<double> PowerStatistics::Powers(Statistic statistic) const {
  if (statistic == Statistic::Max) {
    return max_;
  }
  if (statistic == Statistic::Min) {
    return min_;
  }
  std::vector<double> mean(high_.size());
  for (std::size_t i = 0; i < mean.size(); ++i) {
    mean[i] = Divide(high_[i], low_[i], frames_);
  }
  return mean;
}

double SumOfPowers(std::span<const double> powers) {
  double hi = 0, lo = 0;
  for (const double p : powers) {
    AddPower(hi, lo, p);
  }
  return hi + lo;
}

namespace {

// Enough bits that the factor rounds to double as the exact one does, but in cases closer to a
// midpoint than 2^-140 of it; every machine computes the same bits either way.
constexpr mpfr_prec_t kWeightingBits = 192;

// The poles of the closed forms in Hz.
constexpr const char *kPoles[4] = {"20.598997", "107.65265", "737.86223", "12194.217"};

// The squared response of the closed form at f² = `square`, up to a constant factor:
// A: f^8 / ((f² + f1²)² (f² + f2²) (f² + f3²) (f² + f4²)²); C: f^4 / ((f² + f1²)² (f² + f4²)²).
void SquaredResponse(Weighting weighting, mpfr_t result, const mpfr_t square) {
  MPFR_DECL_INIT(pole, kWeightingBits);
  MPFR_DECL_INIT(term, kWeightingBits);
  mpfr_pow_ui(result, square, weighting == Weighting::A ? 4 : 2, MPFR_RNDN);
  // Each pole's exponent in the denominator: f1 and f4 twice, f2 and f3 once in A only.
  const int exponents[4] = {2, weighting == Weighting::A ? 1 : 0, weighting == Weighting::A ? 1 : 0,
                            2};
  for (int i = 0; i < 4; ++i) {
    mpfr_set_str(pole, kPoles[i], 10, MPFR_RNDN);
    mpfr_sqr(pole, pole, MPFR_RNDN);
    mpfr_add(term, square, pole, MPFR_RNDN);
    for (int e = 0; e < exponents[i]; ++e) {
      mpfr_div(result, result, term, MPFR_RNDN);
    }
  }
}

// The factor at the exact frequency given.
double Factor(Weighting weighting, const mpfr_t frequency) {
  analysis::FreeMpfrCachesWhenThreadEnds();
  MPFR_DECL_INIT(square, kWeightingBits);
  MPFR_DECL_INIT(response, kWeightingBits);
  MPFR_DECL_INIT(reference, kWeightingBits);
  mpfr_set_ui(square, 1000 * 1000, MPFR_RNDN);
  SquaredResponse(weighting, reference, square);
  mpfr_sqr(square, frequency, MPFR_RNDN);
  SquaredResponse(weighting, response, square);
  mpfr_div(response, response, reference, MPFR_RNDN);
  return mpfr_get_d(response, MPFR_RNDN);
}

} // namespace

double WeightingFactor(Weighting weighting, double frequency) {
  if (weighting == Weighting::Z) {
    return 1;
  }
  MPFR_DECL_INIT(exact, 53);
  mpfr_set_d(exact, frequency, MPFR_RNDN);
  return Factor(weighting, exact);
}

std::vector<double> WeightingFactors(Weighting weighting, double rate) {
  if (weighting == Weighting::Z) {
    return {};
  }
  constexpr int kHalf = analysis::kFrameLength / 2;
  std::vector<double> factors(analysis::kFrameLength);
  for (int k = 0; k <= kHalf; ++k) {
    // k × rate / 4096 exactly: 53 bits times at most 12.
    MPFR_DECL_INIT(frequency, 53 + 12);
    mpfr_set_d(frequency, rate, MPFR_RNDN);
    mpfr_mul_ui(frequency, frequency, static_cast<unsigned long>(k), MPFR_RNDN);
    mpfr_div_2ui(frequency, frequency, 12, MPFR_RNDN);
    factors[k] = Factor(weighting, frequency);
    factors[(analysis::kFrameLength - k) % analysis::kFrameLength] = factors[k];
  }
  return factors;
}

void ApplyWeighting(std::span<const double> factors, std::span<double> powers) {
  for (std::size_t k = 0; k < factors.size(); ++k) {
    powers[k] *= factors[k];
  }
}

} // namespace core
