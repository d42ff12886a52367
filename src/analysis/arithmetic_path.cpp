#include "analysis/arithmetic_path.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <vector>

namespace analysis {

namespace {

constexpr std::array<ArithmeticPath, 4> kPaths = {ArithmeticPath::Portable,
                                                  ArithmeticPath::Lanes128, ArithmeticPath::Avx2,
                                                  ArithmeticPath::Avx512};
constexpr std::array<std::string_view, 4> kNames = {"portable", "128", "avx2", "avx512"};

bool CpuRuns(ArithmeticPath path) {
#if defined(__x86_64__)
  __builtin_cpu_init();
  const bool fma = __builtin_cpu_supports("avx") && __builtin_cpu_supports("fma");
  switch (path) {
  case ArithmeticPath::Portable:
    return true;
  case ArithmeticPath::Lanes128:
    return fma && __builtin_cpu_supports("sse4.1");
  case ArithmeticPath::Avx2:
    return fma && __builtin_cpu_supports("avx2");
  case ArithmeticPath::Avx512:
    return fma && __builtin_cpu_supports("avx2") && __builtin_cpu_supports("avx512f") &&
           __builtin_cpu_supports("avx512dq") && __builtin_cpu_supports("avx512vl");
  }
  return false;
#elif defined(__aarch64__)
  return path == ArithmeticPath::Portable || path == ArithmeticPath::Lanes128;
#else
  return path == ArithmeticPath::Portable;
#endif
}

// The paths this build holds code for (lane_paths.h).
bool Built([[maybe_unused]] ArithmeticPath path) {
#if defined(__x86_64__)
  return true;
#elif defined(__aarch64__)
  return path == ArithmeticPath::Portable || path == ArithmeticPath::Lanes128;
#else
  return path == ArithmeticPath::Portable;
#endif
}

// The path VIREO_ARITHMETIC asks for; unset or empty asks for none.
const char *Requested() {
  const char *name = std::getenv("VIREO_ARITHMETIC");
  return name != nullptr && *name != '\0' ? name : nullptr;
}

std::optional<ArithmeticPath> Named(std::string_view name) {
  const auto at = std::find(kNames.begin(), kNames.end(), name);
  if (at == kNames.end()) {
    return std::nullopt;
  }
  return kPaths[at - kNames.begin()];
}

ArithmeticPath ChosenPath() {
  static const ArithmeticPath chosen = [] {
    const auto paths = AvailablePaths();
    const char *name = Requested();
    const auto asked = name ? Named(name) : std::nullopt;
    if (asked && std::find(paths.begin(), paths.end(), *asked) != paths.end()) {
      return *asked;
    }
    return paths.back();
  }();
  return chosen;
}

std::optional<ArithmeticPath> forced;

} // namespace

std::string_view PathName(ArithmeticPath path) {
  return kNames[static_cast<int>(path)];
}

std::span<const ArithmeticPath> AvailablePaths() {
  static const std::vector<ArithmeticPath> paths = [] {
    std::vector<ArithmeticPath> runnable;
    std::copy_if(kPaths.begin(), kPaths.end(), std::back_inserter(runnable),
                 [](ArithmeticPath path) { return Built(path) && CpuRuns(path); });
    return runnable;
  }();
  return paths;
}

ArithmeticPath CurrentPath() {
  return forced.value_or(ChosenPath());
}

void ForcePath(std::optional<ArithmeticPath> path) {
  forced = path;
}

std::optional<std::string> PathChoiceError() {
  const char *name = Requested();
  if (name == nullptr) {
    return std::nullopt;
  }
  const auto asked = Named(name);
  if (!asked) {
    return "VIREO_ARITHMETIC=" + std::string(name) +
           " names no arithmetic path (portable, 128, avx2 or avx512)";
  }
  const auto paths = AvailablePaths();
  if (std::find(paths.begin(), paths.end(), *asked) == paths.end()) {
    return "VIREO_ARITHMETIC=" + std::string(name) + ": this " +
           (Built(*asked) ? "processor" : "build") + " cannot run that arithmetic path";
  }
  return std::nullopt;
}

LiteralFallbacks &Fallbacks() {
  thread_local LiteralFallbacks counts;
  return counts;
}

} // namespace analysis
