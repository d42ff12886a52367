#pragma once

// The paths of x86-64 and the lane operations that need a particular x86-64 instruction, for the
// 128-bit (SSE4.1 + FMA), 256-bit (AVX2 + FMA) and 512-bit (AVX-512 F, DQ, VL) lanes of
// vector_lanes.h. Each operation is compiled for the narrowest instruction set that has it and
// inlined into the entry points of the paths that run on such a CPU (the lane contract in
// vector_lanes.h).

#include "analysis/vector_lanes.h"

#include <immintrin.h>

#include <bit>

// The instruction sets of the paths: FMA comes with AVX's encoding, so the 128-bit path uses the
// VEX form of its SSE instructions.
#define VIREO_128 __attribute__((target("sse4.1,fma")))
#define VIREO_AVX2 __attribute__((target("avx2,fma")))
#define VIREO_AVX512 __attribute__((target("avx2,fma,avx512f,avx512dq,avx512vl")))

namespace analysis::exact {

// AVX-512 compares into its mask registers: every 512-bit vector here is one of its lanes.
template <typename V>
requires(sizeof(V) == 64) inline constexpr bool kBitMasks<V> = true;

// Conversions of whole registers (see Convert). The 512-bit ones are the masked forms with every
// lane selected: the plain ones start from an undefined register, which GCC 12 warns about.
VIREO_128 inline Double2 ConvertTo(const Float2 &a, Double2 *) {
  return _mm_cvtps_pd(_mm_castpd_ps(_mm_set_sd(std::bit_cast<double>(a.v))));
}
VIREO_128 inline Float2 ConvertTo(const Double2 &a, Float2 *) {
  return std::bit_cast<decltype(Float2::v)>(_mm_cvtsd_f64(_mm_castps_pd(_mm_cvtpd_ps(a.v))));
}
VIREO_128 inline DoubleMask<2> ConvertTo(const FloatMask<2> &a, DoubleMask<2> *) {
  return decltype(DoubleMask<2>::v)(
      _mm_cvtepi32_epi64(_mm_set_epi64x(0, std::bit_cast<long long>(a.v))));
}
VIREO_AVX2 inline Quad ConvertTo(const Float4 &a, Quad *) {
  return _mm256_cvtps_pd(a.v);
}
VIREO_AVX2 inline Float4 ConvertTo(const Quad &a, Float4 *) {
  return _mm256_cvtpd_ps(a.v);
}
VIREO_AVX2 inline DoubleMask<4> ConvertTo(const FloatMask<4> &a, DoubleMask<4> *) {
  return decltype(DoubleMask<4>::v)(_mm256_cvtepi32_epi64(__m128i(a.v)));
}
VIREO_AVX512 inline Double8 ConvertTo(const Float8 &a, Double8 *) {
  return _mm512_maskz_cvtps_pd(0xff, a.v);
}
VIREO_AVX512 inline Float8 ConvertTo(const Double8 &a, Float8 *) {
  return _mm512_maskz_cvtpd_ps(0xff, a.v);
}

// Two floats widened to doubles straight from memory, and two pairs of doubles rounded into one
// register of floats: the generic forms pass through a 64-bit register and copy it.
VIREO_128 inline void Load(const float *from, Double2 &to) {
  to = _mm_cvtps_pd(_mm_castpd_ps(_mm_load_sd(reinterpret_cast<const double *>(from))));
}
VIREO_128 inline Float4 ToFloat(const Twin<Double2> &a) {
  return _mm_movelh_ps(_mm_cvtpd_ps(a.lo.v), _mm_cvtpd_ps(a.hi.v));
}

// Two halves joined in one register: the generic Join copies the low half first.
VIREO_AVX2 inline Float8 Join(const Float4 &low, const Float4 &high) {
  return _mm256_insertf128_ps(_mm256_castps128_ps256(low.v), high.v, 1);
}
VIREO_AVX512 inline Float16 Join(const Float8 &low, const Float8 &high) {
  return _mm512_insertf32x8(_mm512_castps256_ps512(low.v), high.v, 1);
}

// a × b + c rounded once.
VIREO_128 inline Double2 Fma(const Double2 &a, const Double2 &b, const Double2 &c) {
  return _mm_fmadd_pd(a.v, b.v, c.v);
}
VIREO_AVX2 inline Quad Fma(const Quad &a, const Quad &b, const Quad &c) {
  return _mm256_fmadd_pd(a.v, b.v, c.v);
}
VIREO_AVX512 inline Double8 Fma(const Double8 &a, const Double8 &b, const Double8 &c) {
  return _mm512_fmadd_pd(a.v, b.v, c.v);
}

// The square root rounded once.
VIREO_128 inline Double2 Sqrt(const Double2 &a) {
  return _mm_sqrt_pd(a.v);
}
VIREO_AVX2 inline Quad Sqrt(const Quad &a) {
  return _mm256_sqrt_pd(a.v);
}
VIREO_AVX512 inline Double8 Sqrt(const Double8 &a) {
  return _mm512_maskz_sqrt_pd(0xff, a.v);
}

// True when no lane of a mask is set.
template <typename V>
requires(sizeof(V) == 16) VIREO_128 inline bool None(const Lane<V> &a) {
  return _mm_testz_si128(__m128i(a.v), __m128i(a.v));
}
template <typename V>
requires(sizeof(V) == 32) VIREO_AVX2 inline bool None(const Lane<V> &a) {
  return _mm256_testz_si256(__m256i(a.v), __m256i(a.v));
}

// The comparison result of an intrinsic as the mask of the lane type L.
template <typename L, typename X> VIREO_KERNEL typename L::Mask AsMask(const X &x) {
  return decltype(L::Mask::v)(x);
}

// !(a > b) in one comparison: true where either is NaN.
VIREO_128 inline auto NotGreater(const Double2 &a, const Double2 &b) {
  return AsMask<Double2>(__m128i(_mm_cmp_pd(a.v, b.v, _CMP_NGT_UQ)));
}
VIREO_128 inline auto NotGreater(const Float4 &a, const Float4 &b) {
  return AsMask<Float4>(__m128i(_mm_cmp_ps(a.v, b.v, _CMP_NGT_UQ)));
}
VIREO_AVX2 inline auto NotGreater(const Quad &a, const Quad &b) {
  return AsMask<Quad>(__m256i(_mm256_cmp_pd(a.v, b.v, _CMP_NGT_UQ)));
}
VIREO_AVX2 inline auto NotGreater(const Float8 &a, const Float8 &b) {
  return AsMask<Float8>(__m256i(_mm256_cmp_ps(a.v, b.v, _CMP_NGT_UQ)));
}
VIREO_AVX512 inline BitMask<8> NotGreater(const Double8 &a, const Double8 &b) {
  return {_mm512_cmp_pd_mask(a.v, b.v, _CMP_NGT_UQ)};
}
VIREO_AVX512 inline BitMask<16> NotGreater(const Float16 &a, const Float16 &b) {
  return {_mm512_cmp_ps_mask(a.v, b.v, _CMP_NGT_UQ)};
}

// The comparisons of 512-bit lanes as the language extension defines them: != is true where
// either is NaN, the others false; integers compare as signed or unsigned as their type.
template <Comparison C, typename V>
requires kBitMasks<V> VIREO_AVX512 inline auto Compare(const Lane<V> &a, const Lane<V> &b) {
  using E = typename Lane<V>::Element;
  // The predicates of the Comparisons in their order, for floats and for integers.
  constexpr int kFloats[] = {_CMP_EQ_OQ, _CMP_NEQ_UQ, _CMP_LT_OQ, _CMP_GT_OQ};
  constexpr int kIntegers[] = {_MM_CMPINT_EQ, _MM_CMPINT_NE, _MM_CMPINT_LT, _MM_CMPINT_NLE};
  constexpr int kFloat = kFloats[static_cast<int>(C)], kInteger = kIntegers[static_cast<int>(C)];
  const __m512i x = __m512i(a.v), y = __m512i(b.v);
  if constexpr (std::is_same_v<E, float>) {
    return BitMask<16>{_mm512_cmp_ps_mask(a.v, b.v, kFloat)};
  } else if constexpr (std::is_same_v<E, double>) {
    return BitMask<8>{_mm512_cmp_pd_mask(a.v, b.v, kFloat)};
  } else if constexpr (sizeof(E) == 4) {
    return BitMask<16>{std::is_signed_v<E> ? _mm512_cmp_epi32_mask(x, y, kInteger)
                                           : _mm512_cmp_epu32_mask(x, y, kInteger)};
  } else {
    return BitMask<8>{std::is_signed_v<E> ? _mm512_cmp_epi64_mask(x, y, kInteger)
                                          : _mm512_cmp_epu64_mask(x, y, kInteger)};
  }
}

// a where the mask is set, b elsewhere.
VIREO_AVX512 inline Double8 Select(BitMask<8> mask, const Double8 &a, const Double8 &b) {
  return _mm512_mask_blend_pd(mask.bits, b.v, a.v);
}
VIREO_AVX512 inline Float16 Select(BitMask<16> mask, const Float16 &a, const Float16 &b) {
  return _mm512_mask_blend_ps(mask.bits, b.v, a.v);
}

// The lanes unchanged and unknown to the compiler (see Opaque in vector_lanes.h) in a register.
// clang names a register wider than 128 bits only in a function compiled for AVX, which a
// generic one is not: wider lanes pass through memory.
template <typename V>
requires(sizeof(V) <= 16) VIREO_KERNEL Lane<V> Opaque(Lane<V> a) {
  asm("" : "+x"(a.v));
  return a;
}

// Clears the upper halves of the vector registers (see CleanUpperHalves).
__attribute__((target("avx"))) inline void ZeroUpperHalves() {
  _mm256_zeroupper();
}

// The paths of x86-64. FMA comes with AVX's encoding: every vector path needs both.
inline bool CpuHasAvxAndFma() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx") && __builtin_cpu_supports("fma");
}
struct Lanes128 : VectorLanes<4> {
  static constexpr ArithmeticPath kPath = ArithmeticPath::Lanes128;
  static bool CpuRuns() { return CpuHasAvxAndFma() && __builtin_cpu_supports("sse4.1"); }
  // The path calls legacy-SSE code (the scalar fall-backs): it starts with clean upper halves.
  template <typename Kernel> VIREO_128 static auto Run(Kernel &kernel) {
    CleanUpperHalves();
    return kernel(Lanes128{});
  }
};
struct Avx2Lanes : VectorLanes<8> {
  static constexpr ArithmeticPath kPath = ArithmeticPath::Avx2;
  static bool CpuRuns() { return CpuHasAvxAndFma() && __builtin_cpu_supports("avx2"); }
  template <typename Kernel> VIREO_AVX2 static auto Run(Kernel &kernel) {
    return kernel(Avx2Lanes{});
  }
};
struct Avx512Lanes : VectorLanes<16> {
  static constexpr ArithmeticPath kPath = ArithmeticPath::Avx512;
  static bool CpuRuns() {
    return CpuHasAvxAndFma() && __builtin_cpu_supports("avx2") &&
           __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq") &&
           __builtin_cpu_supports("avx512vl");
  }
  template <typename Kernel> VIREO_AVX512 static auto Run(Kernel &kernel) {
    return kernel(Avx512Lanes{});
  }
};
using Paths = PathList<PortableLanes, Lanes128, Avx2Lanes, Avx512Lanes>;

} // namespace analysis::exact
