#include "analysis/level.h"

#include "analysis/analysis_tables.h"
#include "analysis/arithmetic_path.h"
#include "analysis/exact_double.h"
#include "analysis/exact_log.h"
#include "analysis/extended.h"
#include "analysis/lane_paths.h"
#include "analysis/log_reduction.h"

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <utility>

namespace analysis {

namespace {

// The linear scale maps magnitude 0.1 to level 0 and each 0.01 of magnitude to 9.031 units.
constexpr double kLinearLevelScale = 90.31;
// 10 × 90.31 as a double, exactly: 903.1's double is ten times 90.31's.
constexpr double kLinearRootScale = 10 * kLinearLevelScale;
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

// 1/3, 1/4, … 1/9: the series of log1p from its cubic term on, in powers of -r.
constexpr int kLogSeriesTerms = 7;
constexpr double kLogSeries[kLogSeriesTerms] = {1.0 / 3, 1.0 / 4, 1.0 / 5, 1.0 / 6,
                                                1.0 / 7, 1.0 / 8, 1.0 / 9};

// -10 / ln 10 as a pair of doubles.
constexpr exact::DoubleDouble kDecibelFactor = {-0x1.15f2ced384f29p+2, 0x1.02bea6b55233cp-53};
// How far from a rounding boundary a decibel level must be, relative to its magnitude.
constexpr double kLevelMargin = 0x1p-61;

// The power p = square0 + square1 (two exact squares of floats) rounded to double, and the lanes
// where it is the literal route's power. The sum is rounded to double once; the literal route
// rounds it to 64 bits first, which moves it by at most 2^-11 of a double ulp, so the two agree
// unless the TwoSum error lies within 2^-10 of half an ulp (or exactly on it) or the sum is a
// power of two (asymmetric interval). Infinite and NaN sums fail the test (their error is NaN).
template <typename L> VIREO_KERNEL auto Power(const L &square0, const L &square1) {
  using namespace exact;
  const Pair<L> power = TwoSum(square0, square1);
  const L p = power.hi;
  const L half = Ulp(p) * 0.5;
  const L error = Abs(power.lo);
  const auto sure = (power.lo == 0.0) |
                    ((!IsPowerOfTwo(p)) & ((error == half) | (Abs(error - half) > half * 0x1p-10)));
  return std::pair(p, sure);
}

// Lanes where the double-double hi + lo, within `budget` of the literal route's value, rounds to
// hi as that value does. Lemma: if the literal value V and F = hi + lo lie strictly between the
// same two adjacent double midpoints, both round to hi (the margin below is computed with at most
// one rounding, 2^-53 of itself). Powers of two (zero included) are left out: their rounding
// interval is not symmetric.
template <typename L> VIREO_KERNEL auto RoundsToHi(const exact::Pair<L> &level, const L &budget) {
  using namespace exact;
  const L margin = Ulp(level.hi) * 0.5 - Abs(level.lo);
  return (!IsPowerOfTwo(level.hi)) & (margin > budget);
}

// The linear level (1 - 10 √p) × 90.31 of the power p in each lane, as the literal route rounds
// it, and the lanes it cannot decide: zero, infinite and NaN powers among them (their level is
// NaN here).
// √p = h + l: h = RN53(√p) (correctly rounded on every processor), p - h² exact, and
// l = (p - h²) / 2h off by the division's rounding and the dropped (√p - h)² / 2h: |h + l - √p|
// < 2^-105 √p. Then X = (1 - 10 √p) c = c - K √p with c = 90.31 and K = 10 c in double-double:
// K h and c - K h exact (TwoProduct, TwoSum), K l and the low parts each rounded once, so that
// |F - X| < 2^-100 (|X| + 10 c √p).
// Budget: the literal value V = RN64(RN64(1 - RN64(RN64(√p) × 10)) × c) has four 64-bit
// roundings: V = c (1 + e3)(1 + e4) ((1 - 10 √p) - 10 √p e12) with |e3|, |e4| ≤ 2^-64 and
// |e12| ≤ 2^-63 + 2^-128, so |V - X| < 2^-62.99 (|X| + 10 c √p). Near magnitude 0.1 the two
// terms cancel in X while the roundings of √p and 10 √p stay: the budget follows 10 c √p.
// Threshold: 2^-62 (|hi| + 10 c h) exceeds |V - X| + |F - X| (with |X| ≤ |hi| (1 + 2^-52) and
// √p ≤ h (1 + 2^-53)) by a factor of 1.9.
template <typename L> VIREO_KERNEL auto LinearLevel(const L &p) {
  using namespace exact;
  const L root = Sqrt(p);
  const L rootLow = CancellingFma(root, root, -p) / (root * -2.0);
  const Pair<L> product = TwoProduct(root, kLinearRootScale);
  const Pair<L> difference = TwoSum(L(kLinearLevelScale), -product.hi);
  const L differenceLow = difference.lo - MultiplyAdd(rootLow, kLinearRootScale, product.lo);
  const Pair<L> level = TwoSum(difference.hi, differenceLow);
  const L budget = (Abs(level.hi) + root * kLinearRootScale) * 0x1p-62;
  return std::pair(level.hi, !RoundsToHi(level, budget));
}

// The decibel level -10 × log10(p) of the power p in each lane, as the literal route rounds it,
// and the lanes it cannot decide: zero, infinite and NaN powers among them. Subnormal powers must
// be left out by the caller: the reduction takes p as normal.
// Budget: V = RN64(RN64(c × log2 p) × -10) with c = RN64(log10 2) is three 64-bit roundings
// away from X = -10 log10 p: |V - X| ≤ 3 × 2^-64 (1 + 2^-63) |X| < 2^-62.41 |X|. F is within
// 2^-66 |X| (2^-68.8 measured near p = 1 + 2^-8): ln p = e ln 2 + offset + log1p(r) with |r| ≤
// 2^-8 and at most twice |ln p|; the series cut after r^9 leaves r^10/10 (2^-74.3 of ln p), its
// tail from r³ on in plain double is off by 2^-50 of r³/3 (2^-66.6 of ln p; multiply-adds
// rounded twice where there is no FMA add below 2^-69 of it), the table offsets
// and ln 2 as pairs of doubles add 2^-87 (at most 1075 octaves against a logarithm of at least
// 2^-9 when either is used), the double-double sums and the product 2^-100.
// Threshold: a margin above 2^-61 |hi| exceeds |V - F| < 2^-62.29 |X| by a factor of 2.4, so V
// lies between the same midpoints as F (RoundsToHi).
template <typename L> VIREO_KERNEL auto Decibels(const L &p) {
  using namespace exact;
  // Zero power has its own level.
  const auto positive = p > 0.0;

  // ln p = e ln 2 + offset + log1p(r) (log_reduction.h).
  const ReducedLog<L> reduced = ReduceLog(p);
  const L r = reduced.r;

  const Pair<L> square = TwoProduct(r, r);
  const L minusR = -r;
  // Estrin's scheme: pairs of terms first, for a short dependency chain.
  const L r2 = minusR * minusR, r4 = r2 * r2;
  const L low2 = MultiplyAdd(kLogSeries[1], minusR, kLogSeries[0]);
  const L mid2 = MultiplyAdd(kLogSeries[3], minusR, kLogSeries[2]);
  const L high2 = MultiplyAdd(kLogSeries[5], minusR, kLogSeries[4]);
  const L tail =
      MultiplyAdd(MultiplyAdd(kLogSeries[6], r2, high2), r4, MultiplyAdd(mid2, r2, low2)) *
      (square.hi * r);
  const Pair<L> head = FastTwoSum(r, square.hi * -0.5); // r²/2 is below 2^-9 |r|
  const Pair<L> first = OctavesAndOffset(reduced);
  const Pair<L> second = TwoSum(first.hi, head.hi);
  const L low = (first.lo + second.lo) + (MultiplyAdd(square.lo, -0.5, head.lo) + tail);
  const Pair<L> logarithm = FastTwoSum(second.hi, low);

  const Pair<L> product = TwoProduct(logarithm.hi, kDecibelFactor.hi);
  const L productLow =
      product.lo + MultiplyAdd(kDecibelFactor.hi, logarithm.lo, kDecibelFactor.lo * logarithm.hi);
  const Pair<L> result = FastTwoSum(product.hi, productLow);
  return std::pair(result.hi, !(positive & RoundsToHi(result, Abs(result.hi) * kLevelMargin)));
}

// The level of the power p in either scale, as the fast kernel gives it, and the lanes in doubt.
template <typename L> VIREO_KERNEL auto FastLevel(const L &p, bool decibel) {
  return decibel ? Decibels(p) : LinearLevel(p);
}

// The literal level of a power whose fast level is in doubt; zero power, common in silence, is
// not counted as a fall-back.
double DoubtfulLevel(double power, bool decibel) {
  if (power == 0) {
    return decibel ? kZeroPowerLevel : kLinearLevelScale;
  }
  ++Fallbacks().levels;
  return LiteralLevel(power, decibel);
}

// The power and the level of the bin (re, im), from the fast kernel where it decides them.
double FloatBinLevel(float re, float im, bool decibel, double &power) {
  const auto [p, powerSure] = Power(static_cast<double>(re) * re, static_cast<double>(im) * im);
  const auto [level, doubtful] = FastLevel(p, decibel);
  if (powerSure && !doubtful) {
    power = p;
    return level;
  }
  power = re == 0 && im == 0 ? 0 : LiteralPower(re, im);
  return DoubtfulLevel(power, decibel);
}

// The lanes of the doubles the level kernel runs on: two registers at a time on the vector
// paths, whose two chains through the long kernel keep more of the processor busy; one double on
// the portable path (there two would not fit the SSE registers).
template <typename L>
using LevelLanes = std::conditional_t<exact::kIsLane<typename L::Doubles>,
                                      exact::Twin<typename L::Doubles>, typename L::Doubles>;

// Powers and levels of the bins first … first + count - 1, as many at a time as the lanes hold,
// the doubtful ones through FloatBinLevel, as far as whole groups go: returns how many it gave.
template <typename L>
VIREO_KERNEL int LaneBinLevels(const SpectrumFrame &spectrum, int first, int count, bool decibel,
                               double *powers, double *levels) {
  using D = LevelLanes<L>;
  constexpr int kLanes = exact::kWidth<D>;
  int i = 0;
  for (; i + kLanes <= count; i += kLanes) {
    D re, im;
    exact::LoadPairs(&spectrum[2 * (first + i)], re, im);
    const auto [p, powerSure] = Power(re * re, im * im);
    const auto [level, levelDoubtful] = FastLevel(p, decibel);
    const auto doubtful = (!powerSure) | levelDoubtful;
    exact::Store(&powers[i], p);
    exact::Store(&levels[i], level);
    exact::RedoDoubtfulLanes(doubtful, [&](int lane) VIREO_KERNEL_LAMBDA {
      const int bin = first + i + lane;
      levels[i + lane] =
          FloatBinLevel(spectrum[2 * bin], spectrum[2 * bin + 1], decibel, powers[i + lane]);
    });
  }
  return i;
}

// Levels of the powers[0 … count - 1] as many at a time as the lanes of D hold, as far as whole
// groups go: returns how many it gave. Powers that are not normal doubles are left to the literal
// route.
template <typename D>
VIREO_KERNEL int PowerLevelsIn(const double *powers, int count, bool decibel, double *levels) {
  using namespace exact;
  constexpr int kLanes = kWidth<D>;
  int i = 0;
  for (; i + kLanes <= count; i += kLanes) {
    D p;
    Load(&powers[i], p);
    const auto [level, levelDoubtful] = FastLevel(p, decibel);
    const auto doubtful = NotGreater(p, D(DBL_MIN)) | NotGreater(D(INFINITY), p) | levelDoubtful;
    Store(&levels[i], level);
    RedoDoubtfulLanes(doubtful, [&](int lane) VIREO_KERNEL_LAMBDA {
      levels[i + lane] = DoubtfulLevel(powers[i + lane], decibel);
    });
  }
  return i;
}

// The count of BinsMeasured, per thread as frame passes run on several at once.
std::uint64_t &MeasuredCount() {
  thread_local std::uint64_t count = 0;
  return count;
}

} // namespace

double BinLevel(double re, double im, bool decibel) {
  ++MeasuredCount();
  exact::CleanUpperHalves();
  const float reFloat = static_cast<float>(re), imFloat = static_cast<float>(im);
  if (reFloat == re && imFloat == im) {
    double power;
    return FloatBinLevel(reFloat, imFloat, decibel, power);
  }
  return LiteralLevel(LiteralPower(re, im), decibel);
}

void BinLevels(const SpectrumFrame &spectrum, int first, int count, bool decibel, double *powers,
               double *levels) {
  MeasuredCount() += count;
  int i = exact::OnCurrentPath([&](auto lanes) VIREO_KERNEL_LAMBDA {
    return LaneBinLevels<decltype(lanes)>(spectrum, first, count, decibel, powers, levels);
  });
  exact::CleanUpperHalves();
  for (; i < count; ++i) {
    const int bin = first + i;
    levels[i] = FloatBinLevel(spectrum[2 * bin], spectrum[2 * bin + 1], decibel, powers[i]);
  }
}

std::uint64_t BinsMeasured() {
  return MeasuredCount();
}

void PowerLevels(const double *powers, int count, bool decibel, double *levels) {
  const int i = exact::OnCurrentPath([&](auto lanes) VIREO_KERNEL_LAMBDA {
    return PowerLevelsIn<LevelLanes<decltype(lanes)>>(powers, count, decibel, levels);
  });
  exact::CleanUpperHalves();
  PowerLevelsIn<double>(powers + i, count - i, decibel, levels + i);
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
