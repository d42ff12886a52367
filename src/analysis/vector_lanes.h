#pragma once

// The lane types of the AVX2 + FMA path, with the operations of exact_double.h: Quad holds four
// doubles, Twin<Quad> eight (as two Quads), Float8 eight floats, QuadBits and Words8 the bits of
// doubles; comparisons give masks with all bits of a lane set where true. Every operation is
// compiled for AVX2 + FMA and inlined into the AVX2 entry points with the kernels that use it.

#if defined(__x86_64__)

#include "analysis/exact_double.h"

#include <immintrin.h>

#define VIREO_LANE VIREO_AVX2 inline
// Helpers of the AVX2 entry points, called only from them.
#define VIREO_AVX2_INLINE VIREO_AVX2 inline __attribute__((always_inline))

namespace analysis::exact {

typedef double Doubles4 __attribute__((vector_size(32)));
typedef std::uint64_t Unsigned4 __attribute__((vector_size(32)));
typedef float Floats8 __attribute__((vector_size(32)));
typedef std::uint32_t Unsigned8 __attribute__((vector_size(32)));
// The masks are the types that comparisons give: their element types (long or long long)
// differ between compilers.
using Signed4 = decltype(Doubles4{} == Doubles4{});
using Signed8 = decltype(Floats8{} == Floats8{});

// One vector register with the operators of the language extension; a plain value is copied
// into every lane. The register is copied as a whole: with the implicit copy, GCC may split a
// copy into integer pieces in a kernel's body, which it compiles without AVX before inlining it.
template <typename V> struct Lane {
  using Mask = Lane<decltype(V{} == V{})>;
  Lane() = default;
  VIREO_LANE Lane(const V &vector) : v(vector) {}
  template <typename S>
  requires std::is_arithmetic_v<S> VIREO_LANE Lane(S x)
      : v(static_cast<std::remove_cvref_t<decltype(V{}[0])>>(x) - V{}) {}
  Lane(const Lane &other) : v(other.v) {}
  Lane &operator=(const Lane &other) {
    v = other.v;
    return *this;
  }
  friend VIREO_LANE Lane operator+(const Lane &a, const Lane &b) { return a.v + b.v; }
  friend VIREO_LANE Lane operator-(const Lane &a, const Lane &b) { return a.v - b.v; }
  friend VIREO_LANE Lane operator*(const Lane &a, const Lane &b) { return a.v * b.v; }
  friend VIREO_LANE Lane operator/(const Lane &a, const Lane &b) { return a.v / b.v; }
  // Bitwise through a view as 64-bit words, which keeps GCC from turning a chain of compared
  // masks into blends.
  friend VIREO_LANE Lane operator&(const Lane &a, const Lane &b) { return V(Words(a) & Words(b)); }
  friend VIREO_LANE Lane operator|(const Lane &a, const Lane &b) { return V(Words(a) | Words(b)); }
  friend VIREO_LANE Lane operator>>(const Lane &a, int bits) { return a.v >> bits; }
  friend VIREO_LANE Lane operator-(const Lane &a) { return -a.v; }
  friend VIREO_LANE Lane operator!(const Lane &a) { return V(~Words(a)); } // of a mask
  friend VIREO_LANE Mask operator==(const Lane &a, const Lane &b) { return a.v == b.v; }
  friend VIREO_LANE Mask operator!=(const Lane &a, const Lane &b) { return a.v != b.v; }
  friend VIREO_LANE Mask operator<(const Lane &a, const Lane &b) { return a.v < b.v; }
  friend VIREO_LANE Mask operator>(const Lane &a, const Lane &b) { return a.v > b.v; }
  friend VIREO_LANE bool None(const Lane &a) {
    return _mm256_testz_si256(__m256i(a.v), __m256i(a.v));
  }
  VIREO_LANE static __m256i Words(const Lane &a) { return __m256i(a.v); }
  V v;
};
using Quad = Lane<Doubles4>;
using QuadBits = Lane<Unsigned4>;
using QuadMask = Lane<Signed4>;
using Float8 = Lane<Floats8>;
using Words8 = Lane<Unsigned8>;
using Mask8 = Lane<Signed8>;

VIREO_LANE Quad Fma(const Quad &a, const Quad &b, const Quad &c) {
  return _mm256_fmadd_pd(a.v, b.v, c.v);
}
VIREO_LANE Quad Sqrt(const Quad &a) {
  return _mm256_sqrt_pd(a.v);
}
VIREO_LANE Quad Abs(const Quad &a) {
  return _mm256_andnot_pd(_mm256_set1_pd(-0.0), a.v);
}
VIREO_LANE Float8 Abs(const Float8 &a) {
  return _mm256_andnot_ps(_mm256_set1_ps(-0.0f), a.v);
}
VIREO_LANE QuadMask NotGreater(const Quad &a, const Quad &b) {
  return Signed4(_mm256_cmp_pd(a.v, b.v, _CMP_NGT_UQ));
}
VIREO_LANE Mask8 NotGreater(const Float8 &a, const Float8 &b) {
  return Signed8(_mm256_cmp_ps(a.v, b.v, _CMP_NGT_UQ));
}
VIREO_LANE QuadBits Bits(const Quad &a) {
  return Unsigned4(a.v);
}
VIREO_LANE Quad FromBits(const QuadBits &a) {
  return Doubles4(a.v);
}
VIREO_LANE void Load(const float *from, Quad &to) {
  to = _mm256_cvtps_pd(_mm_loadu_ps(from));
}
VIREO_LANE void Load(const double *from, Quad &to) {
  to = _mm256_loadu_pd(from);
}
VIREO_LANE void Store(float *to, const Quad &x) {
  _mm_storeu_ps(to, _mm256_cvtpd_ps(x.v));
}

// Eight lanes as two halves of four; a plain value is copied into both halves.
template <typename T> struct Twin {
  Twin() = default;
  VIREO_KERNEL Twin(const T &low, const T &high) : lo(low), hi(high) {}
  template <typename S> VIREO_KERNEL Twin(const S &x) : lo(x), hi(x) {}
  friend VIREO_KERNEL Twin operator-(const Twin &a) { return {-a.lo, -a.hi}; }
  friend VIREO_KERNEL auto Bits(const Twin &a) { return exact::Twin(Bits(a.lo), Bits(a.hi)); }
  friend VIREO_KERNEL bool None(const Twin &a) { return None(a.lo | a.hi); }
#define VIREO_TWIN_OPERATOR(op)                                                                    \
  friend VIREO_KERNEL auto operator op(const Twin &a, const Twin &b) {                             \
    return exact::Twin(a.lo op b.lo, a.hi op b.hi);                                                \
  }
  VIREO_TWIN_OPERATOR(+)
  VIREO_TWIN_OPERATOR(-)
  VIREO_TWIN_OPERATOR(*)
  VIREO_TWIN_OPERATOR(&)
  VIREO_TWIN_OPERATOR(|)
  VIREO_TWIN_OPERATOR(==)
  VIREO_TWIN_OPERATOR(!=)
#undef VIREO_TWIN_OPERATOR
  T lo, hi;
};

VIREO_LANE Twin<Quad> Widen(const Float8 &a) {
  return {_mm256_cvtps_pd(_mm256_castps256_ps128(a.v)),
          _mm256_cvtps_pd(_mm256_extractf128_ps(a.v, 1))};
}
VIREO_LANE Float8 ToFloat(const Twin<Quad> &a) {
  return _mm256_set_m128(_mm256_cvtpd_ps(a.hi.v), _mm256_cvtpd_ps(a.lo.v));
}
// The mask of each float widened to its double's lane.
VIREO_LANE Twin<QuadMask> WidenMask(const Mask8 &a) {
  const __m256i m = __m256i(a.v);
  return {Signed4(_mm256_cvtepi32_epi64(_mm256_castsi256_si128(m))),
          Signed4(_mm256_cvtepi32_epi64(_mm256_extracti128_si256(m, 1)))};
}
// The low 32 bits of eight doubles (all 29 below float precision) gathered into one vector,
// lanes in no useful order: enough for a test of whether any lane is on a float midpoint.
VIREO_LANE Words8 LowWords(const Twin<Quad> &a) {
  return Unsigned8(_mm256_shuffle_ps(__m256(a.lo.v), __m256(a.hi.v), 0x88));
}

__attribute__((target("avx"))) inline void ZeroUpperHalves() {
  _mm256_zeroupper();
}

} // namespace analysis::exact

#endif

namespace analysis::exact {

// Called where legacy-SSE code (the portable path, the scalar loops) is entered: clears the upper
// halves of the vector registers (vzeroupper) on a CPU with AVX. Code that ends with them dirty
// (the toolkit's start-up does) makes every legacy-SSE instruction wait on them on Intel CPUs, the
// portable analysis pass 20 times slower.
inline void CleanUpperHalves() {
#if defined(__x86_64__)
  if (__builtin_cpu_supports("avx")) {
    ZeroUpperHalves();
  }
#endif
}

} // namespace analysis::exact
