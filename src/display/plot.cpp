#include "display/plot.h"

#include "analysis/exact_double.h"
#include "analysis/extended.h"
#include "analysis/lane_paths.h"
#include "display/layout.h"

#include <algorithm>
#include <array>
#include <bit>
#include <type_traits>

namespace display {

namespace {

constexpr int kFullBar = 127; // from this height on a bar fills the whole plot height
constexpr int kMaxBinsPerColumn = kBinsPerColumn.back();
constexpr double kBarScale = 1.4; // pixels per level unit
constexpr int kHeightLimit = 1000000;

} // namespace

void DrawPlotFrame(Canvas &canvas, const Palette &palette) {
  canvas.SetPenColor(palette[kPlotFrameEntry]);
  canvas.Rectangle(kPlotFrameRect);
  canvas.SetBrushColor(kBlack);
  canvas.SetFontColor(kWhite);
  canvas.TextOut(kTitleX, kTitleY, "Spectrum data - 4096point complex FFT");
  canvas.TextOut(kBannerX, kBannerY, "Vireo " VIREO_VERSION " - real-time spectrum analyser");
}

namespace {

using namespace analysis::exact;

// Runs step(lanes, first) for first = 0, W, 2W, … while W items remain, lanes being the
// std::type_identity of the arithmetic path's Doubles (W lanes), then for each item left with
// one double.
template <typename Step> void InLanes(int count, Step step) {
  const int done = OnCurrentPath([&](auto lanes) VIREO_KERNEL_LAMBDA {
    using L = typename decltype(lanes)::Doubles;
    int first = 0;
    for (; first + kWidth<L> <= count; first += kWidth<L>) {
      step(std::type_identity<L>(), first);
    }
    return first;
  });
  for (int first = done; first < count; ++first) {
    step(std::type_identity<double>(), first);
  }
}

// truncate(128 - 1.4 × level), the product and the difference each rounded to 64 bits, 1.4 being
// the double nearest it, in the lanes where double precision decides it (the height held within
// ±10^6, as a double), with the lanes where it does not. In double: 1.4 × level = ph + pl exactly
// (error-free product) and 128 - ph = s + e exactly (TwoSum), so y = 128 - 1.4 × level is
// s + (e - pl) to within (|ph| + |s|) × 2^-105. The two 64-bit roundings move y by less than
// (|ph| + |s|) × 2^-63, and truncation jumps only at non-zero integers: with n the integer
// nearest s (exact as s - n) and d = (s - n) + (e - pl), the height is n, n - 1 or n + 1 by the
// sign of d once |d| clears (|ph| + |s|) × 2^-62, and n when n is 0 (then |y| < 1). Otherwise,
// and for levels beyond every bar, infinite or NaN, the lane is in doubt.
template <typename L> VIREO_KERNEL auto FastHeight(const L &level, L &height) {
  const auto [ph, pl] = TwoProduct(L(kBarScale), level);
  const auto [s, e] = TwoSum(L(128.0), -ph);
  const L n = (s + kRoundingShift) - kRoundingShift; // exact below 2^51
  const L d = (s - n) + (e - pl);
  const L h =
      n + Select((n > 0.0) & (d < 0.0), L(-1.0), Select((n < 0.0) & (d > 0.0), L(1.0), L(0.0)));
  // Held within the limits, NaN at the upper one (a lane in doubt, but a height still).
  height = Select(NotGreater(L(kHeightLimit), h), L(kHeightLimit),
                  Select(h < -kHeightLimit, L(-kHeightLimit), h));
  return IsNotFinite(s) | (Abs(s) > 2.0 * kHeightLimit) |
         ((n != 0.0) & NotGreater(Abs(d), (Abs(ph) + Abs(s)) * 0x1p-62));
}

// The height where FastHeight is in doubt, from the extended computation.
int LiteralHeight(double level) {
  using analysis::Extended;
  const Extended height = Extended(128.0) - Extended(kBarScale) * Extended(level);
  if (height.IsNaN()) {
    return -1;
  }
  const Extended limit(kHeightLimit);
  return static_cast<int>(std::clamp(height, -limit, limit).Truncate());
}

} // namespace

int ColumnHeight(double level) {
  int height;
  HeightsOfLevels(&level, 1, &height);
  return height;
}

void HeightsOfLevels(const double *levels, int count, int *heights) {
  InLanes(count, [&](auto lanes, int first) VIREO_KERNEL_LAMBDA {
    using L = typename decltype(lanes)::type;
    L level, height;
    Load(levels + first, level);
    const auto doubt = FastHeight(level, height);
    for (int lane = 0; lane < kWidth<L>; ++lane) {
      heights[first + lane] = static_cast<int>(At(height, lane));
    }
    RedoDoubtfulLanes(doubt, [&](int lane) VIREO_KERNEL_LAMBDA {
      heights[first + lane] = LiteralHeight(levels[first + lane]);
    });
  });
}

int BarEntry(int h) {
  return std::min(h, kFullBar);
}

void DrawSpectrumColumn(Canvas &canvas, const Palette &palette, int x, int h) {
  if (h < 0) {
    return;
  }
  canvas.SetPenColor(palette[BarEntry(h)]);
  canvas.VerticalLine(x, h >= kFullBar ? kPlotTop : kPlotBottom - h, kPlotBottom);
}

namespace {

// to[j] = StrongerOf(from[2j], from[2j + 1]) for j = 0 … count - 1, on the lanes of the
// arithmetic path: each lane reads its pair before any lane writes, so `to` may be `from`.
void FoldPairs(const double *from, double *to, int count) {
  InLanes(count, [&](auto lanes, int first) VIREO_KERNEL_LAMBDA {
    using L = typename decltype(lanes)::type;
    L a, b;
    LoadPairs(from + 2 * first, a, b);
    Store(to + first, Select(a < b, a, b));
  });
}

} // namespace

void ColumnLevels(const analysis::BinValues &binLevels, int first, int columns, int binsPerColumn,
                  double *levels) {
  const double *const bins = binLevels.data() + first;
  if (binsPerColumn == 1) {
    std::copy(bins, bins + columns, levels);
    return;
  }
  // Balanced tree of pairs within each column: (0,1) (2,3) ... first, then the pairs of those
  // results. The columns lie side by side and hold a power of two of bins, so each round folds
  // the adjacent pairs of the whole run, and column c's result ends up in entry c.
  FoldPairs(bins, levels, columns * binsPerColumn / 2);
  for (int width = binsPerColumn / 2; width > 1; width /= 2) {
    FoldPairs(levels, levels, columns * width / 2);
  }
}

namespace {

// The bins a plot shows: kPlotColumns columns of z bins from bin `first` on.
struct ShownBins {
  int first;
  int z;
};

ShownBins BinsOfView(int viewOffset, int binsPerColumn) {
  const int z = static_cast<int>(
      std::bit_floor(static_cast<unsigned>(std::clamp(binsPerColumn, 1, kMaxBinsPerColumn))));
  return {std::clamp(viewOffset, 0, analysis::kFrameLength - kPlotColumns * z), z};
}

} // namespace

int ShownBinsEnd(int viewOffset, int binsPerColumn) {
  const ShownBins shown = BinsOfView(viewOffset, binsPerColumn);
  return shown.first + kPlotColumns * shown.z;
}

ColumnHeights SpectrumHeights(const analysis::BinValues &binLevels, int viewOffset,
                              int binsPerColumn) {
  const auto [first, z] = BinsOfView(viewOffset, binsPerColumn);
  std::array<double, kPlotColumns * kMaxBinsPerColumn> levels;
  ColumnLevels(binLevels, first, kPlotColumns, z, levels.data());
  ColumnHeights heights;
  HeightsOfLevels(levels.data(), kPlotColumns, heights.data());
  return heights;
}

void DrawSpectrumColumns(Canvas &canvas, const Palette &palette, const ColumnHeights &heights) {
  canvas.SetBrushColor(kPlotGrey);
  canvas.FillRect(kPlotAreaRect);
  for (int c = 0; c < kPlotColumns; ++c) {
    DrawSpectrumColumn(canvas, palette, kPlotLeft + c, heights[c]);
  }
}

void DrawSpectrum(Canvas &canvas, const Palette &palette, const analysis::BinValues &binLevels,
                  int viewOffset, int binsPerColumn) {
  DrawSpectrumColumns(canvas, palette, SpectrumHeights(binLevels, viewOffset, binsPerColumn));
}

} // namespace display
