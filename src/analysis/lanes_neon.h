#pragma once

// The lane operations that need a particular arm64 instruction, for the 128-bit NEON lanes of
// vector_lanes.h (every arm64 CPU has NEON with its fused multiply-add).

#include "analysis/vector_lanes.h"

#include <arm_neon.h>

namespace analysis::exact {

// Conversions of whole registers (see Convert).
inline Double2 ConvertTo(const Float2 &a, Double2 *) {
  return decltype(Double2::v)(vcvt_f64_f32(float32x2_t(a.v)));
}
inline Float2 ConvertTo(const Double2 &a, Float2 *) {
  return decltype(Float2::v)(vcvt_f32_f64(float64x2_t(a.v)));
}
inline DoubleMask<2> ConvertTo(const FloatMask<2> &a, DoubleMask<2> *) {
  return decltype(DoubleMask<2>::v)(vmovl_s32(int32x2_t(a.v)));
}

// a × b + c rounded once.
inline Double2 Fma(const Double2 &a, const Double2 &b, const Double2 &c) {
  return vfmaq_f64(c.v, a.v, b.v);
}

// The square root rounded once.
inline Double2 Sqrt(const Double2 &a) {
  return vsqrtq_f64(a.v);
}

// True when no lane of a mask is set.
template <typename V>
requires(sizeof(V) == 16) inline bool None(const Lane<V> &a) {
  return vmaxvq_u32(vreinterpretq_u32_u64(uint64x2_t(a.v))) == 0;
}

} // namespace analysis::exact
