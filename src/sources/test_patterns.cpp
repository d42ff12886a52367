#include "sources/test_patterns.h"

#include "analysis/exact_double.h"
#include "analysis/extended.h"
#include "analysis/lane_paths.h"
#include "analysis/mpfr_extended.h"
#include "sources/quarter_sine_table.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <type_traits>

namespace sources {

using analysis::kFrameLength;
using analysis::TimeFrame;

std::uint32_t NoiseSeed = 1;

namespace {

using namespace analysis::exact;
using analysis::Extended;
using analysis::exact::ToFloat;

// Angle steps per sample for one period per frame: π/2048 and 1.001 × π/2048, both the
// nearest doubles.
constexpr double kSineStep = tables::kStep[0];
constexpr double kDetunedSineStep = 0.0015355147686735267;
// kSineStep - π/2048, to double precision.
constexpr double kSineStepExcess = -tables::kStep[1];
// 2048/π rounded to double: picks the table entry nearest an angle.
constexpr double kStepsPerRadian = 0x1.45f306dc9c883p+9;
// Sine reduces angles below this bound; every angle of a 32-bit parameter lies below it
// (|i × step × k| < 1.4e10).
constexpr double kReducibleAngleLimit = 0x1p34;

thread_local std::uint64_t exactSines = 0;

// sin(angle) rounded to 64 bits, correctly: MPFR rounds its sine correctly at any precision.
Extended ExactSine(double angle) {
  ++exactSines;
  analysis::FreeMpfrCachesWhenThreadEnds();
  MPFR_DECL_INIT(argument, 53);
  MPFR_DECL_INIT(sine, 64);
  mpfr_set_d(argument, angle, MPFR_RNDN);
  mpfr_sin(sine, argument, MPFR_RNDN);
  return analysis::ToExtended(sine);
}

// The pattern roundings of a sine held as doubles that round like the exact one (one double or
// the lanes of a path), or as the exact 64-bit value itself.
float ToFloat(const Extended &s) {
  return s.ToFloat();
}
template <typename L> VIREO_KERNEL const L &ToDouble(const L &s) {
  return s;
}
double ToDouble(const Extended &s) {
  return s.ToDouble();
}
// s where it is above 0, else +0.
template <typename L> VIREO_KERNEL L Positive(const L &s) {
  return Select(s > 0.0, s, L(0.0));
}

// sin and cos of m × π/2048 for m = 0 … 4095 at 2m and 2m + 1, the doubles nearest the exact
// values (within 2^-54), built by symmetry from the first quarter.
using SineTable = std::array<double, 2 * kFrameLength>;

const SineTable &Table() {
  static const SineTable table = [] {
    constexpr int kQuarter = kFrameLength / 4;
    SineTable t;
    for (int m = 0; m < kFrameLength; ++m) {
      const int j = m % kQuarter;
      const double s = tables::kQuarterSine[j], c = tables::kQuarterSine[kQuarter - j];
      const double sines[] = {s, c, -s, -c};
      const double cosines[] = {c, -s, -c, s};
      t[2 * m] = sines[m / kQuarter];
      t[2 * m + 1] = cosines[m / kQuarter];
    }
    return t;
  }();
  return table;
}

// The smaller of the gaps on either side of a normal double x (from 2^-968 on): its ulp, or half
// of it where x is a power of two. x × (1 - 2^-53) is then the double just below it, a binade
// lower; any other double stays in its binade.
template <typename L> VIREO_KERNEL L SmallerUlp(const L &x) {
  return Ulp(x * (1 - 0x1p-53));
}

// Lanes of a value and the mask of those where it is in doubt, to be redone one by one.
template <typename L> struct Doubtful {
  L value;
  decltype(NotGreater(L(), L()) | NotGreater(L(), L())) doubt;
};

// The angle of sample i, RN53(RN64(RN64(i × step) × k)). The two 64-bit roundings move the exact
// product y = i × step × k by less than |y| × 2^-62.9, so the angle is the double nearest y
// wherever y lies farther than that from every double midpoint. With the error-free products
// i × step = ph + pl and ph × k = qh + ql, y = qh + ql + pl k; a = qh + t with t = ql + pl k
// (two roundings, below |y| × 2^-104) and the TwoSum residual e of that sum put y within
// |y| × 2^-103 of a + e. So a is the angle when |e| + |a| × 2^-61 stays below half the gap
// around a (the smaller gap, below a power of two); otherwise, and where the angle is 0 (its
// sign is that of k), the lane is in doubt, about one in 250.
template <typename L> VIREO_KERNEL Doubtful<L> Angle(const L &i, double step, const L &k) {
  const auto [ph, pl] = TwoProduct<true>(L(step), i); // i has at most 12 bits
  const auto [qh, ql] = TwoProduct(ph, k);
  const auto [a, e] = TwoSum(qh, ql + pl * k);
  const L halfGap = SmallerUlp(a) * 0.5;
  return {a, (qh == 0.0) | NotGreater(halfGap, Abs(e) + Abs(a) * 0x1p-61)};
}

// The angle of sample i for certain: the lanes' angle, else 0 or the angle formed at extended
// precision.
double AngleOf(int i, double step, std::int32_t k) {
  const auto [a, doubt] = Angle<double>(i, step, k);
  if (!doubt) {
    return a;
  }
  const double qh = i * step * k;
  return qh == 0 ? qh : (Extended(i) * Extended(step) * Extended::FromInteger(k)).ToDouble();
}

// The lanes where the exact sine x, known to lie within `error` of s, might not give the float of
// s by both routes of the patterns: rounded to 64 bits and then to float, or to 64 bits, to double
// and then to float; that float must be normal. Every float midpoint M is a double, so no
// rounding carries a value across M, but the 64- and 53-bit roundings may land on it; together
// they move x by less than |s| × 2^-52 (the test can pass only with error below |s| × 2^-24), and
// so by less than |f| × 2^-51, which is therefore kept clear as well.
template <typename L> VIREO_KERNEL auto RoundingInDoubt(const L &s, const L &error) {
  const L f = Widen<L>(ToFloat(s));
  const L magnitude = Abs(f);
  const L halfGap = SmallerUlp(magnitude) * 0x1p28;
  return OutOfFloatRange(f) | NotGreater(halfGap - Abs(s - f), error + magnitude * 0x1p-51);
}

// sin(angle) in doubles that round like the exact sine (see RoundingInDoubt), for any angle but
// in doubt at 0 and from 2^34 on.
//
// With N the integer nearest angle × 2048/π and P = π/2048, the angle is N P + r, and with
// m = N mod 4096, sin(angle) = S cos r + C sin r for S, C = sin, cos of m P from the table.
// Reduction, for |angle| < 2^34, so |N| < 2^43.4: x × 2048/π is within 2^-8 of the exact
// quotient, so |r| ≤ 0.504 P < 7.8e-4. With P1 = kStep[0] (ulp 2^-62), N P1 = h1 + l1 exactly
// (|l1| ≤ 2^-19) and |x - N P1| ≤ 0.504 P + N |P - P1| < 2^-10. When N ≠ 0, |x| > 2^-11:
// x - h1 and x - N P1 are multiples of 2^-63, and of 2^-62 once |x| ≥ 2^-10; below that
// N = 1 and h1 = P1, so both differences fit a double and s = x - N P1 exactly. Then
// r = s - N P2 - N P3 - N δ: N P2 = h2 + l2 exactly, s - h2 = rh + e exactly (TwoSum), and
// rl = e - l2 - N P3 adds two roundings of at most 2^-116 each, and N δ is below 2^-129:
// r = rh + rl within 2^-110.
// Series: sin r = r - r³/6 + r⁵/120 (the rest below 2^-84), cos r - 1 = -r²/2 + r⁴/24 (the
// rest below 2^-71), taken in rh with rl added to sin r only (what that drops is below 2^-84);
// with their roundings, within 2^-63.9 and 2^-70.
// Sum: S and C are within 2^-54 of sin and cos m P; S + (S (cos r - 1) + C sin r) then has
// error at most 2^-54 (S) + 2^-54 (last rounding) + 2^-61 (the rest) < 2^-51. When S = 0
// (m = 0, 2048), C = ±1 and the result is ±(sin r) with relative error below 2^-52 besides
// the 2^-110 of r: error |result| × 2^-50 + 2^-100 holds.
template <typename L> VIREO_KERNEL Doubtful<L> Sine(const SineTable &table, const L &angle) {
  const L shifted = angle * kStepsPerRadian + kRoundingShift;
  const L n = shifted - kRoundingShift;
  const auto [h1, l1] = TwoProduct(n, L(tables::kStep[0]));
  const L s = (angle - h1) - l1;
  const auto [h2, l2] = TwoProduct(n, L(tables::kStep[1]));
  const auto [rh, e] = TwoSum(s, -h2);
  const L rl = (e - l2) - n * tables::kStep[2];

  const L r2 = rh * rh;
  const L sinR = rh + (rl - rh * r2 * (1.0 / 6 - r2 * (1.0 / 120)));
  const L cosRMinus1 = r2 * (-0.5 + r2 * (1.0 / 24));
  const auto m = Bits(shifted) & (kFrameLength - 1);
  L sinM, cosM;
  GatherPairs(table.data(), m, sinM, cosM);
  const L result = sinM + (sinM * cosRMinus1 + cosM * sinR);
  const L error = Select(sinM == 0.0, Abs(result) * 0x1p-50 + 0x1p-100, L(0x1p-51));
  return {result, (angle == 0.0) | NotGreater(L(kReducibleAngleLimit), Abs(angle)) |
                      RoundingInDoubt(result, error)};
}

// sin(angle) for any double angle: emits a double that rounds like the exact sine, or the exact
// sine rounded to 64 bits where the double cannot decide.
template <typename Emit> void SineOf(double angle, Emit emit) {
  if (angle == 0) {
    emit(angle); // sin ±0 = ±0
    return;
  }
  const auto [sine, doubt] = Sine(Table(), angle);
  if (doubt) {
    emit(ExactSine(angle));
  } else {
    emit(sine);
  }
}

// The samples sin((i × π/2048) × k) for 0 ≤ k ≤ 4096. With n = i × k the angle is
// n × π/2048 + ρ, ρ being the small drift of the rounded step and of the angle's own
// roundings, so the sine is sin(m π/2048) + cos(m π/2048) ρ for m = n mod 4096. ρ is taken as
// the step's drift alone, the angle's rounding counted as error; where that does not decide,
// the lane is in doubt (sample 0 always: its estimate is 0).
template <typename L>
VIREO_KERNEL Doubtful<L> TabulatedSine(const SineTable &table, const L &i, std::int32_t k) {
  const L steps = i * k; // exact: below 2^24
  const auto m = Bits(steps + 0x1p52) & (kFrameLength - 1);
  L sinM, cosM;
  GatherPairs(table.data(), m, sinM, cosM);
  const L estimate = sinM + cosM * (steps * kSineStepExcess);
  // The angle's roundings, 2 ulps of n × step (each below n × step × 2^-52, counted twice for
  // the roundings of the bound), and the table's.
  const L error = steps * (kSineStep * 0x1p-50) + 0x1p-51;
  return {estimate, RoundingInDoubt(estimate, error)};
}

// The samples sin((i × step) × k) for any step and k, through the angle.
template <typename L>
VIREO_KERNEL Doubtful<L> AnySine(const SineTable &table, const L &i, double step, std::int32_t k) {
  const auto [angle, angleDoubt] = Angle(i, step, L(k));
  const auto [sine, sineDoubt] = Sine(table, angle);
  return {sine, angleDoubt | sineDoubt};
}

// Fills the frame with convert(sine) for the sine of the pattern with this step, kWidth<L>
// samples at a time; convert takes the lanes, a double or the Extended of ExactSine. Only the
// step of MakeSine is tabulated, for 0 ≤ k ≤ 4096. Lanes in doubt are redone one by one.
template <typename L, typename Convert>
VIREO_KERNEL void FillSines(TimeFrame &data, double step, std::int32_t k, Convert convert) {
  static constexpr double kLaneNumbers[] = {0, 1, 2, 3, 4, 5, 6, 7};
  static_assert(kWidth<L> <= std::size(kLaneNumbers));
  const bool tabulated = step == kSineStep && k >= 0 && k <= kFrameLength;
  const SineTable &table = Table();
  L lanes;
  Load(kLaneNumbers, lanes);
  for (int i = 0; i < kFrameLength; i += kWidth<L>) {
    const L sample = lanes + i;
    const auto [sine, doubt] =
        tabulated ? TabulatedSine(table, sample, k) : AnySine(table, sample, step, k);
    Store(&data[i], convert(sine));
    RedoDoubtfulLanes(doubt, [&](int lane) VIREO_KERNEL_LAMBDA {
      SineOf(AngleOf(i + lane, step, k), [&](auto s) { data[i + lane] = convert(s); });
    });
  }
}

// On the path's lanes, but at most four: the table rows are loaded one by one, and with eight
// lanes the pattern takes a fifth longer than with four (on a Xeon with AVX-512).
template <typename Convert>
void FillFromSine(TimeFrame &data, double step, std::int32_t k, Convert convert) {
  OnCurrentPath([&](auto lanes) VIREO_KERNEL_LAMBDA {
    using Doubles = typename decltype(lanes)::Doubles;
    FillSines<std::conditional_t<(kWidth<Doubles> > 4), Quad, Doubles>>(data, step, k, convert);
  });
}

} // namespace

void MakeZero(TimeFrame &data) {
  data.fill(0.0f);
}

void MakeSine(TimeFrame &data, std::int32_t k) {
  FillFromSine(data, kSineStep, k, [](const auto &s) VIREO_KERNEL_LAMBDA { return ToFloat(s); });
}

void MakeDetunedSine(TimeFrame &data, std::int32_t k) {
  FillFromSine(data, kDetunedSineStep, k,
               [](const auto &s) VIREO_KERNEL_LAMBDA { return ToFloat(s); });
}

void MakeHalfWaveSine(TimeFrame &data, std::int32_t k) {
  FillFromSine(data, kSineStep, k,
               [](const auto &s) VIREO_KERNEL_LAMBDA { return ToFloat(Positive(ToDouble(s))); });
}

void MakeFullWaveSine(TimeFrame &data, std::int32_t k) {
  FillFromSine(data, kSineStep, k,
               [](const auto &s) VIREO_KERNEL_LAMBDA { return ToFloat(Abs(ToDouble(s))); });
}

void MakeSquare(TimeFrame &data, std::int32_t &patternParam) {
  const std::int32_t k = patternParam;
  for (int i = 0; i < kFrameLength; ++i) {
    data[i] = i < k ? 1.0f : 0.0f;
  }
  if (k >= kFrameLength) {
    patternParam = 0;
  }
}

void MakeImpulseTrain(TimeFrame &data, std::int32_t &patternParam) {
  if (patternParam == 0) {
    patternParam = 1;
  }
  // `next` is advanced only when it was reached (so it is at most 4095 then), and once it
  // passes 4095 or goes negative it is never reached again: no overflow for any parameter.
  std::int32_t next = 0;
  for (int i = 0; i < kFrameLength; ++i) {
    if (i == next) {
      data[i] = 1.0f;
      next += patternParam;
    } else {
      data[i] = 0.0f;
    }
  }
}

// The sample is r × RN64(1/32767) rounded to 64 bits and then to float. That value lies within
// 2^-62 of r/32767 relative to it, and so does r/32767 rounded to double, within 2^-53. Neither
// reaches a float midpoint M = odd × 2^(e-25) next to r/32767 < 2^e: r × 2^(25-e) is even and
// odd × 32767 is odd, so |r/32767 - M| ≥ 2^(e-25)/32767 > 2^(e-40). Both round to the float
// nearest r/32767, which the double quotient gives directly.
void MakeNoise(TimeFrame &data) {
  for (int i = 0; i < kFrameLength; ++i) {
    NoiseSeed = NoiseSeed * 22695477u + 1u;
    const std::uint32_t r = (NoiseSeed >> 16) & 0x7FFFu;
    data[i] = static_cast<float>(r / 32767.0);
  }
}

std::uint64_t ExactSineCount() {
  return exactSines;
}

void MakePattern(int index, TimeFrame &data, std::int32_t &patternParam) {
  if (index >= 0 && index < kPatternCount) {
    kPatterns[index].make(data, patternParam);
  }
}

void StepPatternParam(std::int32_t &patternParam) {
  if (patternParam > kFrameLength - 1) {
    patternParam = 0;
  }
  ++patternParam;
}

} // namespace sources
