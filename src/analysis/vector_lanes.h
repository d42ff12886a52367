#pragma once

// The lane types of the AVX2 + FMA path, with the operations of exact_double.h: Quad holds four
// doubles, Twin<Quad> eight (as two Quads), Float8 eight floats. Masks have all bits of a lane
// set where true. Each operation is compiled for AVX2 + FMA and inlined into the AVX2 entry
// points together with the kernels that use it.

#if defined(__x86_64__)

#include "analysis/exact_double.h"

#include <immintrin.h>

#define VIREO_LANE VIREO_AVX2 inline
// Helpers of the AVX2 entry points, called only from them.
#define VIREO_AVX2_INLINE VIREO_AVX2 inline __attribute__((always_inline))

namespace analysis::exact {

// The lane's vector register, copied as a whole: with the implicit copy, GCC may split a copy
// into integer pieces in a kernel's body, which it compiles without AVX before inlining it.
#define VIREO_REGISTER(Type, Vector)                                                               \
  Type() = default;                                                                                \
  Type(Vector value) : v(value) {}                                                                 \
  Type(const Type &other) : v(other.v) {}                                                          \
  Type &operator=(const Type &other) {                                                             \
    v = other.v;                                                                                   \
    return *this;                                                                                  \
  }                                                                                                \
  Vector v

struct QuadMask {
  VIREO_REGISTER(QuadMask, __m256i);
  friend VIREO_LANE QuadMask operator&(const QuadMask &a, const QuadMask &b) { return {a.v & b.v}; }
  friend VIREO_LANE QuadMask operator|(const QuadMask &a, const QuadMask &b) { return {a.v | b.v}; }
  friend VIREO_LANE QuadMask operator!(const QuadMask &a) { return {~a.v}; }
  friend VIREO_LANE bool None(const QuadMask &a) { return _mm256_testz_si256(a.v, a.v); }
};

// The bits of four doubles as 64-bit integers.
struct QuadBits {
  VIREO_REGISTER(QuadBits, __m256i);
  VIREO_LANE QuadBits(std::uint64_t x) : v(_mm256_set1_epi64x(static_cast<long long>(x))) {}
  friend VIREO_LANE QuadBits operator&(const QuadBits &a, const QuadBits &b) { return a.v & b.v; }
  friend VIREO_LANE QuadBits operator|(const QuadBits &a, const QuadBits &b) { return a.v | b.v; }
  friend VIREO_LANE QuadBits operator+(const QuadBits &a, const QuadBits &b) { return a.v + b.v; }
  friend VIREO_LANE QuadBits operator-(const QuadBits &a, const QuadBits &b) { return a.v - b.v; }
  friend VIREO_LANE QuadBits operator>>(const QuadBits &a, int n) {
    return _mm256_srli_epi64(a.v, n);
  }
  friend VIREO_LANE QuadMask operator==(const QuadBits &a, const QuadBits &b) {
    return {_mm256_cmpeq_epi64(a.v, b.v)};
  }
  // Signed: for values below 2^63.
  friend VIREO_LANE QuadMask operator<(const QuadBits &a, const QuadBits &b) {
    return {_mm256_cmpgt_epi64(b.v, a.v)};
  }
};

struct Quad {
  VIREO_REGISTER(Quad, __m256d);
  VIREO_LANE Quad(double x) : v(_mm256_set1_pd(x)) {}
  VIREO_LANE static Quad Load(const float *from) { return _mm256_cvtps_pd(_mm_loadu_ps(from)); }
  VIREO_LANE static Quad Load(const double *from) { return _mm256_loadu_pd(from); }
  friend VIREO_LANE void Store(float *to, const Quad &x) {
    _mm_storeu_ps(to, _mm256_cvtpd_ps(x.v));
  }
  friend VIREO_LANE Quad operator+(const Quad &a, const Quad &b) { return a.v + b.v; }
  friend VIREO_LANE Quad operator-(const Quad &a, const Quad &b) { return a.v - b.v; }
  friend VIREO_LANE Quad operator*(const Quad &a, const Quad &b) { return a.v * b.v; }
  friend VIREO_LANE Quad operator-(const Quad &a) { return -a.v; }
  friend VIREO_LANE Quad Fma(const Quad &a, const Quad &b, const Quad &c) {
    return _mm256_fmadd_pd(a.v, b.v, c.v);
  }
  friend VIREO_LANE Quad Abs(const Quad &a) { return _mm256_andnot_pd(Quad(-0.0).v, a.v); }
  friend VIREO_LANE QuadBits Bits(const Quad &a) { return _mm256_castpd_si256(a.v); }
#define VIREO_QUAD_COMPARE(name, predicate)                                                        \
  friend VIREO_LANE QuadMask name(const Quad &a, const Quad &b) {                                  \
    return {_mm256_castpd_si256(_mm256_cmp_pd(a.v, b.v, predicate))};                              \
  }
  VIREO_QUAD_COMPARE(operator==, _CMP_EQ_OQ)
  VIREO_QUAD_COMPARE(operator!=, _CMP_NEQ_UQ)
  VIREO_QUAD_COMPARE(operator>, _CMP_GT_OQ)
  VIREO_QUAD_COMPARE(operator>=, _CMP_GE_OQ)
  VIREO_QUAD_COMPARE(operator<=, _CMP_LE_OQ)
  VIREO_QUAD_COMPARE(NotGreater, _CMP_NGT_UQ)
#undef VIREO_QUAD_COMPARE
};

VIREO_LANE Quad FromBits(const QuadBits &a) {
  return _mm256_castsi256_pd(a.v);
}

// Eight lanes as two halves of four; a plain value stands for itself in both halves.
template <typename T> struct Twin { T lo, hi; };
template <typename T> inline constexpr bool kIsTwin = false;
template <typename T> inline constexpr bool kIsTwin<Twin<T>> = true;
template <typename T> VIREO_KERNEL const T &Half(const T &x, bool) {
  return x;
}
template <typename T> VIREO_KERNEL const T &Half(const Twin<T> &x, bool high) {
  return high ? x.hi : x.lo;
}
template <typename T> VIREO_KERNEL Twin<T> MakeTwin(const T &lo, const T &hi) {
  return {lo, hi};
}
#define VIREO_TWIN_OPERATOR(op)                                                                    \
  template <typename A, typename B>                                                                \
  requires(kIsTwin<A> || kIsTwin<B>) VIREO_KERNEL auto operator op(const A &a, const B &b) {       \
    return MakeTwin(Half(a, false) op Half(b, false), Half(a, true) op Half(b, true));             \
  }
VIREO_TWIN_OPERATOR(+)
VIREO_TWIN_OPERATOR(-)
VIREO_TWIN_OPERATOR(*)
VIREO_TWIN_OPERATOR(&)
VIREO_TWIN_OPERATOR(|)
VIREO_TWIN_OPERATOR(==)
VIREO_TWIN_OPERATOR(!=)
#undef VIREO_TWIN_OPERATOR
template <typename T> VIREO_KERNEL Twin<T> operator-(const Twin<T> &a) {
  return {-a.lo, -a.hi};
}
template <typename T> VIREO_KERNEL auto Bits(const Twin<T> &a) {
  return MakeTwin(Bits(a.lo), Bits(a.hi));
}
template <typename T> VIREO_KERNEL bool None(const Twin<T> &a) {
  return None(a.lo | a.hi);
}

struct Mask8 {
  VIREO_REGISTER(Mask8, __m256i);
  friend VIREO_LANE Mask8 operator|(const Mask8 &a, const Mask8 &b) { return {a.v | b.v}; }
  friend VIREO_LANE bool None(const Mask8 &a) { return _mm256_testz_si256(a.v, a.v); }
  // The mask of each float widened to its double's lane.
  friend VIREO_LANE Twin<QuadMask> WidenMask(const Mask8 &a) {
    return {{_mm256_cvtepi32_epi64(_mm256_castsi256_si128(a.v))},
            {_mm256_cvtepi32_epi64(_mm256_extracti128_si256(a.v, 1))}};
  }
};

struct Float8 {
  VIREO_REGISTER(Float8, __m256);
  VIREO_LANE Float8(float x) : v(_mm256_set1_ps(x)) {}
  friend VIREO_LANE Float8 operator+(const Float8 &a, const Float8 &b) { return a.v + b.v; }
  friend VIREO_LANE Float8 operator-(const Float8 &a, const Float8 &b) { return a.v - b.v; }
  friend VIREO_LANE Float8 operator*(const Float8 &a, const Float8 &b) { return a.v * b.v; }
  friend VIREO_LANE Float8 Abs(const Float8 &a) { return _mm256_andnot_ps(Float8(-0.0f).v, a.v); }
  friend VIREO_LANE Mask8 NotGreater(const Float8 &a, const Float8 &b) {
    return {_mm256_castps_si256(_mm256_cmp_ps(a.v, b.v, _CMP_NGT_UQ))};
  }
  friend VIREO_LANE Twin<Quad> Widen(const Float8 &a) {
    return {_mm256_cvtps_pd(_mm256_castps256_ps128(a.v)),
            _mm256_cvtps_pd(_mm256_extractf128_ps(a.v, 1))};
  }
};
VIREO_LANE Float8 ToFloat(const Twin<Quad> &a) {
  return _mm256_set_m128(_mm256_cvtpd_ps(a.hi.v), _mm256_cvtpd_ps(a.lo.v));
}

// The low 32 bits of eight doubles (all 29 below float precision) gathered into one vector,
// lanes in no useful order: enough for a test of whether any lane is on a float midpoint.
struct Words8 {
  VIREO_REGISTER(Words8, __m256i);
  friend VIREO_LANE Words8 operator&(const Words8 &a, std::uint64_t word) {
    return {a.v & _mm256_set1_epi32(static_cast<int>(word))};
  }
  friend VIREO_LANE Mask8 operator==(const Words8 &a, std::uint64_t word) {
    return {_mm256_cmpeq_epi32(a.v, _mm256_set1_epi32(static_cast<int>(word)))};
  }
};
VIREO_LANE Words8 LowWords(const Twin<Quad> &a) {
  return {_mm256_castps_si256(
      _mm256_shuffle_ps(_mm256_castpd_ps(a.lo.v), _mm256_castpd_ps(a.hi.v), 0x88))};
}

} // namespace analysis::exact

#endif
