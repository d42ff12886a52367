#include "analysis/fft.h"

#include "analysis/arithmetic_path.h"
#include "analysis/exact_double.h"

#include <cmath>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace analysis {

std::array<std::int32_t, kFrameLength> BitReverse;
std::array<double, kFrameLength> CosTable;
std::array<double, kFrameLength> NegSinTable;

namespace {

// 2π/4096 rounded to the nearest float: 13176795 × 2^-33, a little above the exact step.
constexpr float kAngleStep = 13176795 * 0x1p-33f;

// The twiddles as the butterflies use them, rounded to float and laid out stage by stage: the
// stage of half span H reads entries H … 2H - 1, entry H + k belonging to its k-th butterfly.
alignas(32) std::array<float, kFrameLength> StageCos;
alignas(32) std::array<float, kFrameLength> StageNegSin;

// One butterfly the literal way: T = W × B with each product sum formed at extended precision
// and rounded to float, then A ± T likewise.
void LiteralButterfly(float &ar, float &ai, float &br, float &bi, float c, float s) {
  ++Fallbacks().butterflies;
  const long double wr = c, wi = s, xr = br, xi = bi, yr = ar, yi = ai;
  const float tr = static_cast<float>(wr * xr - wi * xi);
  const float ti = static_cast<float>(wr * xi + wi * xr);
  ar = static_cast<float>(yr + tr);
  ai = static_cast<float>(yi + ti);
  br = static_cast<float>(yr - tr);
  bi = static_cast<float>(yi - ti);
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

#define VIREO_AVX2 __attribute__((target("avx2,fma")))

// Lanes whose double lies exactly on a float midpoint.
VIREO_AVX2 __m256i MidpointLanes(__m256d d) {
  const __m256i low = _mm256_and_si256(
      _mm256_castpd_si256(d), _mm256_set1_epi64x(static_cast<long long>(exact::kBelowFloatMask)));
  return _mm256_cmpeq_epi64(low,
                            _mm256_set1_epi64x(static_cast<long long>(exact::kFloatMidpointBits)));
}

// Lanes whose float is zero, not above the smallest normal float in magnitude, or not finite:
// |f| - (FLT_MIN + 1 ulp) taken as unsigned reaches at least inf - (FLT_MIN + 1 ulp).
VIREO_AVX2 __m256i OutOfRangeLanes(__m256 f) {
  const __m256i magnitude = _mm256_and_si256(_mm256_castps_si256(f), _mm256_set1_epi32(0x7fffffff));
  const __m256i shifted = _mm256_sub_epi32(magnitude, _mm256_set1_epi32(0x00800001));
  const __m256i limit = _mm256_set1_epi32(0x7f800000 - 0x00800001);
  return _mm256_cmpeq_epi32(_mm256_max_epu32(shifted, limit), shifted);
}

// Lanes where a + b was not exact when rounded to `sum` (TwoSum error not 0, NaN included).
VIREO_AVX2 __m256d InexactSumLanes(__m256d a, __m256d b, __m256d sum) {
  const __m256d bPart = _mm256_sub_pd(sum, a);
  const __m256d aPart = _mm256_sub_pd(sum, bPart);
  const __m256d error = _mm256_add_pd(_mm256_sub_pd(a, aPart), _mm256_sub_pd(b, bPart));
  return _mm256_cmp_pd(error, _mm256_setzero_pd(), _CMP_NEQ_UQ);
}

VIREO_AVX2 __m256d Low(__m256 v) {
  return _mm256_cvtps_pd(_mm256_castps256_ps128(v));
}
VIREO_AVX2 __m256d High(__m256 v) {
  return _mm256_cvtps_pd(_mm256_extractf128_ps(v, 1));
}

// Eight butterflies at once on (ar, ai) and (br, bi) with twiddles (c, s): the computation of
// ScalarButterfly in double lanes. When a lane is in doubt and its sum was inexact, the eight
// are redone one by one.
VIREO_AVX2 void VectorButterflies(float *ar, float *ai, float *br, float *bi, __m256 c, __m256 s) {
  const __m256 xr = _mm256_loadu_ps(br), xi = _mm256_loadu_ps(bi);
  const __m256d cl = Low(c), ch = High(c), sl = Low(s), sh = High(s);
  const __m256d xrl = Low(xr), xrh = High(xr), xil = Low(xi), xih = High(xi);
  const __m256d pl = _mm256_mul_pd(cl, xrl), ph = _mm256_mul_pd(ch, xrh);
  const __m256d ql = _mm256_mul_pd(sl, xil), qh = _mm256_mul_pd(sh, xih);
  const __m256d ul = _mm256_mul_pd(cl, xil), uh = _mm256_mul_pd(ch, xih);
  const __m256d vl = _mm256_mul_pd(sl, xrl), vh = _mm256_mul_pd(sh, xrh);
  const __m256d trl = _mm256_sub_pd(pl, ql), trh = _mm256_sub_pd(ph, qh);
  const __m256d til = _mm256_add_pd(ul, vl), tih = _mm256_add_pd(uh, vh);
  const __m256 tr = _mm256_set_m128(_mm256_cvtpd_ps(trh), _mm256_cvtpd_ps(trl));
  const __m256 ti = _mm256_set_m128(_mm256_cvtpd_ps(tih), _mm256_cvtpd_ps(til));

  const __m256i doubtful =
      _mm256_or_si256(_mm256_or_si256(_mm256_or_si256(MidpointLanes(trl), MidpointLanes(trh)),
                                      _mm256_or_si256(MidpointLanes(til), MidpointLanes(tih))),
                      _mm256_or_si256(OutOfRangeLanes(tr), OutOfRangeLanes(ti)));
  if (!_mm256_testz_si256(doubtful, doubtful)) {
    const __m256d negative = _mm256_set1_pd(-0.0);
    const __m256d inexact =
        _mm256_or_pd(_mm256_or_pd(InexactSumLanes(pl, _mm256_xor_pd(ql, negative), trl),
                                  InexactSumLanes(ph, _mm256_xor_pd(qh, negative), trh)),
                     _mm256_or_pd(InexactSumLanes(ul, vl, til), InexactSumLanes(uh, vh, tih)));
    if (!_mm256_testz_pd(inexact, inexact)) {
      alignas(32) float cs[8], ss[8];
      _mm256_store_ps(cs, c);
      _mm256_store_ps(ss, s);
      for (int lane = 0; lane < 8; ++lane) {
        ScalarButterfly(ar[lane], ai[lane], br[lane], bi[lane], cs[lane], ss[lane]);
      }
      return;
    }
  }
  const __m256 yr = _mm256_loadu_ps(ar), yi = _mm256_loadu_ps(ai);
  _mm256_storeu_ps(ar, _mm256_add_ps(yr, tr));
  _mm256_storeu_ps(ai, _mm256_add_ps(yi, ti));
  _mm256_storeu_ps(br, _mm256_sub_ps(yr, tr));
  _mm256_storeu_ps(bi, _mm256_sub_ps(yi, ti));
}

// Transposes the 8 × 8 floats at rows[0 … 7][0 … 7] in place.
VIREO_AVX2 void Transpose8(float (*rows)[8]) {
  __m256 r[8], t[8];
  for (int j = 0; j < 8; ++j) {
    r[j] = _mm256_load_ps(rows[j]);
  }
  for (int j = 0; j < 8; j += 2) {
    t[j] = _mm256_unpacklo_ps(r[j], r[j + 1]);
    t[j + 1] = _mm256_unpackhi_ps(r[j], r[j + 1]);
  }
  for (int j = 0; j < 8; j += 4) {
    r[j] = _mm256_shuffle_ps(t[j], t[j + 2], 0x44);
    r[j + 1] = _mm256_shuffle_ps(t[j], t[j + 2], 0xee);
    r[j + 2] = _mm256_shuffle_ps(t[j + 1], t[j + 3], 0x44);
    r[j + 3] = _mm256_shuffle_ps(t[j + 1], t[j + 3], 0xee);
  }
  for (int j = 0; j < 4; ++j) {
    _mm256_store_ps(rows[j], _mm256_permute2f128_ps(r[j], r[j + 4], 0x20));
    _mm256_store_ps(rows[j + 4], _mm256_permute2f128_ps(r[j], r[j + 4], 0x31));
  }
}

// The same butterflies as PortableFFT in split real and imaginary arrays. The first three
// stages run on eight blocks of eight at once, row j holding element j of each block: the
// bit-reversed order makes each row a run of eight consecutive input samples.
VIREO_AVX2 void VectorFFT(const TimeFrame &input, SpectrumFrame &output) {
  constexpr int kBlock = 8;
  constexpr int kBlocks = kFrameLength / kBlock;
  alignas(32) float re[kFrameLength];
  alignas(32) float im[kFrameLength];
  for (int first = 0; first < kBlocks; first += kBlock) {
    alignas(32) float rows[2][kBlock][kBlock];
    for (int j = 0; j < kBlock; ++j) {
      // Element j of the block whose bit-reversed index is first + lane.
      _mm256_store_ps(rows[0][j], _mm256_loadu_ps(&input[BitReverse[j] + first]));
      _mm256_store_ps(rows[1][j], _mm256_setzero_ps());
    }
    for (int half = 1; half < kBlock; half *= 2) {
      for (int j = 0; j < kBlock; ++j) {
        if ((j & half) == 0) {
          const int k = j & (half - 1);
          VectorButterflies(rows[0][j], rows[1][j], rows[0][j + half], rows[1][j + half],
                            _mm256_set1_ps(StageCos[half + k]),
                            _mm256_set1_ps(StageNegSin[half + k]));
        }
      }
    }
    Transpose8(rows[0]);
    Transpose8(rows[1]);
    for (int lane = 0; lane < kBlock; ++lane) {
      const int block = BitReverse[first + lane] >> 3;
      _mm256_store_ps(&re[kBlock * block], _mm256_load_ps(rows[0][lane]));
      _mm256_store_ps(&im[kBlock * block], _mm256_load_ps(rows[1][lane]));
    }
  }
  for (int half = kBlock; half < kFrameLength; half *= 2) {
    for (int base = 0; base < kFrameLength; base += 2 * half) {
      for (int k = 0; k < half; k += kBlock) {
        VectorButterflies(&re[base + k], &im[base + k], &re[base + k + half], &im[base + k + half],
                          _mm256_load_ps(&StageCos[half + k]),
                          _mm256_load_ps(&StageNegSin[half + k]));
      }
    }
  }
  for (int i = 0; i < kFrameLength; i += kBlock) {
    const __m256 r = _mm256_load_ps(&re[i]), m = _mm256_load_ps(&im[i]);
    const __m256 low = _mm256_unpacklo_ps(r, m), high = _mm256_unpackhi_ps(r, m);
    _mm256_storeu_ps(&output[2 * i], _mm256_permute2f128_ps(low, high, 0x20));
    _mm256_storeu_ps(&output[2 * i + kBlock], _mm256_permute2f128_ps(low, high, 0x31));
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
  for (int i = 0; i < kFrameLength; ++i) {
    // i × step needs at most 36 bits, so the double product is exact.
    const double angle = i * static_cast<double>(kAngleStep);
    CosTable[i] = std::cos(angle);
    NegSinTable[i] = -std::sin(angle);
  }
  // Butterfly k of the stage with half span H uses table entry k × (2048 / H).
  for (int half = 1; half < kFrameLength; half *= 2) {
    for (int k = 0; k < half; ++k) {
      StageCos[half + k] = static_cast<float>(CosTable[k * (kFrameLength / 2 / half)]);
      StageNegSin[half + k] = static_cast<float>(NegSinTable[k * (kFrameLength / 2 / half)]);
    }
  }
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
