#pragma once

// The paths of arm64 and the lane operations that need a particular arm64 instruction, for the
// 128-bit NEON lanes of vector_lanes.h (every arm64 CPU has NEON with its fused multiply-add).

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

// The lanes unchanged and unknown to the compiler (see Opaque in vector_lanes.h) in a register.
template <typename V>
requires(sizeof(V) <= 16) VIREO_KERNEL Lane<V> Opaque(Lane<V> a) {
  asm("" : "+w"(a.v));
  return a;
}

// The paths of arm64.
struct Lanes128 : VectorLanes<4> {
  static constexpr ArithmeticPath kPath = ArithmeticPath::Lanes128;
  static bool CpuRuns() { return true; }
  template <typename Kernel> static auto Run(Kernel &kernel) { return kernel(Lanes128{}); }
};
using Paths = PathList<PortableLanes, Lanes128>;

} // namespace analysis::exact
