#include "analysis/level.h"

#include "analysis/analysis_tables.h"
#include "analysis/arithmetic_path.h"
#include "analysis/exact_double.h"
#include "analysis/exact_log.h"
#include "analysis/extended.h"

#include <array>
#include <bit>
#include <cmath>
#include <cstdint>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace analysis {

namespace {

// The linear scale maps magnitude 0.1 to level 0 and each 0.01 of magnitude to 9.031 units.
constexpr double kLinearLevelScale = 90.31;
constexpr double kZeroPowerLevel = 999;

// The power rounded to double the literal way: the exact sum rounded to 64 bits, then to 53.
double LiteralPower(double re, double im) {
  const Extended real = re, imaginary = im;
  return (real * real + imaginary * imaginary).ToDouble();
}

// The level of a power the literal way: every step rounded to 64 bits, the result to double.
// NaN power has the zero-power level, as it compares false with 0.
double LiteralLevel(double power, bool decibel) {
  if (!decibel) {
    return ((1 - Sqrt(Extended(power)) * 10) * kLinearLevelScale).ToDouble();
  }
  if (!(power > 0)) {
    return kZeroPowerLevel;
  }
  if (std::isinf(power)) {
    return -power;
  }
  return (DecimalLog(power) * -10).ToDouble();
}

using exact::DoubleDouble;
using exact::kLn2;
using exact::TwoSum;

double Ulp(double x) {
  const std::uint64_t exponent = std::bit_cast<std::uint64_t>(x) & 0x7ff0000000000000u;
  return std::bit_cast<double>(exponent - (std::uint64_t{52} << 52));
}

bool IsPowerOfTwo(double x) {
  return (std::bit_cast<std::uint64_t>(x) & 0x000fffffffffffffu) == 0;
}

// The exact sum of two squares of floats (each exact in double), rounded to double; false when
// rounding it first to 64 bits might land on a double midpoint and round the other way.
bool FastPower(double square0, double square1, double &power) {
  const DoubleDouble sum = TwoSum(square0, square1);
  power = sum.hi;
  if (sum.lo == 0) {
    return true;
  }
  if (IsPowerOfTwo(power) || !std::isfinite(power)) {
    return false;
  }
  const double half = Ulp(power) / 2;
  const double error = std::fabs(sum.lo);
  // A 64-bit rounding moves the sum by at most half an ulp of 64 bits, 2^-11 of a double ulp.
  return error == half || std::fabs(error - half) > half * 0x1p-10;
}

// 1/3, 1/4, … 1/9: the series of log1p from its cubic term on, in powers of -r. With |r| below
// 2^-8 the terms from r^10 on stay below 2^-72 of log1p(r).
constexpr int kLogSeriesTerms = 7;
constexpr double kLogSeries[kLogSeriesTerms] = {1.0 / 3, 1.0 / 4, 1.0 / 5, 1.0 / 6,
                                                1.0 / 7, 1.0 / 8, 1.0 / 9};

// -10 / ln 10 as a pair of doubles.
constexpr DoubleDouble kDecibelFactor = {-0x1.15f2ced384f29p+2, 0x1.02bea6b55233cp-53};

// The decibel levels' acceptance test, shared by the scalar and the vector code: -10 × log10(p)
// for a positive finite normal power rounds to double as the literal route rounds it unless the
// value lies within kLevelMargin of its magnitude from a rounding boundary.
// Lemma: if the literal value V and the computed value F = hi + lo lie strictly between the
// same two adjacent double midpoints, both round to hi.
// Budget: V = RN64(RN64(c × log2 p) × -10) with c = RN64(log10 2) is three 64-bit roundings
// away from X = -10 log10 p: |V - X| ≤ 3 × 2^-64 (1 + 2^-63) |X| < 2^-62.41 |X|. F has a
// relative error below 2^-74. In the vector code: the table offsets and ln 2 as pairs of doubles
// (2^-106 each, times at most 1075 octaves against a logarithm of at least 2^-9 when either is
// used), the series cut after r^9 (|r|^10 < 2^-80, 2^-83 of log1p(r)), its tail from r³ on in
// plain double (2^-50 of r³/3, 2^-76 of r, r at most twice ln p), the double-double sums and
// the product (2^-100 together). The scalar code takes ln p from NaturalLogPair (2^-81).
// Threshold: a margin above 2^-61 |hi| exceeds |V - F| < 2^-62.39 |X| by a factor of 2.6, so V
// lies between the same midpoints as F. Powers of two as results are left out: their rounding
// interval is not symmetric.
constexpr double kLevelMargin = 0x1p-61;

// -10 × log10(p) for a positive finite normal power as the literal route rounds it, or false
// when the acceptance test above cannot decide.
bool FastDecibels(double power, double &level) {
  const DoubleDouble logarithm = NaturalLogPair(power);
  const double product = kDecibelFactor.hi * logarithm.hi;
  const double productLow = std::fma(kDecibelFactor.hi, logarithm.hi, -product) +
                            (kDecibelFactor.hi * logarithm.lo + kDecibelFactor.lo * logarithm.hi);
  const DoubleDouble result = TwoSum(product, productLow);
  if (result.hi == 0 || IsPowerOfTwo(result.hi)) {
    return false;
  }
  level = result.hi;
  return Ulp(result.hi) / 2 - std::fabs(result.lo) > std::fabs(result.hi) * kLevelMargin;
}

double FloatBinLevel(float re, float im, bool decibel) {
  double power;
  const double square0 = static_cast<double>(re) * re;
  const double square1 = static_cast<double>(im) * im;
  if (!decibel || !FastPower(square0, square1, power)) {
    if (decibel) {
      ++Fallbacks().levels;
    }
    return LiteralLevel(LiteralPower(re, im), decibel);
  }
  if (power == 0) {
    return kZeroPowerLevel;
  }
  double level;
  if (std::isfinite(power) && FastDecibels(power, level)) {
    return level;
  }
  ++Fallbacks().levels;
  return LiteralLevel(power, true);
}

#if defined(__x86_64__)

struct Pair {
  __m256d hi, lo;
};

VIREO_AVX2_INLINE Pair TwoSum4(__m256d a, __m256d b) {
  const __m256d sum = _mm256_add_pd(a, b);
  const __m256d bPart = _mm256_sub_pd(sum, a);
  return {sum, _mm256_add_pd(_mm256_sub_pd(a, _mm256_sub_pd(sum, bPart)), _mm256_sub_pd(b, bPart))};
}

// TwoSum when |a| has at least the exponent of |b| (or a is 0): three operations.
VIREO_AVX2_INLINE Pair FastTwoSum4(__m256d a, __m256d b) {
  const __m256d sum = _mm256_add_pd(a, b);
  return {sum, _mm256_sub_pd(b, _mm256_sub_pd(sum, a))};
}

VIREO_AVX2_INLINE __m256d Ulp4(__m256d x) {
  const __m256i exponent =
      _mm256_and_si256(_mm256_castpd_si256(x), _mm256_set1_epi64x(0x7ff0000000000000));
  return _mm256_castsi256_pd(
      _mm256_sub_epi64(exponent, _mm256_set1_epi64x(std::int64_t{52} << 52)));
}

// Lanes that are a power of two (or zero): no mantissa bits.
VIREO_AVX2_INLINE __m256d PowerOfTwoLanes(__m256d x) {
  const __m256i mantissa =
      _mm256_and_si256(_mm256_castpd_si256(x), _mm256_set1_epi64x(0x000fffffffffffff));
  return _mm256_castsi256_pd(_mm256_cmpeq_epi64(mantissa, _mm256_setzero_si256()));
}

VIREO_AVX2_INLINE __m256d Abs4(__m256d x) {
  return _mm256_andnot_pd(_mm256_set1_pd(-0.0), x);
}

// FastPower and FastDecibels on four bins at once; `doubtful` marks the lanes that the scalar
// code must decide (zero power included, which has its own level).
VIREO_AVX2 __m256d VectorDecibels(__m256d square0, __m256d square1, __m256d &doubtful) {
  const Pair power = TwoSum4(square0, square1);
  const __m256d p = power.hi;
  const __m256d half = _mm256_mul_pd(Ulp4(p), _mm256_set1_pd(0.5));
  const __m256d error = Abs4(power.lo);
  const __m256d powerSure = _mm256_or_pd(
      _mm256_cmp_pd(power.lo, _mm256_setzero_pd(), _CMP_EQ_OQ),
      _mm256_andnot_pd(
          PowerOfTwoLanes(p),
          _mm256_or_pd(_mm256_cmp_pd(error, half, _CMP_EQ_OQ),
                       _mm256_cmp_pd(Abs4(_mm256_sub_pd(error, half)),
                                     _mm256_mul_pd(half, _mm256_set1_pd(0x1p-10)), _CMP_GT_OQ))));
  const __m256d normal =
      _mm256_and_pd(_mm256_cmp_pd(p, _mm256_set1_pd(0x1p-1022), _CMP_GE_OQ),
                    _mm256_cmp_pd(p, _mm256_set1_pd(0x1.fffffffffffffp1023), _CMP_LE_OQ));

  const __m256i bits = _mm256_castpd_si256(p);
  const __m256i index = _mm256_and_si256(_mm256_srli_epi64(bits, 44), _mm256_set1_epi64x(0xff));
  // Table rows looked up one by one: gathers are slow on some CPUs.
  alignas(32) std::int64_t rows[4];
  _mm256_store_si256(reinterpret_cast<__m256i *>(rows), index);
  const tables::LogRow &e0 = tables::kLog[rows[0]], &e1 = tables::kLog[rows[1]];
  const tables::LogRow &e2 = tables::kLog[rows[2]], &e3 = tables::kLog[rows[3]];
  const __m256d inverse = _mm256_set_pd(e3.inverse, e2.inverse, e1.inverse, e0.inverse);
  const __m256d offsetHi = _mm256_set_pd(e3.hi, e2.hi, e1.hi, e0.hi);
  const __m256d offsetLo = _mm256_set_pd(e3.lo, e2.lo, e1.lo, e0.lo);
  // The exponent, one higher for the upper half of the table, as a double via 2^52 + e.
  const __m256i biased = _mm256_add_epi64(_mm256_srli_epi64(bits, 52), _mm256_srli_epi64(index, 7));
  const __m256d e = _mm256_sub_pd(
      _mm256_castsi256_pd(_mm256_or_si256(biased, _mm256_set1_epi64x(0x4330000000000000))),
      _mm256_set1_pd(0x1p52 + 1023));
  const __m256d mantissa = _mm256_castsi256_pd(
      _mm256_or_si256(_mm256_and_si256(bits, _mm256_set1_epi64x(0x000fffffffffffff)),
                      _mm256_set1_epi64x(0x3ff0000000000000)));
  const __m256d r = _mm256_fmsub_pd(mantissa, inverse, _mm256_set1_pd(1.0));

  const __m256d square = _mm256_mul_pd(r, r);
  const __m256d squareError = _mm256_fmsub_pd(r, r, square);
  const __m256d minusR = _mm256_xor_pd(r, _mm256_set1_pd(-0.0));
  // Estrin's scheme: pairs of terms first, for a short dependency chain.
  const __m256d r2 = _mm256_mul_pd(minusR, minusR), r4 = _mm256_mul_pd(r2, r2);
  const __m256d low2 =
      _mm256_fmadd_pd(_mm256_set1_pd(kLogSeries[1]), minusR, _mm256_set1_pd(kLogSeries[0]));
  const __m256d mid2 =
      _mm256_fmadd_pd(_mm256_set1_pd(kLogSeries[3]), minusR, _mm256_set1_pd(kLogSeries[2]));
  const __m256d high2 =
      _mm256_fmadd_pd(_mm256_set1_pd(kLogSeries[5]), minusR, _mm256_set1_pd(kLogSeries[4]));
  __m256d tail = _mm256_fmadd_pd(_mm256_fmadd_pd(_mm256_set1_pd(kLogSeries[6]), r2, high2), r4,
                                 _mm256_fmadd_pd(mid2, r2, low2));
  tail = _mm256_mul_pd(tail, _mm256_mul_pd(square, r));
  const __m256d halfSquare = _mm256_mul_pd(square, _mm256_set1_pd(-0.5));
  const Pair head = TwoSum4(r, halfSquare);
  const __m256d ln2Hi = _mm256_set1_pd(kLn2.hi);
  const __m256d octaves = _mm256_mul_pd(e, ln2Hi);
  const __m256d octavesError = _mm256_fmsub_pd(e, ln2Hi, octaves);
  // |e| ln 2 is at least ln 2 unless e is 0, and every offset is below 0.41 in magnitude.
  const Pair first = FastTwoSum4(octaves, offsetHi);
  const Pair second = TwoSum4(first.hi, head.hi);
  const __m256d low = _mm256_add_pd(
      _mm256_add_pd(
          _mm256_add_pd(first.lo, second.lo),
          _mm256_add_pd(_mm256_fmadd_pd(e, _mm256_set1_pd(kLn2.lo), octavesError), offsetLo)),
      _mm256_add_pd(_mm256_fmadd_pd(squareError, _mm256_set1_pd(-0.5), head.lo), tail));
  const Pair logarithm = FastTwoSum4(second.hi, low);

  const __m256d factorHi = _mm256_set1_pd(kDecibelFactor.hi);
  const __m256d product = _mm256_mul_pd(factorHi, logarithm.hi);
  const __m256d productLow = _mm256_add_pd(
      _mm256_fmsub_pd(factorHi, logarithm.hi, product),
      _mm256_fmadd_pd(factorHi, logarithm.lo,
                      _mm256_mul_pd(_mm256_set1_pd(kDecibelFactor.lo), logarithm.hi)));
  const Pair result = FastTwoSum4(product, productLow);
  const __m256d margin =
      _mm256_sub_pd(_mm256_mul_pd(Ulp4(result.hi), _mm256_set1_pd(0.5)), Abs4(result.lo));
  const __m256d levelSure = _mm256_andnot_pd(
      PowerOfTwoLanes(result.hi),
      _mm256_cmp_pd(margin, _mm256_mul_pd(Abs4(result.hi), _mm256_set1_pd(kLevelMargin)),
                    _CMP_GT_OQ));
  doubtful = _mm256_xor_pd(_mm256_and_pd(_mm256_and_pd(powerSure, normal), levelSure),
                           _mm256_castsi256_pd(_mm256_set1_epi64x(-1)));
  return result.hi;
}

// Decibel levels of the bins first … first + count - 1, four at a time, the doubtful ones
// through FloatBinLevel.
VIREO_AVX2 void VectorBinLevels(const SpectrumFrame &spectrum, int first, int count,
                                double *levels) {
  constexpr int kLanes = 4;
  int i = 0;
  for (; i + kLanes <= count; i += kLanes) {
    const __m256 pairs = _mm256_loadu_ps(&spectrum[2 * (first + i)]);
    const __m256d low = _mm256_cvtps_pd(_mm256_castps256_ps128(pairs));
    const __m256d high = _mm256_cvtps_pd(_mm256_extractf128_ps(pairs, 1));
    const __m256d lowSquares = _mm256_mul_pd(low, low), highSquares = _mm256_mul_pd(high, high);
    // Bins in the lane order 0, 2, 1, 3, put back in order when stored.
    __m256d doubtful;
    const __m256d level = VectorDecibels(_mm256_unpacklo_pd(lowSquares, highSquares),
                                         _mm256_unpackhi_pd(lowSquares, highSquares), doubtful);
    _mm256_storeu_pd(&levels[i], _mm256_permute4x64_pd(level, 0xd8));
    const int redo = _mm256_movemask_pd(_mm256_permute4x64_pd(doubtful, 0xd8));
    for (int lane = 0; redo != 0 && lane < kLanes; ++lane) {
      if (redo & (1 << lane)) {
        const int bin = first + i + lane;
        levels[i + lane] = FloatBinLevel(spectrum[2 * bin], spectrum[2 * bin + 1], true);
      }
    }
  }
  for (; i < count; ++i) {
    levels[i] = FloatBinLevel(spectrum[2 * (first + i)], spectrum[2 * (first + i) + 1], true);
  }
}

#endif

} // namespace

double BinLevel(double re, double im, bool decibel) {
  const float reFloat = static_cast<float>(re), imFloat = static_cast<float>(im);
  if (reFloat == re && imFloat == im) {
    return FloatBinLevel(reFloat, imFloat, decibel);
  }
  return LiteralLevel(LiteralPower(re, im), decibel);
}

void BinLevels(const SpectrumFrame &spectrum, int first, int count, bool decibel, double *levels) {
#if defined(__x86_64__)
  if (decibel && UsesVectorPath()) {
    VectorBinLevels(spectrum, first, count, levels);
    return;
  }
#endif
  for (int i = 0; i < count; ++i) {
    const int bin = first + i;
    levels[i] = FloatBinLevel(spectrum[2 * bin], spectrum[2 * bin + 1], decibel);
  }
}

double LevelToAmplitude(double linearLevel) {
  // The reciprocal of the double 90.31 and the factor 0.1, each rounded to 64 bits:
  // 0.011072970878086590353 and 0.1000000000000000000013553. With them zero power (level
  // 90.31) comes back as exactly 0.
  static const Extended inverseScale = Extended(1) / kLinearLevelScale;
  static const Extended amplitudeScale = Extended(1) / 10;
  return ((1 - linearLevel * inverseScale) * amplitudeScale).ToDouble();
}

} // namespace analysis
