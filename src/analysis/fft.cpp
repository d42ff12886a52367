#include "analysis/fft.h"

#include "analysis/analysis_tables.h"
#include "analysis/arithmetic_path.h"
#include "analysis/exact_double.h"
#include "analysis/extended.h"
#include "analysis/lane_paths.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <iterator>

namespace analysis {

namespace {

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

// Whether the processor's float arithmetic gives A ± T as the literal route does. Infinite T: A ± T
// may be ∞ - ∞, whose NaN the processor chooses (negative on x86-64, positive on arm64); where it
// differs from the literal route's, such lanes are undecided.
template <typename Narrow> VIREO_KERNEL bool SumsAsLiteral(const Narrow &tr, const Narrow &ti) {
  using namespace exact;
  return kInvalidGivesLiteralNaN || None(IsInfinite(tr) | IsInfinite(ti));
}

// Lanes whose float T the midpoint lemma (exact_double.h) does not decide: out of the float range
// and not zero. A zero T is decided: every twiddle is 0 or at least 2^-25 in magnitude (so a
// multiple of 2^-48), every float a multiple of 2^-149, so each product of the two is a multiple of
// 2^-197 and so is X; below 2^-144 in magnitude X then fits in 53 bits and D is X itself.
// On one lane, where the second test of FirmTwiddle is cheap, a zero T is left in doubt: the
// comparison costs more than the rare branch.
template <typename Narrow> VIREO_KERNEL auto UndecidedRange(const Narrow &t) {
  if constexpr (std::is_floating_point_v<Narrow>) {
    return exact::OutOfFloatRange(t);
  } else {
    return exact::OutOfFloatRange(t) & (t != Narrow(0.0f));
  }
}

// T = W × B for the butterflies of one lane type (Wide holds their doubles, Narrow their
// floats), rounded to float into tr and ti; false when a lane's rounding may be in doubt.
// Budget: each product of two floats is exact in double, so the double D of T has a single
// rounding from the exact value X, which the literal route rounds once to 64 bits: the midpoint
// lemma of exact_double.h applies as it stands. A ± T is then done in float: the literal route
// rounds the exact sum of two floats to 64 bits and then to float, the same float as one
// rounding since 64 ≥ 2 × 24 + 2.
// Threshold: no margin; a lane is in doubt when D is on a float midpoint or T is undecided by
// range, and FirmTwiddle then decides it. The test runs on all lanes at once, on packed low
// words and rounded floats.
template <typename Wide, typename Narrow>
VIREO_KERNEL bool QuickTwiddle(const Wide &xr, const Wide &xi, const Wide &c, const Wide &s,
                               Narrow &tr, Narrow &ti) {
  using namespace exact;
  // The products c × x are exact, so MultiplyAdd rounds once whether or not it fuses.
  const Wide wideR = MultiplyAdd(c, xr, -(s * xi)), wideI = MultiplyAdd(c, xi, s * xr);
  tr = ToFloat(wideR);
  ti = ToFloat(wideI);
  return None((IsFloatMidpoint(LowWords(wideR)) | IsFloatMidpoint(LowWords(wideI))) |
              (UndecidedRange(tr) | UndecidedRange(ti))) &&
         SumsAsLiteral(tr, ti);
}

// T as QuickTwiddle gives it, and the lanes (as a mask of Wide) where its rounding, or A ± T
// (SumsAsLiteral), is undecided: a lane in doubt is decided when D is exact (its TwoSum error is
// 0). Where QuickTwiddle decides every lane, so does this.
template <typename Wide, typename Narrow>
VIREO_KERNEL auto FirmTwiddle(const Narrow &br, const Narrow &bi, const Wide &c, const Wide &s,
                              Narrow &tr, Narrow &ti) {
  using namespace exact;
  const Wide xr = Widen<Wide>(br), xi = Widen<Wide>(bi);
  QuickTwiddle(xr, xi, c, s, tr, ti);
  const Wide p = c * xr, q = s * xi, u = c * xi, v = s * xr;
  const auto doubtful =
      ((IsFloatMidpoint(Bits(p - q)) | WidenMask<Wide>(OutOfFloatRange(tr))) & InexactSum(p, -q)) |
      ((IsFloatMidpoint(Bits(u + v)) | WidenMask<Wide>(OutOfFloatRange(ti))) & InexactSum(u, v));
  if constexpr (kInvalidGivesLiteralNaN) {
    return doubtful;
  } else {
    return doubtful | WidenMask<Wide>(IsInfinite(tr)) | WidenMask<Wide>(IsInfinite(ti));
  }
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

// Complex values in split form, one per lane of F.
template <typename F> struct Complex { F re, im; };

// The twiddles of a group of butterflies as doubles, one per lane.
template <typename L> struct Twiddles { typename L::Wide c, s; };

template <typename L> VIREO_KERNEL Twiddles<L> LoadTwiddles(int index) {
  Twiddles<L> w;
  exact::Load(&FftTables::Get().StageCos[index], w.c);
  exact::Load(&FftTables::Get().StageNegSin[index], w.s);
  return w;
}

template <typename L> VIREO_KERNEL Twiddles<L> BroadcastTwiddle(int index) {
  return {FftTables::Get().StageCos[index], FftTables::Get().StageNegSin[index]};
}

// The butterflies of a group after the quick test was in doubt, with the twiddles Load(index):
// the full test, and the literal route for the lanes where even that is in doubt. The twiddles
// are loaded again (Opaque), as B is by the callers, so that the common path keeps none of its
// wide values alive for this one.
template <typename L, auto Load, typename F>
VIREO_KERNEL void FirmButterflies(Complex<F> &a, Complex<F> &b, int index) {
  using namespace exact;
  const Twiddles<L> w = Load(Opaque(index));
  F tr, ti;
  const auto doubtful = FirmTwiddle(b.re, b.im, w.c, w.s, tr, ti);
  // A and B are kept for the lanes in doubt only where there are some: the copies would cost
  // the common case registers.
  if (None(doubtful)) [[likely]] {
    AddTwiddled(a.re, a.im, b.re, b.im, tr, ti);
    return;
  }
  const Complex<F> a0 = a, b0 = b;
  AddTwiddled(a.re, a.im, b.re, b.im, tr, ti);
  RedoDoubtfulLanes(doubtful, [&](int lane) VIREO_KERNEL_LAMBDA {
    float ar = At(a0.re, lane), ai = At(a0.im, lane), br = At(b0.re, lane), bi = At(b0.im, lane);
    LiteralButterfly(ar, ai, br, bi, At(w.c, lane), At(w.s, lane));
    SetAt(a.re, lane, ar);
    SetAt(a.im, lane, ai);
    SetAt(b.re, lane, br);
    SetAt(b.im, lane, bi);
  });
}

// The butterflies of a group at once on a and b, with the twiddles Load(index).
template <typename L, auto Load, typename F>
VIREO_KERNEL void Butterflies(Complex<F> &a, Complex<F> &b, int index) {
  using exact::Opaque, exact::Widen;
  const Twiddles<L> w = Load(index);
  F tr, ti;
  using W = typename L::Wide;
  if (!QuickTwiddle(Widen<W>(b.re), Widen<W>(b.im), w.c, w.s, tr, ti)) [[unlikely]] {
    b = {Opaque(b.re), Opaque(b.im)};
    FirmButterflies<L, Load>(a, b, index);
    return;
  }
  AddTwiddled(a.re, a.im, b.re, b.im, tr, ti);
}

// Butterflies on values b whose imaginary parts are all ±0, with a twiddle whose second part is
// ±0 or ±1 and finite b: then T is c × Br rounded once (plus exact zeros), as in float.
template <typename F>
VIREO_KERNEL void ZeroImaginaryButterflies(Complex<F> &a, Complex<F> &b, const F &c, const F &s) {
  AddTwiddled(a.re, a.im, b.re, b.im, c * b.re - s * b.im, c * b.im + s * b.re);
}

template <typename F> VIREO_KERNEL Complex<F> LoadLanes(const float *re, const float *im, int at) {
  Complex<F> x;
  exact::Load(&re[at], x.re);
  exact::Load(&im[at], x.im);
  return x;
}

template <typename F>
VIREO_KERNEL void StoreLanes(float *re, float *im, int at, const Complex<F> &x) {
  exact::Store(&re[at], x.re);
  exact::Store(&im[at], x.im);
}

// The butterflies of a group on a and the lanes at `at` of re and im, into a and b, with the
// stage's twiddles at `index`. B is widened straight from memory, which spares the processor a
// shuffle per register of doubles, and loaded as floats only where the quick test is in doubt.
template <typename L, typename F>
VIREO_KERNEL void Butterflies(Complex<F> &a, Complex<F> &b, const float *re, const float *im,
                              int at, int index) {
  const Twiddles<L> w = LoadTwiddles<L>(index);
  typename L::Wide xr, xi;
  exact::Load(&re[at], xr);
  exact::Load(&im[at], xi);
  F tr, ti;
  if (!QuickTwiddle(xr, xi, w.c, w.s, tr, ti)) [[unlikely]] {
    b = LoadLanes<F>(re, im, exact::Opaque(at));
    FirmButterflies<L, LoadTwiddles<L>>(a, b, index);
    return;
  }
  AddTwiddled(a.re, a.im, b.re, b.im, tr, ti);
}

// The first stages, of half spans 1 … N / 2, on the N elements rows[0 … N - 1] of real samples.
// The first two stages have the twiddles (1, -0) and (c, -1) and imaginary parts that are all
// zero: with finite samples every product but c × Br is exact and the sums add exact zeros, so
// float arithmetic rounds them as the literal route does. The first stage's sums may overflow:
// the second stage may then form ∞ - ∞, whose NaN only x86-64 gives as the literal route does.
template <typename L, typename F, int N>
VIREO_KERNEL void FirstStages(Complex<F> (&rows)[N], const F (&firstCos)[4],
                              const F (&firstNegSin)[4]) {
  using namespace exact;
  auto special = IsNotFinite(rows[0].re);
  for (int j = 1; j < N; ++j) {
    special = special | IsNotFinite(rows[j].re);
  }
  const int exactHalves = None(special) ? (kInvalidGivesLiteralNaN ? 2 : 1) : 0;
  // Unrolled, so that the rows stay in registers.
#pragma GCC unroll 4
  for (int half = 1; half < N; half *= 2) {
#pragma GCC unroll 16
    for (int j = 0; j < N; ++j) {
      if ((j & half) == 0) {
        const int twiddle = half + (j & (half - 1));
        if (half <= exactHalves) {
          ZeroImaginaryButterflies(rows[j], rows[j + half], firstCos[twiddle],
                                   firstNegSin[twiddle]);
        } else {
          Butterflies<L, BroadcastTwiddle<L>>(rows[j], rows[j + half], twiddle);
        }
      }
    }
  }
}

// The radix-2 butterflies of the literal transform, as many at a time as L has float lanes (N),
// in split real and imaginary arrays; every butterfly rounds as LiteralButterfly does, so the
// order in which they run does not matter.
// The first log2 N stages run on N blocks of N at once, row j holding element j of each block.
// Identity: with N = 2^b and i = N × m + j for j < N, rev12(i) = (4096 / N) revb(j) + rev(12-b)(m),
// where (4096 / N) revb(j) = BitReverse[j] and rev(12-b)(n) = BitReverse[n] >> b for n < 4096 / N.
// So the block at N × (BitReverse[n] >> b) holds input[BitReverse[j] + n] for j < N, and for n =
// first … first + N - 1 row j is the run of N samples from BitReverse[j] + first; transposed,
// lane n - first is that block. On one lane the first two stages run on groups of four.
template <typename L> VIREO_KERNEL void Transform(const TimeFrame &input, SpectrumFrame &output) {
  const FftTables &tables = FftTables::Get();
  using F = typename L::Floats;
  constexpr int kBlock = exact::kWidth<F>;
  constexpr int kBlockBits = std::countr_zero(unsigned{kBlock});
  // The twiddles of the first two stages, as floats.
  F firstCos[4], firstNegSin[4];
  for (int twiddle = 1; twiddle < 4; ++twiddle) {
    firstCos[twiddle] = static_cast<float>(tables.StageCos[twiddle]);
    firstNegSin[twiddle] = static_cast<float>(tables.StageNegSin[twiddle]);
  }
  alignas(64) float re[kFrameLength];
  alignas(64) float im[kFrameLength];
  for (int first = 0; first < kFrameLength / kBlock; first += kBlock) {
    Complex<F> rows[kBlock];
    for (int j = 0; j < kBlock; ++j) {
      // Element j of the blocks whose bit-reversed indices are first … first + N - 1.
      exact::Load(&input[tables.BitReverse[j] + first], rows[j].re);
      rows[j].im = 0.0f;
    }
    if constexpr (kBlock > 1) {
      FirstStages<L>(rows, firstCos, firstNegSin);
      F parts[kBlock];
      for (F Complex<F>::*part : {&Complex<F>::re, &Complex<F>::im}) {
        for (int j = 0; j < kBlock; ++j) {
          parts[j] = rows[j].*part;
        }
        exact::Transpose(parts);
        for (int j = 0; j < kBlock; ++j) {
          rows[j].*part = parts[j];
        }
      }
    }
    for (int lane = 0; lane < kBlock; ++lane) {
      StoreLanes(re, im, kBlock * (tables.BitReverse[first + lane] >> kBlockBits), rows[lane]);
    }
  }
  constexpr int kLastHalf = kFrameLength / 2;
  int half = kBlock;
  if constexpr (kBlock == 1) {
    for (int k = 0; k < kFrameLength; k += 4) {
      Complex<F> x[4];
      for (int j = 0; j < 4; ++j) {
        x[j] = LoadLanes<F>(re, im, k + j);
      }
      FirstStages<L>(x, firstCos, firstNegSin);
      for (int j = 0; j < 4; ++j) {
        StoreLanes(re, im, k + j, x[j]);
      }
    }
    half = 4;
  }
  // The later stages one at a time, the last writing the interleaved output.
  for (; half <= kLastHalf; half *= 2) {
    for (int base = 0; base < kFrameLength; base += 2 * half) {
      for (int k = base; k < base + half; k += kBlock) {
        Complex<F> a = LoadLanes<F>(re, im, k), b;
        Butterflies<L>(a, b, re, im, k + half, half + k - base);
        if (half == kLastHalf) {
          exact::StoreInterleaved(&output[2 * k], a.re, a.im);
          exact::StoreInterleaved(&output[2 * (k + half)], b.re, b.im);
        } else {
          StoreLanes(re, im, k, a);
          StoreLanes(re, im, k + half, b);
        }
      }
    }
  }
}

} // namespace

constexpr FftTables::FftTables() {
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
}

constexpr FftTables FftTables::kTables;

const FftTables &FftTables::Get() {
  return kTables;
}

void BuildBitReverseTable() {}

void BuildTwiddleTables() {}

void ComputeFFT(const TimeFrame &input, SpectrumFrame &output) {
  exact::OnCurrentPath([&](auto lanes)
                           VIREO_KERNEL_LAMBDA { Transform<decltype(lanes)>(input, output); });
}

} // namespace analysis
