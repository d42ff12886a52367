#include "analysis/frame_scaling.h"

#include "analysis/analysis_tables.h"
#include "analysis/arithmetic_path.h"
#include "analysis/exact_double.h"
#include "analysis/extended.h"

#include <array>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace analysis {

namespace {

// sin(i × π × 2^-12) for every sample position, as the literal expression gives it (the angle
// rounded to double, its sine to 64 bits: see analysis_tables.h), and that weight rounded to
// double.
struct Window {
  std::array<Extended, kFrameLength> weight;
  alignas(32) std::array<double, kFrameLength> rounded;
};

const Window &WindowTable() {
  static const Window table = [] {
    Window window;
    for (int i = 0; i < kFrameLength; ++i) {
      const tables::WindowWeight &weight = tables::kWindow[i];
      window.weight[i] = Extended::FromParts(false, weight.significand, weight.exponent);
      window.rounded[i] = window.weight[i].ToDouble();
    }
    return window;
  }();
  return table;
}

// Sample i scaled the literal way, at extended precision rounded once to float: x × gain, then
// the exact factor 2 × 2^-12.
float LiteralSample(float x, double gain, const Window *window, int i) {
  const Extended scaled = Extended(x) * gain * Extended::FromParts(false, 1, -11);
  return (window ? window->weight[i] * scaled : scaled).ToFloat();
}

void PortableScale(TimeFrame &data, double gain, const Window *window) {
  for (int i = 0; i < kFrameLength; ++i) {
    data[i] = LiteralSample(data[i], gain, window, i);
  }
}

#if defined(__x86_64__)

// Four samples at a time in double: x × (gain × 2^-11), times the weight rounded to double. The
// result is within 4 double ulps of the literal value before its rounding to float, so the two
// give the same float unless the double lies that close to a float midpoint or outside the normal
// float range (exact zeros excepted); those samples are redone the literal way.
VIREO_AVX2 void VectorScale(TimeFrame &data, double gain, const Window *window) {
  constexpr int kLanes = 4;
  constexpr long long kNear = 8;
  const __m256d factor = _mm256_set1_pd(gain * 0x1p-11);
  const __m256d signMask = _mm256_set1_pd(-0.0);
  const __m256d floatMin = _mm256_set1_pd(exact::kFloatMin);
  const __m256d doubleMax = _mm256_set1_pd(0x1.fffffffffffffp1023);
  const __m256i below = _mm256_set1_epi64x(static_cast<long long>(exact::kBelowFloatMask));
  const __m256i nearStart =
      _mm256_set1_epi64x(static_cast<long long>(exact::kFloatMidpointBits) - kNear);
  const __m256i nearWidth = _mm256_set1_epi64x(2 * kNear + 1);
  for (int i = 0; i < kFrameLength; i += kLanes) {
    __m256d d = _mm256_mul_pd(_mm256_cvtps_pd(_mm_loadu_ps(&data[i])), factor);
    if (window) {
      d = _mm256_mul_pd(d, _mm256_load_pd(&window->rounded[i]));
    }
    const __m256d magnitude = _mm256_andnot_pd(signMask, d);
    const __m256d inRange =
        _mm256_or_pd(_mm256_and_pd(_mm256_cmp_pd(magnitude, floatMin, _CMP_GE_OQ),
                                   _mm256_cmp_pd(magnitude, doubleMax, _CMP_LE_OQ)),
                     _mm256_cmp_pd(d, _mm256_setzero_pd(), _CMP_EQ_OQ));
    const __m256i offset =
        _mm256_and_si256(_mm256_sub_epi64(_mm256_castpd_si256(d), nearStart), below);
    const __m256i nearMidpoint = _mm256_cmpgt_epi64(nearWidth, offset);
    const __m256i doubtful = _mm256_or_si256(
        nearMidpoint,
        _mm256_castpd_si256(_mm256_xor_pd(inRange, _mm256_castsi256_pd(_mm256_set1_epi64x(-1)))));
    if (_mm256_testz_si256(doubtful, doubtful)) {
      _mm_storeu_ps(&data[i], _mm256_cvtpd_ps(d));
    } else {
      Fallbacks().samples += kLanes;
      for (int lane = i; lane < i + kLanes; ++lane) {
        data[lane] = LiteralSample(data[lane], gain, window, lane);
      }
    }
  }
}

#endif

} // namespace

void ScaleFrame(TimeFrame &data, double gain, bool window) {
  const Window *const weights = window ? &WindowTable() : nullptr;
#if defined(__x86_64__)
  if (UsesVectorPath()) {
    VectorScale(data, gain, weights);
    return;
  }
#endif
  PortableScale(data, gain, weights);
}

} // namespace analysis
