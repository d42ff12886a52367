#include "analysis/fft.h"

#include "analysis/analysis_tables.h"
#include "analysis/arithmetic_path.h"
#include "analysis/exact_double.h"
#include "analysis/extended.h"

#include <algorithm>
#include <cmath>
#include <iterator>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace analysis {

std::array<std::int32_t, kFrameLength> BitReverse;
std::array<double, kFrameLength> CosTable;
std::array<double, kFrameLength> NegSinTable;

namespace {

// The twiddles as the butterflies use them, rounded to float and laid out stage by stage: the
// stage of half span H reads entries H … 2H - 1, entry H + k belonging to its k-th butterfly.
alignas(32) std::array<float, kFrameLength> StageCos;
alignas(32) std::array<float, kFrameLength> StageNegSin;

// One butterfly the literal way: T = W × B with each product sum formed at extended precision
// and rounded to float, then A ± T likewise.
void LiteralButterfly(float &ar, float &ai, float &br, float &bi, float c, float s) {
  ++Fallbacks().butterflies;
  const Extended wr = c, wi = s, xr = br, xi = bi, yr = ar, yi = ai;
  const Extended tr = (wr * xr - wi * xi).ToFloat();
  const Extended ti = (wr * xi + wi * xr).ToFloat();
  ar = (yr + tr).ToFloat();
  ai = (yi + ti).ToFloat();
  br = (yr - tr).ToFloat();
  bi = (yi - ti).ToFloat();
}

// The products of two floats are exact in double, so T in double has one rounding; rounding it
// on to float matches the literal route unless the double is an inexact float midpoint (or out
// of the normal range). A ± T of two floats rounds the same way through any wider format.
bool NeedsLiteral(float c, float s, float br, float bi) {
  const double p = static_cast<double>(c) * br, q = static_cast<double>(s) * bi;
  const double u = static_cast<double>(c) * bi, v = static_cast<double>(s) * br;
  const double tr = p - q, ti = u + v;
  return (exact::MayRoundDifferently(tr) && !exact::SumIsExact(p, -q, tr)) ||
         (exact::MayRoundDifferently(ti) && !exact::SumIsExact(u, v, ti));
}

void ScalarButterfly(float &ar, float &ai, float &br, float &bi, float c, float s) {
  if (NeedsLiteral(c, s, br, bi)) {
    LiteralButterfly(ar, ai, br, bi, c, s);
    return;
  }
  const float tr = static_cast<float>(static_cast<double>(c) * br - static_cast<double>(s) * bi);
  const float ti = static_cast<float>(static_cast<double>(c) * bi + static_cast<double>(s) * br);
  if (std::isinf(tr) || std::isinf(ti)) {
    // A ± T may be ∞ - ∞, whose NaN the processor chooses (negative on x86-64, positive on
    // arm64); the literal route gives x86-64's on every processor.
    LiteralButterfly(ar, ai, br, bi, c, s);
    return;
  }
  const float yr = ar, yi = ai;
  ar = yr + tr;
  ai = yi + ti;
  br = yr - tr;
  bi = yi - ti;
}

void PortableFFT(const TimeFrame &input, SpectrumFrame &output) {
  for (int i = 0; i < kFrameLength; ++i) {
    output[2 * i] = input[BitReverse[i]];
    output[2 * i + 1] = 0.0f;
  }
  for (int half = 1; half < kFrameLength; half *= 2) {
    for (int base = 0; base < kFrameLength; base += 2 * half) {
      for (int k = 0; k < half; ++k) {
        float *const a = &output[2 * (base + k)];
        float *const b = &output[2 * (base + k + half)];
        ScalarButterfly(a[0], a[1], b[0], b[1], StageCos[half + k], StageNegSin[half + k]);
      }
    }
  }
}

#if defined(__x86_64__)

// The twiddles of StageCos and StageNegSin widened to double, for the vector path.
alignas(32) std::array<double, kFrameLength> WideStageCos;
alignas(32) std::array<double, kFrameLength> WideStageNegSin;

// Eight complex values in split form.
struct Lanes {
  __m256 re, im;
};

// Lanes whose double lies exactly on a float midpoint.
VIREO_AVX2_INLINE __m256i MidpointLanes(__m256d d) {
  const __m256i low =
      _mm256_and_si256(_mm256_castpd_si256(d), _mm256_set1_epi64x(exact::kBelowFloatMask));
  return _mm256_cmpeq_epi64(low, _mm256_set1_epi64x(exact::kFloatMidpointBits));
}

// Whether any of the eight doubles lies on a float midpoint, tested on their low 32 bits (which
// hold all 29 bits below float precision) gathered into one vector; lanes in no useful order.
VIREO_AVX2_INLINE __m256i MidpointPairs(__m256d low, __m256d high) {
  const __m256i words =
      _mm256_castps_si256(_mm256_shuffle_ps(_mm256_castpd_ps(low), _mm256_castpd_ps(high), 0x88));
  return _mm256_cmpeq_epi32(
      _mm256_and_si256(words, _mm256_set1_epi32(static_cast<int>(exact::kBelowFloatMask))),
      _mm256_set1_epi32(static_cast<int>(exact::kFloatMidpointBits)));
}

// Lanes whose float is NaN, zero or not above the smallest normal float in magnitude.
// Infinities need no check: their double was rounded from an exact value beyond the float range,
// or came from infinite inputs, and either way rounds alike on the literal route.
VIREO_AVX2_INLINE __m256i OutOfRangeLanes(__m256 f) {
  const __m256 magnitude = _mm256_andnot_ps(_mm256_set1_ps(-0.0f), f);
  return _mm256_castps_si256(_mm256_cmp_ps(magnitude, _mm256_set1_ps(0x1p-126f), _CMP_NGT_UQ));
}

// Lanes where a + b was not exact when rounded to `sum` (TwoSum error not 0, NaN included).
VIREO_AVX2_INLINE __m256d InexactSumLanes(__m256d a, __m256d b, __m256d sum) {
  const __m256d bPart = _mm256_sub_pd(sum, a);
  const __m256d aPart = _mm256_sub_pd(sum, bPart);
  const __m256d error = _mm256_add_pd(_mm256_sub_pd(a, aPart), _mm256_sub_pd(b, bPart));
  return _mm256_cmp_pd(error, _mm256_setzero_pd(), _CMP_NEQ_UQ);
}

VIREO_AVX2_INLINE __m256d Low(__m256 v) {
  return _mm256_cvtps_pd(_mm256_castps256_ps128(v));
}
VIREO_AVX2_INLINE __m256d High(__m256 v) {
  return _mm256_cvtps_pd(_mm256_extractf128_ps(v, 1));
}

// The eight butterflies one by one, for the rare groups that the vector code cannot decide.
VIREO_AVX2 void ScalarLanes(Lanes &a, Lanes &b, const double *c, const double *s) {
  alignas(32) float ar[8], ai[8], br[8], bi[8];
  _mm256_store_ps(ar, a.re);
  _mm256_store_ps(ai, a.im);
  _mm256_store_ps(br, b.re);
  _mm256_store_ps(bi, b.im);
  for (int lane = 0; lane < 8; ++lane) {
    ScalarButterfly(ar[lane], ai[lane], br[lane], bi[lane], static_cast<float>(c[lane]),
                    static_cast<float>(s[lane]));
  }
  a = {_mm256_load_ps(ar), _mm256_load_ps(ai)};
  b = {_mm256_load_ps(br), _mm256_load_ps(bi)};
}

// Twiddles of eight butterflies as doubles, lanes 0-3 and 4-7.
struct Twiddles {
  __m256d cl, ch, sl, sh;
};

VIREO_AVX2_INLINE Twiddles LoadTwiddles(int index) {
  return {_mm256_load_pd(&WideStageCos[index]), _mm256_load_pd(&WideStageCos[index + 4]),
          _mm256_load_pd(&WideStageNegSin[index]), _mm256_load_pd(&WideStageNegSin[index + 4])};
}

VIREO_AVX2_INLINE Twiddles BroadcastTwiddle(int index) {
  const __m256d c = _mm256_set1_pd(WideStageCos[index]), s = _mm256_set1_pd(WideStageNegSin[index]);
  return {c, c, s, s};
}

// Eight butterflies at once on a and b: the computation of ScalarButterfly in double lanes.
// When a lane is in doubt and its sum was inexact, the eight are redone one by one.
VIREO_AVX2_INLINE void Butterflies(Lanes &a, Lanes &b, const Twiddles &w) {
  const __m256d xrl = Low(b.re), xrh = High(b.re), xil = Low(b.im), xih = High(b.im);
  const __m256d pl = _mm256_mul_pd(w.cl, xrl), ph = _mm256_mul_pd(w.ch, xrh);
  const __m256d ql = _mm256_mul_pd(w.sl, xil), qh = _mm256_mul_pd(w.sh, xih);
  const __m256d ul = _mm256_mul_pd(w.cl, xil), uh = _mm256_mul_pd(w.ch, xih);
  const __m256d vl = _mm256_mul_pd(w.sl, xrl), vh = _mm256_mul_pd(w.sh, xrh);
  const __m256d trl = _mm256_sub_pd(pl, ql), trh = _mm256_sub_pd(ph, qh);
  const __m256d til = _mm256_add_pd(ul, vl), tih = _mm256_add_pd(uh, vh);
  const __m256 tr = _mm256_set_m128(_mm256_cvtpd_ps(trh), _mm256_cvtpd_ps(trl));
  const __m256 ti = _mm256_set_m128(_mm256_cvtpd_ps(tih), _mm256_cvtpd_ps(til));

  const __m256i rangeR = OutOfRangeLanes(tr), rangeI = OutOfRangeLanes(ti);
  const __m256i anyDoubt =
      _mm256_or_si256(_mm256_or_si256(MidpointPairs(trl, trh), MidpointPairs(til, tih)),
                      _mm256_or_si256(rangeR, rangeI));
  if (!_mm256_testz_si256(anyDoubt, anyDoubt)) [[unlikely]] {
    // Doubt per double lane, the float lanes' range masks widened to 64 bits.
    const __m256i doubtful[4] = {
        _mm256_or_si256(MidpointLanes(trl), _mm256_cvtepi32_epi64(_mm256_castsi256_si128(rangeR))),
        _mm256_or_si256(MidpointLanes(trh),
                        _mm256_cvtepi32_epi64(_mm256_extracti128_si256(rangeR, 1))),
        _mm256_or_si256(MidpointLanes(til), _mm256_cvtepi32_epi64(_mm256_castsi256_si128(rangeI))),
        _mm256_or_si256(MidpointLanes(tih),
                        _mm256_cvtepi32_epi64(_mm256_extracti128_si256(rangeI, 1)))};
    // A doubtful lane whose sum was exact rounds correctly all the same.
    const __m256d negative = _mm256_set1_pd(-0.0);
    const __m256d inexact[4] = {InexactSumLanes(pl, _mm256_xor_pd(ql, negative), trl),
                                InexactSumLanes(ph, _mm256_xor_pd(qh, negative), trh),
                                InexactSumLanes(ul, vl, til), InexactSumLanes(uh, vh, tih)};
    __m256d undecided = _mm256_setzero_pd();
    for (int i = 0; i < 4; ++i) {
      undecided =
          _mm256_or_pd(undecided, _mm256_and_pd(_mm256_castsi256_pd(doubtful[i]), inexact[i]));
    }
    if (!_mm256_testz_pd(undecided, undecided)) {
      alignas(32) double c[8], s[8];
      _mm256_store_pd(c, w.cl);
      _mm256_store_pd(c + 4, w.ch);
      _mm256_store_pd(s, w.sl);
      _mm256_store_pd(s + 4, w.sh);
      ScalarLanes(a, b, c, s);
      return;
    }
  }
  const Lanes sum = {_mm256_add_ps(a.re, tr), _mm256_add_ps(a.im, ti)};
  b = {_mm256_sub_ps(a.re, tr), _mm256_sub_ps(a.im, ti)};
  a = sum;
}

// Eight butterflies on values b whose imaginary parts are all ±0, with a twiddle whose second
// part is ±0 or ±1 and finite b: then T is c × Br rounded once (plus exact zeros), as in float.
VIREO_AVX2_INLINE void ZeroImaginaryButterflies(Lanes &a, Lanes &b, float cos, float negSin) {
  const __m256 c = _mm256_set1_ps(cos), s = _mm256_set1_ps(negSin);
  const __m256 tr = _mm256_sub_ps(_mm256_mul_ps(c, b.re), _mm256_mul_ps(s, b.im));
  const __m256 ti = _mm256_add_ps(_mm256_mul_ps(c, b.im), _mm256_mul_ps(s, b.re));
  const Lanes sum = {_mm256_add_ps(a.re, tr), _mm256_add_ps(a.im, ti)};
  b = {_mm256_sub_ps(a.re, tr), _mm256_sub_ps(a.im, ti)};
  a = sum;
}

// Transposes the 8 × 8 floats held in rows[0 … 7].
VIREO_AVX2_INLINE void Transpose8(__m256 *rows) {
  __m256 t[8];
  for (int j = 0; j < 8; j += 2) {
    t[j] = _mm256_unpacklo_ps(rows[j], rows[j + 1]);
    t[j + 1] = _mm256_unpackhi_ps(rows[j], rows[j + 1]);
  }
  __m256 u[8];
  for (int j = 0; j < 8; j += 4) {
    u[j] = _mm256_shuffle_ps(t[j], t[j + 2], 0x44);
    u[j + 1] = _mm256_shuffle_ps(t[j], t[j + 2], 0xee);
    u[j + 2] = _mm256_shuffle_ps(t[j + 1], t[j + 3], 0x44);
    u[j + 3] = _mm256_shuffle_ps(t[j + 1], t[j + 3], 0xee);
  }
  for (int j = 0; j < 4; ++j) {
    rows[j] = _mm256_permute2f128_ps(u[j], u[j + 4], 0x20);
    rows[j + 4] = _mm256_permute2f128_ps(u[j], u[j + 4], 0x31);
  }
}

VIREO_AVX2_INLINE Lanes LoadLanes(const float *re, const float *im, int at) {
  return {_mm256_load_ps(&re[at]), _mm256_load_ps(&im[at])};
}

VIREO_AVX2_INLINE void StoreLanes(float *re, float *im, int at, const Lanes &x) {
  _mm256_store_ps(&re[at], x.re);
  _mm256_store_ps(&im[at], x.im);
}

// Stores eight complex values interleaved as (re, im) pairs from element `at` on.
VIREO_AVX2_INLINE void StoreInterleaved(SpectrumFrame &output, int at, const Lanes &x) {
  const __m256 low = _mm256_unpacklo_ps(x.re, x.im), high = _mm256_unpackhi_ps(x.re, x.im);
  _mm256_storeu_ps(&output[2 * at], _mm256_permute2f128_ps(low, high, 0x20));
  _mm256_storeu_ps(&output[2 * at + 8], _mm256_permute2f128_ps(low, high, 0x31));
}

// The same butterflies as PortableFFT, eight at a time in split real and imaginary arrays.
// The first three stages run on eight blocks of eight at once, row j holding element j of each
// block: the bit-reversed order makes each row a run of eight consecutive input samples. The
// middle stages go two at a time through registers, the last one writes the interleaved output.
VIREO_AVX2 void VectorFFT(const TimeFrame &input, SpectrumFrame &output) {
  constexpr int kBlock = 8;
  alignas(32) float re[kFrameLength];
  alignas(32) float im[kFrameLength];
  for (int first = 0; first < kFrameLength / kBlock; first += kBlock) {
    Lanes rows[kBlock];
    for (int j = 0; j < kBlock; ++j) {
      // Element j of the blocks whose bit-reversed indices are first … first + 7.
      rows[j] = {_mm256_loadu_ps(&input[BitReverse[j] + first]), _mm256_setzero_ps()};
    }
    // The first two stages have the twiddles (1, -0) and (c, -1) and imaginary parts that are
    // all zero: with finite samples every product but c × Br is exact and the sums add exact
    // zeros, so float arithmetic rounds them as the literal route does.
    __m256 special = _mm256_setzero_ps();
    for (int j = 0; j < kBlock; ++j) {
      special =
          _mm256_or_ps(special, _mm256_cmp_ps(_mm256_andnot_ps(_mm256_set1_ps(-0.0f), rows[j].re),
                                              _mm256_set1_ps(INFINITY), _CMP_NLT_UQ));
    }
    const int exactHalves = _mm256_testz_ps(special, special) ? 2 : 0;
    for (int half = 1; half < kBlock; half *= 2) {
      for (int j = 0; j < kBlock; ++j) {
        if ((j & half) == 0) {
          const int twiddle = half + (j & (half - 1));
          if (half <= exactHalves) {
            ZeroImaginaryButterflies(rows[j], rows[j + half], StageCos[twiddle],
                                     StageNegSin[twiddle]);
          } else {
            Butterflies(rows[j], rows[j + half], BroadcastTwiddle(twiddle));
          }
        }
      }
    }
    __m256 real[kBlock], imaginary[kBlock];
    for (int j = 0; j < kBlock; ++j) {
      real[j] = rows[j].re;
      imaginary[j] = rows[j].im;
    }
    Transpose8(real);
    Transpose8(imaginary);
    for (int lane = 0; lane < kBlock; ++lane) {
      const int at = kBlock * (BitReverse[first + lane] >> 3);
      StoreLanes(re, im, at, {real[lane], imaginary[lane]});
    }
  }
  constexpr int kLastHalf = kFrameLength / 2;
  for (int half = kBlock; half < kLastHalf; half *= 4) {
    for (int base = 0; base < kFrameLength; base += 4 * half) {
      for (int k = base; k < base + half; k += kBlock) {
        Lanes x0 = LoadLanes(re, im, k), x1 = LoadLanes(re, im, k + half);
        Lanes x2 = LoadLanes(re, im, k + 2 * half), x3 = LoadLanes(re, im, k + 3 * half);
        const Twiddles first = LoadTwiddles(half + k - base);
        Butterflies(x0, x1, first);
        Butterflies(x2, x3, first);
        Butterflies(x0, x2, LoadTwiddles(2 * half + k - base));
        Butterflies(x1, x3, LoadTwiddles(3 * half + k - base));
        StoreLanes(re, im, k, x0);
        StoreLanes(re, im, k + half, x1);
        StoreLanes(re, im, k + 2 * half, x2);
        StoreLanes(re, im, k + 3 * half, x3);
      }
    }
  }
  for (int k = 0; k < kLastHalf; k += kBlock) {
    Lanes x0 = LoadLanes(re, im, k), x1 = LoadLanes(re, im, k + kLastHalf);
    Butterflies(x0, x1, LoadTwiddles(kLastHalf + k));
    StoreInterleaved(output, k, x0);
    StoreInterleaved(output, k + kLastHalf, x1);
  }
}

#endif

} // namespace

void BuildBitReverseTable() {
  // A counter that adds one at the most significant of the 12 bits and carries downwards. It is
  // not advanced past the last entry: from 4095 the carry would run off the bottom.
  std::int32_t reversed = 0;
  for (int i = 0; i < kFrameLength; ++i) {
    BitReverse[i] = reversed;
    if (i == kFrameLength - 1) {
      break;
    }
    std::int32_t bit = kFrameLength / 2;
    while (bit <= reversed) {
      reversed -= bit;
      bit /= 2;
    }
    reversed += bit;
  }
}

void BuildTwiddleTables() {
  std::copy(std::begin(tables::kCos), std::end(tables::kCos), CosTable.begin());
  std::copy(std::begin(tables::kNegSin), std::end(tables::kNegSin), NegSinTable.begin());
  // Butterfly k of the stage with half span H uses table entry k × (2048 / H).
  for (int half = 1; half < kFrameLength; half *= 2) {
    for (int k = 0; k < half; ++k) {
      StageCos[half + k] = static_cast<float>(CosTable[k * (kFrameLength / 2 / half)]);
      StageNegSin[half + k] = static_cast<float>(NegSinTable[k * (kFrameLength / 2 / half)]);
    }
  }
#if defined(__x86_64__)
  std::copy(StageCos.begin(), StageCos.end(), WideStageCos.begin());
  std::copy(StageNegSin.begin(), StageNegSin.end(), WideStageNegSin.begin());
#endif
}

void ComputeFFT(const TimeFrame &input, SpectrumFrame &output) {
#if defined(__x86_64__)
  if (UsesVectorPath()) {
    VectorFFT(input, output);
    return;
  }
#endif
  PortableFFT(input, output);
}

} // namespace analysis
