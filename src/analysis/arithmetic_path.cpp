#include "analysis/arithmetic_path.h"

namespace analysis {

namespace {

bool forcedPortable = false;

bool CpuHasAvx2AndFma() {
#if defined(__x86_64__)
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
#else
  return false;
#endif
}

} // namespace

bool UsesVectorPath() {
  static const bool available = CpuHasAvx2AndFma();
  return available && !forcedPortable;
}

void ForcePortablePath(bool portable) {
  forcedPortable = portable;
}

LiteralFallbacks &Fallbacks() {
  thread_local LiteralFallbacks counts;
  return counts;
}

} // namespace analysis
