#include "analysis/arithmetic_path.h"

#include <cstdlib>
#include <string_view>

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

bool PortableRequested() {
  const char *choice = std::getenv("VIREO_ARITHMETIC");
  return choice != nullptr && std::string_view(choice) == "portable";
}

} // namespace

bool UsesVectorPath() {
  static const bool available = CpuHasAvx2AndFma() && !PortableRequested();
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
