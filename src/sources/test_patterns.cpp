#include "sources/test_patterns.h"

#include <cmath>

namespace sources {

using analysis::kFrameLength;
using analysis::TimeFrame;

std::uint32_t NoiseSeed = 1;

namespace {

// Angle steps per sample for one period per frame: π/2048 and 1.001 × π/2048, both the
// nearest doubles.
constexpr double kSineStep = 0.0015339807878856412;
constexpr double kDetunedSineStep = 0.0015355147686735267;

// 1/32767 at extended precision maps the 15-bit random numbers onto [0, 1].
constexpr long double kNoiseScale = 1.0L / 32767;

// sin((i × step) × k): the angle is formed at extended precision and rounded to double, the
// sine is taken at extended precision.
long double SineAt(int i, double step, std::int32_t k) {
  const double angle = static_cast<double>(static_cast<long double>(i) * step * k);
  return std::sin(static_cast<long double>(angle));
}

void FillSine(TimeFrame &data, double step, std::int32_t k) {
  for (int i = 0; i < kFrameLength; ++i) {
    data[i] = static_cast<float>(SineAt(i, step, k));
  }
}

} // namespace

void MakeZero(TimeFrame &data) {
  data.fill(0.0f);
}

void MakeSine(TimeFrame &data, std::int32_t k) {
  FillSine(data, kSineStep, k);
}

void MakeDetunedSine(TimeFrame &data, std::int32_t k) {
  FillSine(data, kDetunedSineStep, k);
}

void MakeHalfWaveSine(TimeFrame &data, std::int32_t k) {
  for (int i = 0; i < kFrameLength; ++i) {
    const double s = static_cast<double>(SineAt(i, kSineStep, k));
    data[i] = s > 0 ? static_cast<float>(s) : 0.0f;
  }
}

void MakeFullWaveSine(TimeFrame &data, std::int32_t k) {
  for (int i = 0; i < kFrameLength; ++i) {
    data[i] = static_cast<float>(std::fabs(static_cast<double>(SineAt(i, kSineStep, k))));
  }
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
