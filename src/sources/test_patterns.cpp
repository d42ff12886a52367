#include "sources/test_patterns.h"

#include <array>
#include <bit>
#include <cmath>
#include <numbers>

namespace sources {

using analysis::kFrameLength;
using analysis::TimeFrame;

std::uint32_t NoiseSeed = 1;

namespace {

// Angle steps per sample for one period per frame: π/2048 and 1.001 × π/2048, both the
// nearest doubles.
constexpr double kSineStep = 0.0015339807878856412;
constexpr double kDetunedSineStep = 0.0015355147686735267;
// kSineStep - π/2048: the step is the double nearest π divided by 2048, which lies this far
// from the exact value (the low part of π, negated, over 2048).
constexpr double kSineStepExcess = -0x1.1a62633145c07p-64;

// 1/32767 at extended precision maps the 15-bit random numbers onto [0, 1].
constexpr long double kNoiseScale = 1.0L / 32767;

// sin((i × step) × k): the angle is formed at extended precision and rounded to double, the
// sine is taken at extended precision.
long double SineAt(int i, double step, std::int32_t k) {
  const double angle = static_cast<double>(static_cast<long double>(i) * step * k);
  return std::sin(static_cast<long double>(angle));
}

// sin and cos of m × π/2048 for m = 0 … 4095, within 2^-53 of the exact values; the quarter
// turns are exact (0 and ±1), built by symmetry from the first quarter.
struct SineTable {
  std::array<double, kFrameLength> sin, cos;
};

const SineTable &Table() {
  static const SineTable table = [] {
    constexpr int kQuarter = kFrameLength / 4;
    std::array<double, kQuarter + 1> quarter;
    for (int j = 0; j <= kQuarter; ++j) {
      const long double angle = j * std::numbers::pi_v<long double> / (kFrameLength / 2);
      quarter[j] = j == kQuarter ? 1.0 : static_cast<double>(std::sin(angle));
    }
    SineTable t;
    for (int m = 0; m < kFrameLength; ++m) {
      const int j = m % kQuarter;
      const double s = quarter[j], c = quarter[kQuarter - j];
      const double sines[] = {s, c, -s, -c};
      const double cosines[] = {c, -s, -c, s};
      t.sin[m] = sines[m / kQuarter];
      t.cos[m] = cosines[m / kQuarter];
    }
    return t;
  }();
  return table;
}

double Ulp(double x) {
  const std::uint64_t exponent = std::bit_cast<std::uint64_t>(x) & 0x7ff0000000000000u;
  return std::bit_cast<double>(exponent - (std::uint64_t{52} << 52));
}

// True when every value within `error` of `s` rounds to the same float as s, and that float is
// normal: then rounding the literal extended sine to float, or to double and then to float,
// gives the float of s as well.
bool RoundsSurely(double s, double error) {
  const float f = static_cast<float>(s);
  const double magnitude = std::fabs(static_cast<double>(f));
  if (!(magnitude >= 0x1p-126 && magnitude <= 0x1.fffffep127)) {
    return false;
  }
  const bool powerOfTwo = (std::bit_cast<std::uint32_t>(f) & 0x7fffffu) == 0;
  const double halfGap = Ulp(magnitude) * 0x1p28 * (powerOfTwo ? 0.5 : 1.0);
  return halfGap - std::fabs(s - f) > error;
}

// The sample sin((i × π/2048) × k) for 0 ≤ k ≤ 4096, as a double that rounds to float like the
// literal extended sine (a long double, when it falls back to that sine). With n = i × k the
// angle is n × π/2048 + ρ, ρ being the small drift of the rounded step and of the angle's own
// roundings, so the sine is sin(m π/2048) + cos(m π/2048) ρ for m = n mod 4096. First ρ is taken
// as the step's drift alone, the angle's rounding counted as error; when that does not decide,
// the angle is formed as the literal code forms it and ρ taken exactly.
template <typename Emit> void SineSample(const SineTable &table, int i, std::int32_t k, Emit emit) {
  const std::int64_t n = static_cast<std::int64_t>(i) * k;
  const int m = static_cast<int>(n & (kFrameLength - 1));
  const double steps = static_cast<double>(n);
  const double nominal = steps * kSineStep;
  const double drift = steps * kSineStepExcess;
  const double tableError = 0x1p-51;
  const double estimate = table.sin[m] + table.cos[m] * drift;
  if (RoundsSurely(estimate, 2 * Ulp(nominal) + tableError)) {
    emit(estimate);
    return;
  }
  const double angle = static_cast<double>(static_cast<long double>(i) * kSineStep * k);
  if (n != 0) {
    // angle - n × step is exact: the two lie within a few ulps of each other.
    const double rho = ((angle - nominal) - std::fma(steps, kSineStep, -nominal)) + drift;
    const double precise = table.sin[m] + table.cos[m] * rho;
    // With sin 0 exactly the sample is ±ρ: only the few roundings of ρ count.
    const double error = table.sin[m] == 0 ? 0x1p-88 + std::fabs(precise) * 0x1p-50 : tableError;
    if (RoundsSurely(precise, error)) {
      emit(precise);
      return;
    }
  }
  emit(std::sin(static_cast<long double>(angle)));
}

// Fills the frame with convert(sine) for the sine of MakeSine; convert takes the double or
// long double from SineSample. Parameters outside 0 … 4096 take the literal sine throughout.
template <typename Convert> void FillFromSine(TimeFrame &data, std::int32_t k, Convert convert) {
  const bool tabulated = k >= 0 && k <= kFrameLength;
  const SineTable &table = Table();
  for (int i = 0; i < kFrameLength; ++i) {
    if (tabulated) {
      SineSample(table, i, k, [&](auto s) { data[i] = convert(s); });
    } else {
      data[i] = convert(SineAt(i, kSineStep, k));
    }
  }
}

} // namespace

void MakeZero(TimeFrame &data) {
  data.fill(0.0f);
}

void MakeSine(TimeFrame &data, std::int32_t k) {
  FillFromSine(data, k, [](auto s) { return static_cast<float>(s); });
}

void MakeDetunedSine(TimeFrame &data, std::int32_t k) {
  for (int i = 0; i < kFrameLength; ++i) {
    data[i] = static_cast<float>(SineAt(i, kDetunedSineStep, k));
  }
}

void MakeHalfWaveSine(TimeFrame &data, std::int32_t k) {
  FillFromSine(data, k, [](auto sine) {
    const double s = static_cast<double>(sine);
    return s > 0 ? static_cast<float>(s) : 0.0f;
  });
}

void MakeFullWaveSine(TimeFrame &data, std::int32_t k) {
  FillFromSine(data, k,
               [](auto s) { return static_cast<float>(std::fabs(static_cast<double>(s))); });
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

void MakeNoise(TimeFrame &data) {
  for (int i = 0; i < kFrameLength; ++i) {
    NoiseSeed = NoiseSeed * 22695477u + 1u;
    const std::uint32_t r = (NoiseSeed >> 16) & 0x7FFFu;
    data[i] = static_cast<float>(r * kNoiseScale);
  }
}

void MakePattern(int index, TimeFrame &data, std::int32_t &patternParam) {
  switch (index) {
  case 0:
    MakeZero(data);
    break;
  case 1:
    MakeSine(data, patternParam);
    break;
  case 2:
    MakeDetunedSine(data, patternParam);
    break;
  case 3:
    MakeHalfWaveSine(data, patternParam);
    break;
  case 4:
    MakeFullWaveSine(data, patternParam);
    break;
  case 5:
    MakeSquare(data, patternParam);
    break;
  case 6:
    MakeImpulseTrain(data, patternParam);
    break;
  case 7:
    MakeNoise(data);
    break;
  default:
    break;
  }
}

void StepPatternParam(std::int32_t &patternParam) {
  if (patternParam > kFrameLength - 1) {
    patternParam = 0;
  }
  ++patternParam;
}

} // namespace sources
