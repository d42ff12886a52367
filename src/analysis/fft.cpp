#include "analysis/fft.h"

#include "analysis/analysis_tables.h"
#include "analysis/arithmetic_path.h"
#include "analysis/exact_double.h"
#include "analysis/extended.h"
#include "analysis/vector_lanes.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <mutex>

namespace analysis {

std::array<std::int32_t, kFrameLength> BitReverse;
std::array<double, kFrameLength> CosTable;
std::array<double, kFrameLength> NegSinTable;

namespace {

// The twiddles as the butterflies use them, rounded to float (and held as doubles) and laid
// out stage by stage: the stage of half span H reads entries H … 2H - 1, entry H + k belonging
// to its k-th butterfly.
alignas(32) std::array<double, kFrameLength> StageCos;
alignas(32) std::array<double, kFrameLength> StageNegSin;

// One butterfly the literal way: T = W × B with each product sum formed at extended precision
// and rounded to float, then A ± T likewise.
void LiteralButterfly(float &ar, float &ai, float &br, float &bi, double c, double s) {
  ++Fallbacks().butterflies;
  const Extended wr = c, wi = s, xr = br, xi = bi, yr = ar, yi = ai;
  const Extended tr = (wr * xr - wi * xi).ToFloat();
  const Extended ti = (wr * xi + wi * xr).ToFloat();
  ar = (yr + tr).ToFloat();
  ai = (yi + ti).ToFloat();
  br = (yr - tr).ToFloat();
  bi = (yi - ti).ToFloat();
}

// T = W × B for the butterflies of one lane type (Wide holds their doubles, Narrow their
// floats), rounded to float into tr and ti; false when a lane's rounding is in doubt.
// Budget: each product of two floats is exact in double, so the double D of T has a single
// rounding from the exact value X, which the literal route rounds once to 64 bits: the midpoint
// lemma of exact_double.h applies as it stands. A ± T is then done in float: the literal route
// rounds the exact sum of two floats to 64 bits and then to float, the same float as one
// rounding since 64 ≥ 2 × 24 + 2.
// Threshold: no margin; a lane is in doubt when D is on a float midpoint or its float out of
// range, and undecided only when the TwoSum error of D is not 0. The first test runs on all
// lanes at once (packed low words, rounded floats), the second only when that one fires.
template <typename Wide, typename Narrow>
VIREO_KERNEL bool Twiddle(const Narrow &br, const Narrow &bi, const Wide &c, const Wide &s,
                          Narrow &tr, Narrow &ti) {
  using namespace exact;
  const Wide xr = Widen(br), xi = Widen(bi);
  const Wide p = c * xr, q = s * xi, u = c * xi, v = s * xr;
  const Wide wideR = p - q, wideI = u + v;
  tr = ToFloat(wideR);
  ti = ToFloat(wideI);
  if (None((IsFloatMidpoint(LowWords(wideR)) | IsFloatMidpoint(LowWords(wideI))) |
           (OutOfFloatRange(tr) | OutOfFloatRange(ti)))) [[likely]] {
    return true;
  }
  return None(
      ((IsFloatMidpoint(Bits(wideR)) | WidenMask(OutOfFloatRange(tr))) & InexactSum(p, -q)) |
      ((IsFloatMidpoint(Bits(wideI)) | WidenMask(OutOfFloatRange(ti))) & InexactSum(u, v)));
}

// A ± T in float, for the butterflies of any lane type.
template <typename F>
VIREO_KERNEL void AddTwiddled(F &ar, F &ai, F &br, F &bi, const F &tr, const F &ti) {
  const F yr = ar, yi = ai;
  ar = yr + tr;
  ai = yi + ti;
  br = yr - tr;
  bi = yi - ti;
}

void ScalarButterfly(float &ar, float &ai, float &br, float &bi, double c, double s) {
  float tr, ti;
  // Infinite T: A ± T may be ∞ - ∞, whose NaN the processor chooses (negative on x86-64,
  // positive on arm64); the literal route gives x86-64's on every processor.
  if (!Twiddle(br, bi, c, s, tr, ti) || std::isinf(tr) || std::isinf(ti)) {
    LiteralButterfly(ar, ai, br, bi, c, s);
    return;
  }
  AddTwiddled(ar, ai, br, bi, tr, ti);
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

// Eight complex values in split form, and the twiddles of eight butterflies as doubles.
struct Lanes {
  exact::Float8 re, im;
};
struct Twiddles {
  exact::Twin<exact::Quad> c, s;
};

// The eight butterflies one by one, for the rare groups that the vector code cannot decide. The
// twiddles are floats held as doubles, so ToFloat gives them exactly.
VIREO_AVX2 void ScalarLanes(Lanes &a, Lanes &b, Twiddles w) {
  const exact::Float8 lanes[6] = {a.re, a.im, b.re, b.im, ToFloat(w.c), ToFloat(w.s)};
  alignas(32) float ar[8], ai[8], br[8], bi[8], c[8], s[8];
  float *const arrays[6] = {ar, ai, br, bi, c, s};
  for (int k = 0; k < 6; ++k) {
    _mm256_store_ps(arrays[k], lanes[k].v);
  }
  for (int lane = 0; lane < 8; ++lane) {
    ScalarButterfly(ar[lane], ai[lane], br[lane], bi[lane], c[lane], s[lane]);
  }
  a = {_mm256_load_ps(ar), _mm256_load_ps(ai)};
  b = {_mm256_load_ps(br), _mm256_load_ps(bi)};
}

VIREO_AVX2_INLINE Twiddles LoadTwiddles(int index) {
  return {{_mm256_load_pd(&StageCos[index]), _mm256_load_pd(&StageCos[index + 4])},
          {_mm256_load_pd(&StageNegSin[index]), _mm256_load_pd(&StageNegSin[index + 4])}};
}

VIREO_AVX2_INLINE Twiddles BroadcastTwiddle(int index) {
  const exact::Quad c = StageCos[index], s = StageNegSin[index];
  return {{c, c}, {s, s}};
}

// Eight butterflies at once on a and b: the computation of ScalarButterfly in double lanes
// (infinite T needs no check: A ± T runs on x86-64, whose NaN the literal route gives).
VIREO_AVX2_INLINE void Butterflies(Lanes &a, Lanes &b, const Twiddles &w) {
  exact::Float8 tr, ti;
  if (!Twiddle(b.re, b.im, w.c, w.s, tr, ti)) [[unlikely]] {
    ScalarLanes(a, b, w);
    return;
  }
  AddTwiddled(a.re, a.im, b.re, b.im, tr, ti);
}

// Eight butterflies on values b whose imaginary parts are all ±0, with a twiddle whose second
// part is ±0 or ±1 and finite b: then T is c × Br rounded once (plus exact zeros), as in float.
VIREO_AVX2_INLINE void ZeroImaginaryButterflies(Lanes &a, Lanes &b, const exact::Float8 &c,
                                                const exact::Float8 &s) {
  AddTwiddled(a.re, a.im, b.re, b.im, c * b.re - s * b.im, c * b.im + s * b.re);
}

// Transposes the 8 × 8 floats held in the part (re or im) of rows[0 … 7].
VIREO_AVX2_INLINE void Transpose8(Lanes *rows, exact::Float8 Lanes::*part) {
  __m256 t[8];
  for (int j = 0; j < 8; j += 2) {
    t[j] = _mm256_unpacklo_ps((rows[j].*part).v, (rows[j + 1].*part).v);
    t[j + 1] = _mm256_unpackhi_ps((rows[j].*part).v, (rows[j + 1].*part).v);
  }
  __m256 u[8];
  for (int j = 0; j < 8; j += 4) {
    u[j] = _mm256_shuffle_ps(t[j], t[j + 2], 0x44);
    u[j + 1] = _mm256_shuffle_ps(t[j], t[j + 2], 0xee);
    u[j + 2] = _mm256_shuffle_ps(t[j + 1], t[j + 3], 0x44);
    u[j + 3] = _mm256_shuffle_ps(t[j + 1], t[j + 3], 0xee);
  }
  for (int j = 0; j < 4; ++j) {
    rows[j].*part = _mm256_permute2f128_ps(u[j], u[j + 4], 0x20);
    rows[j + 4].*part = _mm256_permute2f128_ps(u[j], u[j + 4], 0x31);
  }
}

VIREO_AVX2_INLINE Lanes LoadLanes(const float *re, const float *im, int at) {
  return {_mm256_load_ps(&re[at]), _mm256_load_ps(&im[at])};
}

VIREO_AVX2_INLINE void StoreLanes(float *re, float *im, int at, const Lanes &x) {
  _mm256_store_ps(&re[at], x.re.v);
  _mm256_store_ps(&im[at], x.im.v);
}

// Stores eight complex values interleaved as (re, im) pairs from element `at` on.
VIREO_AVX2_INLINE void StoreInterleaved(SpectrumFrame &output, int at, const Lanes &x) {
  const __m256 low = _mm256_unpacklo_ps(x.re.v, x.im.v);
  const __m256 high = _mm256_unpackhi_ps(x.re.v, x.im.v);
  _mm256_storeu_ps(&output[2 * at], _mm256_permute2f128_ps(low, high, 0x20));
  _mm256_storeu_ps(&output[2 * at + 8], _mm256_permute2f128_ps(low, high, 0x31));
}

// The same butterflies as PortableFFT, eight at a time in split real and imaginary arrays.
// The first three stages run on eight blocks of eight at once, row j holding element j of each
// block. Identity: for i = 8b + j with j < 8, rev12(i) = 512 rev3(j) + rev9(b), where
// rev3(j) × 512 = BitReverse[j] and rev9(n) = BitReverse[n] / 8 for n < 512. So the block at
// 8 × rev9(n) holds input[BitReverse[j] + n] for j = 0 … 7, and for n = first … first + 7 row j
// is the run of eight samples from BitReverse[j] + first; transposed, lane n - first is the
// block stored at 8 × (BitReverse[n] >> 3). The middle stages go two at a time through
// registers, the last one writes the interleaved output.
VIREO_AVX2 void VectorFFT(const TimeFrame &input, SpectrumFrame &output) {
  constexpr int kBlock = 8;
  // The twiddles of the first two stages, as floats.
  exact::Float8 firstCos[4], firstNegSin[4];
  for (int twiddle = 1; twiddle < 4; ++twiddle) {
    firstCos[twiddle] = static_cast<float>(StageCos[twiddle]);
    firstNegSin[twiddle] = static_cast<float>(StageNegSin[twiddle]);
  }
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
          _mm256_or_ps(special, _mm256_cmp_ps(_mm256_andnot_ps(_mm256_set1_ps(-0.0f), rows[j].re.v),
                                              _mm256_set1_ps(INFINITY), _CMP_NLT_UQ));
    }
    const int exactHalves = _mm256_testz_ps(special, special) ? 2 : 0;
    for (int half = 1; half < kBlock; half *= 2) {
      for (int j = 0; j < kBlock; ++j) {
        if ((j & half) == 0) {
          const int twiddle = half + (j & (half - 1));
          if (half <= exactHalves) {
            ZeroImaginaryButterflies(rows[j], rows[j + half], firstCos[twiddle],
                                     firstNegSin[twiddle]);
          } else {
            Butterflies(rows[j], rows[j + half], BroadcastTwiddle(twiddle));
          }
        }
      }
    }
    Transpose8(rows, &Lanes::re);
    Transpose8(rows, &Lanes::im);
    for (int lane = 0; lane < kBlock; ++lane) {
      StoreLanes(re, im, kBlock * (BitReverse[first + lane] >> 3), rows[lane]);
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

void BuildTables() {
  static std::once_flag once;
  std::call_once(once, [] {
    // The reversal of i is that of i / 2 moved down one bit, with the lowest bit of i on top.
    for (int i = 1; i < kFrameLength; ++i) {
      BitReverse[i] = BitReverse[i / 2] / 2 + (i % 2) * (kFrameLength / 2);
    }
    std::copy(std::begin(tables::kCos), std::end(tables::kCos), CosTable.begin());
    std::copy(std::begin(tables::kNegSin), std::end(tables::kNegSin), NegSinTable.begin());
    // Butterfly k of the stage with half span H uses table entry k × (2048 / H).
    for (int half = 1; half < kFrameLength; half *= 2) {
      for (int k = 0; k < half; ++k) {
        StageCos[half + k] = static_cast<float>(CosTable[k * (kFrameLength / 2 / half)]);
        StageNegSin[half + k] = static_cast<float>(NegSinTable[k * (kFrameLength / 2 / half)]);
      }
    }
  });
}

} // namespace

void BuildBitReverseTable() {
  BuildTables();
}

void BuildTwiddleTables() {
  BuildTables();
}

void ComputeFFT(const TimeFrame &input, SpectrumFrame &output) {
  BuildTables();
#if defined(__x86_64__)
  if (CurrentPath() == ArithmeticPath::Avx2) {
    VectorFFT(input, output);
    return;
  }
#endif
  exact::CleanUpperHalves();
  PortableFFT(input, output);
}

} // namespace analysis
