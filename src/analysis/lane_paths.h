#pragma once

// The lane types of each arithmetic path and the entry points that run a kernel on the path in
// use. A kernel is an always-inlined generic lambda that takes the path's lane set: Floats holds
// the floats of that many butterflies (the transform's width), Wide their doubles, Doubles the
// doubles of the scaling and the levels. Each entry point is compiled for its path's instructions
// (lanes_x86.h, lanes_neon.h) and inlines the kernel with every lane operation it uses.

#include "analysis/arithmetic_path.h"
#include "analysis/exact_double.h"
#include "analysis/vector_lanes.h"

// For the generic lambda of a kernel: (auto lanes) VIREO_KERNEL_LAMBDA { … }.
#define VIREO_KERNEL_LAMBDA __attribute__((always_inline))

namespace analysis::exact {

struct PortableLanes {
  using Floats = float;
  using Wide = double;
  using Doubles = double;
};
struct Lanes128 {
  using Floats = Float4;
  using Wide = Twin<Double2>;
  using Doubles = Double2;
};
struct Avx2Lanes {
  using Floats = Float8;
  using Wide = Twin<Quad>;
  using Doubles = Quad;
};
struct Avx512Lanes {
  using Floats = Float16;
  using Wide = Twin<Double8>;
  using Doubles = Double8;
};

// The portable path is legacy SSE on x86-64: it starts with clean upper register halves.
template <typename Kernel> auto RunPortable(Kernel &kernel) {
  CleanUpperHalves();
  return kernel(PortableLanes{});
}
#if defined(__x86_64__)
// The 128-bit path calls legacy-SSE code too (the scalar fall-backs): it starts clean as well.
template <typename Kernel> VIREO_128 auto Run128(Kernel &kernel) {
  CleanUpperHalves();
  return kernel(Lanes128{});
}
template <typename Kernel> VIREO_AVX2 auto RunAvx2(Kernel &kernel) {
  return kernel(Avx2Lanes{});
}
template <typename Kernel> VIREO_AVX512 auto RunAvx512(Kernel &kernel) {
  return kernel(Avx512Lanes{});
}
#elif defined(__aarch64__)
template <typename Kernel> auto Run128(Kernel &kernel) {
  return kernel(Lanes128{});
}
#endif

// Runs the kernel with the lanes of CurrentPath().
template <typename Kernel> auto OnCurrentPath(Kernel &&kernel) {
  switch (CurrentPath()) {
#if defined(__x86_64__)
  case ArithmeticPath::Lanes128:
    return Run128(kernel);
  case ArithmeticPath::Avx2:
    return RunAvx2(kernel);
  case ArithmeticPath::Avx512:
    return RunAvx512(kernel);
#elif defined(__aarch64__)
  case ArithmeticPath::Lanes128:
    return Run128(kernel);
#endif
  default:
    return RunPortable(kernel);
  }
}

} // namespace analysis::exact
