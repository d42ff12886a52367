#include "analysis/arithmetic_path.h"

#include "analysis/lane_paths.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace analysis {

namespace {

// Whether this build holds code for the path: its architecture's table has it.
bool Built(ArithmeticPath path) {
  bool built = false;
  exact::Paths::ForEach([&](auto lanes) { built = built || decltype(lanes)::kPath == path; });
  return built;
}

// The path VIREO_ARITHMETIC asks for; unset or empty asks for none.
const char *Requested() {
  const char *name = std::getenv("VIREO_ARITHMETIC");
  return name != nullptr && *name != '\0' ? name : nullptr;
}

std::optional<ArithmeticPath> Named(std::string_view name) {
  const auto at = std::find(kPathNames.begin(), kPathNames.end(), name);
  if (at == kPathNames.end()) {
    return std::nullopt;
  }
  return static_cast<ArithmeticPath>(at - kPathNames.begin());
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
  return kPathNames[static_cast<int>(path)];
}

std::span<const ArithmeticPath> AvailablePaths() {
  static const std::vector<ArithmeticPath> paths = [] {
    std::vector<ArithmeticPath> runnable;
    exact::Paths::ForEach([&](auto lanes) {
      if (decltype(lanes)::CpuRuns()) {
        runnable.push_back(decltype(lanes)::kPath);
      }
    });
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
    std::string names(kPathNames[0]);
    for (std::size_t i = 1; i < kPathNames.size(); ++i) {
      names.append(i + 1 < kPathNames.size() ? ", " : " or ").append(kPathNames[i]);
    }
    return "VIREO_ARITHMETIC=" + std::string(name) + " names no arithmetic path (" + names + ")";
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
