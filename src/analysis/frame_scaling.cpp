#include "analysis/frame_scaling.h"

#include "analysis/analysis_tables.h"
#include "analysis/arithmetic_path.h"
#include "analysis/exact_double.h"
#include "analysis/extended.h"
#include "analysis/lane_paths.h"

#include <array>

namespace analysis {

namespace {

// sin(i × π × 2^-12) for every sample position, as the literal expression gives it (the angle
// rounded to double, its sine to 64 bits: see analysis_tables.h), and that weight rounded to
// double.
struct Window {
  std::array<Extended, kFrameLength> weight;
  alignas(64) std::array<double, kFrameLength> rounded;
};

const Window &WindowTable() {
  static const Window table = [] {
    Window window;
    for (int i = 0; i < kFrameLength; ++i) {
      const tables::WindowWeight &weight = tables::kWindow[i];
      window.weight[i] = Extended::FromParts(false, weight.significand, weight.exponent);
      window.rounded[i] = window.weight[i].ToDouble();
    }
    return window;
  }();
  return table;
}

// Sample i scaled the literal way, at extended precision rounded once to float: x × gain, then
// the exact factor 2 × 2^-12.
float LiteralSample(float x, double gain, const Window *window, int i) {
  ++Fallbacks().samples;
  const Extended scaled = Extended(x) * gain * Extended::FromParts(false, 1, -11);
  return (window ? window->weight[i] * scaled : scaled).ToFloat();
}

// Scales the frame kWidth<L> samples at a time in double: x × (gain × 2^-11), times the weight
// rounded to double; lanes whose rounding to float is in doubt are redone the literal way.
// Budget: the literal value E = RN64(w × RN64(x × gain)) × 2^-11 (w the 64-bit weight, the
// factor 2^-11 exact) and the computed D = RN53(RN53(x × RN53(gain × 2^-11)) × RN53(w)) are
// within 3 × 2^-53 + 2 × 2^-64 of each other relative to D, under 3.01 ulps of D (without the
// window one rounding: half an ulp); the exact product gain × 2^-11 adds nothing. Threshold: D
// within 8 ulps of a float midpoint (the lemma of exact_double.h with room to spare), or out of
// its range and not an exact zero (a zero sample, or the window's first weight).
template <typename L> VIREO_KERNEL void Scale(TimeFrame &data, double gain, const Window *window) {
  using namespace exact;
  constexpr int kLanes = kWidth<L>;
  const L factor = gain * 0x1p-11;
  for (int i = 0; i < kFrameLength; i += kLanes) {
    L x, d, weight;
    Load(&data[i], x);
    d = x * factor;
    if (window) {
      Load(&window->rounded[i], weight);
      d = d * weight;
    }
    Store(&data[i], d);
    RedoDoubtfulLanes(NearFloatMidpoint(d, 8) | (OutOfFloatRange(d) & (d != 0.0)),
                      [&](int lane) VIREO_KERNEL_LAMBDA {
                        data[i + lane] =
                            LiteralSample(static_cast<float>(At(x, lane)), gain, window, i + lane);
                      });
  }
}

} // namespace

void ScaleFrame(TimeFrame &data, double gain, bool window) {
  const Window *const weights = window ? &WindowTable() : nullptr;
  exact::OnCurrentPath([&](auto lanes) VIREO_KERNEL_LAMBDA {
    Scale<typename decltype(lanes)::Doubles>(data, gain, weights);
  });
}

} // namespace analysis
