#pragma once

// Runs a kernel on the arithmetic path in use. A kernel is an always-inlined generic lambda that
// takes the path's lane set (the lane contract in vector_lanes.h): each path's entry point is
// compiled for its instructions and inlines the kernel with every lane operation it uses.

#include "analysis/arithmetic_path.h"
#include "analysis/exact_double.h"
#include "analysis/vector_lanes.h"

// For the generic lambda of a kernel: (auto lanes) VIREO_KERNEL_LAMBDA { … }.
#define VIREO_KERNEL_LAMBDA __attribute__((always_inline))

namespace analysis::exact {

// Runs the kernel with the lane set of `path`, one of those listed.
template <typename Kernel, typename Set, typename... Wider>
auto RunOn(ArithmeticPath path, Kernel &kernel, PathList<Set, Wider...>) {
  if constexpr (sizeof...(Wider) > 0) {
    if (path != Set::kPath) {
      return RunOn(path, kernel, PathList<Wider...>());
    }
  }
  return Set::Run(kernel);
}

// Runs the kernel with the lanes of CurrentPath().
template <typename Kernel> auto OnCurrentPath(Kernel &&kernel) {
  return RunOn(CurrentPath(), kernel, Paths());
}

} // namespace analysis::exact
