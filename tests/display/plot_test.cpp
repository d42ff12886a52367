#include "display/plot.h"

#include "display/layout.h"
#include "pixel_checks.h"

#include <gtest/gtest.h>
#include <mpfr.h>

#include <cmath>
#include <limits>
#include <vector>

namespace display {
namespace {

using testing::AllPixels;
using testing::AnyPixel;
using testing::RowsOf;
using testing::Span;

class SpectrumPlotTest : public ::testing::Test {
protected:
  // Puts a bin of the given magnitude (real part only) into the spectrum.
  void SetBin(int bin, float magnitude) { spectrum_[2 * bin] = magnitude; }

  // The levels of the spectrum in the scale `decibel`, as a frame pass measures them.
  const analysis::BinValues &Levels(bool decibel) {
    result_.spectrum = spectrum_;
    result_.measured = 0;
    analysis::MeasureBins(result_, decibel, analysis::kFrameLength);
    return result_.levels;
  }

  const Palette palette_ = BuildPalette();
  Canvas canvas_{kScreenWidth, kScreenHeight};
  analysis::SpectrumFrame spectrum_{};
  analysis::FrameResult result_{};
};

// A bin of magnitude 0.05 is 26.02 dB down: 128 - 1.4 * 26.02 = 91.57, a bar of 91 pixels.
constexpr float kMidMagnitude = 0.05f;
constexpr int kMidHeight = 91;

TEST_F(SpectrumPlotTest, PlotFrameBorderAndInsideOnTheFirstRun) {
  DrawPlotFrame(canvas_, palette_);
  const Color frame = palette_[1];
  EXPECT_EQ(RowsOf(canvas_, 273, frame), Span(8, 137));
  EXPECT_EQ(RowsOf(canvas_, 16, frame), Span(10, 137)); // rows 0-9 carry the title's cell
  EXPECT_TRUE(AllPixels(canvas_, {16, 137, 274, 138}, frame));
  EXPECT_TRUE(AllPixels(canvas_, {17, 10, 273, 137}, kBlack)); // inside: brush at start-up
  EXPECT_TRUE(AllPixels(canvas_, {0, 10, 16, 192}, kBlack));
  EXPECT_TRUE(AllPixels(canvas_, {274, 0, 320, 192}, kBlack));
  EXPECT_EQ(canvas_.BrushColor(), kBlack);
}

TEST_F(SpectrumPlotTest, PlotFrameInsideTakesTheGreyLeftByTheSpectrum) {
  DrawSpectrum(canvas_, palette_, Levels(true), 0, 1);
  DrawPlotFrame(canvas_, palette_);
  EXPECT_TRUE(AllPixels(canvas_, {17, 10, 273, 137}, kPlotGrey));
}

TEST_F(SpectrumPlotTest, TitleAndBannerCellsAreBlackWithWhiteText) {
  canvas_.SetBrushColor(kPlotGrey);
  canvas_.FillRect(kWholeSurface);
  DrawPlotFrame(canvas_, palette_);
  EXPECT_TRUE(AllPixels(canvas_, {16, 0, 18, 1}, kBlack));
  EXPECT_TRUE(AnyPixel(canvas_, {16, 0, 273, 10}, kWhite));
  EXPECT_TRUE(AllPixels(canvas_, {0, 192, 2, 193}, kBlack));
  EXPECT_TRUE(AnyPixel(canvas_, {0, 192, 283, 202}, kWhite));
  EXPECT_FALSE(AnyPixel(canvas_, {283, 192, 320, 202}, kWhite)); // clear of the info panel
  EXPECT_EQ(canvas_.Pixel(15, 0), kPlotGrey);
}

TEST(ColumnHeightTest, TruncatesTowardZero) {
  EXPECT_EQ(ColumnHeight(0.0), 128);
  EXPECT_EQ(ColumnHeight(999.0), -1270);
  EXPECT_EQ(ColumnHeight(90.31), 1); // linear mode, magnitude 0
  EXPECT_EQ(ColumnHeight(91.4), 0);  // 0.04
  EXPECT_EQ(ColumnHeight(92.0), 0);  // -0.8
  EXPECT_EQ(ColumnHeight(92.2), -1); // -1.08
  EXPECT_EQ(ColumnHeight(-812.8), 1265);
}

// Levels on both sides of every height from -1300 to 130 and a double step away, against the
// definition in MPFR: truncate(RN64(128 - RN64(1.4 × level))), held within ±10^6.
TEST(ColumnHeightTest, HeightsNextToEveryStepEqualTheExtendedDefinition) {
  MPFR_DECL_INIT(height, 64);
  for (int n = -1300; n <= 130; ++n) {
    const double boundary = (128.0 - n) / 1.4;
    for (double level : {std::nextafter(boundary, -1e9), boundary, std::nextafter(boundary, 1e9),
                         boundary - 1e-13, boundary + 1e-13}) {
      mpfr_set_d(height, 1.4, MPFR_RNDN);
      mpfr_mul_d(height, height, level, MPFR_RNDN);
      mpfr_ui_sub(height, 128, height, MPFR_RNDN);
      EXPECT_EQ(ColumnHeight(level), mpfr_get_si(height, MPFR_RNDZ)) << level;
    }
  }
}

// The lanes of the arithmetic path (a run of levels), against ColumnHeight one level at a time:
// next to every step and beyond every bar, with the lanes in doubt among them.
TEST(ColumnHeightTest, HeightsOfLevelsEqualColumnHeight) {
  const double inf = std::numeric_limits<double>::infinity();
  std::vector<double> levels = {0, 999, 1e300, -1e300, inf, -inf, std::nan(""), 5e-324};
  for (int n = -1300; n <= 130; ++n) {
    const double boundary = (128.0 - n) / 1.4;
    levels.insert(levels.end(), {std::nextafter(boundary, -1e9), boundary, boundary + 1e-13});
  }
  std::vector<int> heights(levels.size());
  HeightsOfLevels(levels.data(), static_cast<int>(levels.size()), heights.data());
  for (std::size_t i = 0; i < levels.size(); ++i) {
    EXPECT_EQ(heights[i], ColumnHeight(levels[i])) << levels[i];
  }
}

TEST(ColumnHeightTest, ExtremeLevelsStayInRange) {
  const double inf = std::numeric_limits<double>::infinity();
  EXPECT_GE(ColumnHeight(-1e300), 127);
  EXPECT_GE(ColumnHeight(-inf), 127);
  EXPECT_LT(ColumnHeight(1e300), 0);
  EXPECT_LT(ColumnHeight(inf), 0);
  EXPECT_LT(ColumnHeight(std::numeric_limits<double>::quiet_NaN()), 0);
}

TEST_F(SpectrumPlotTest, ColumnsOfNoHeightDrawNothing) {
  for (int h : {0, -1, -1270}) {
    DrawSpectrumColumn(canvas_, palette_, 40, h);
  }
  EXPECT_TRUE(AllPixels(canvas_, kWholeSurface, kBlack));
}

TEST_F(SpectrumPlotTest, ColumnHeightsAtTheFullBarBoundary) {
  struct Case {
    int h;
    int topRow;
    int entry;
  };
  for (const Case &c : {Case{1, 136, 1}, Case{126, 11, 126}, Case{127, 9, 127}, Case{128, 9, 127},
                        Case{1265, 9, 127}}) {
    Canvas canvas(kScreenWidth, kScreenHeight);
    DrawSpectrumColumn(canvas, palette_, 40, c.h);
    EXPECT_EQ(RowsOf(canvas, 40, palette_[c.entry]), Span(c.topRow, 136)) << "h " << c.h;
    EXPECT_TRUE(AllPixels(canvas, {0, 0, 40, kScreenHeight}, kBlack));
    EXPECT_TRUE(AllPixels(canvas, {41, 0, kScreenWidth, kScreenHeight}, kBlack));
  }
}

TEST_F(SpectrumPlotTest, ZeroSpectrumShowsOnlyGreyInDecibelsAndOnePixelBarsInLinear) {
  DrawSpectrum(canvas_, palette_, Levels(true), 0, 8);
  EXPECT_TRUE(AllPixels(canvas_, kPlotAreaRect, kPlotGrey));
  EXPECT_EQ(canvas_.BrushColor(), kPlotGrey);

  DrawSpectrum(canvas_, palette_, Levels(false), 0, 8);
  EXPECT_TRUE(AllPixels(canvas_, {17, 136, 273, 137}, palette_[1]));
  EXPECT_TRUE(AllPixels(canvas_, {17, 9, 273, 136}, kPlotGrey));
  EXPECT_TRUE(AllPixels(canvas_, {0, 0, 17, kScreenHeight}, kBlack)); // only the plot area
  EXPECT_TRUE(AllPixels(canvas_, {273, 0, kScreenWidth, kScreenHeight}, kBlack));
}

TEST_F(SpectrumPlotTest, EightBinsPerColumnShowTheStrongest) {
  for (int bin = 0; bin < 2048; ++bin) {
    SetBin(bin, kMidMagnitude);
  }
  SetBin(13, 1.0f); // column 1 holds bins 8-15
  DrawSpectrum(canvas_, palette_, Levels(true), 0, 8);
  EXPECT_EQ(RowsOf(canvas_, 18, palette_[127]), Span(9, 136));
  EXPECT_EQ(RowsOf(canvas_, 17, palette_[kMidHeight]), Span(137 - kMidHeight, 136));
  EXPECT_EQ(RowsOf(canvas_, 19, palette_[kMidHeight]), Span(137 - kMidHeight, 136));
}

TEST_F(SpectrumPlotTest, EveryBinOfAColumnCounts) {
  for (int z : {2, 4, 8}) {
    for (int i = 0; i < z; ++i) {
      spectrum_ = {};
      SetBin(z * 5 + i, 1.0f); // column 5
      DrawSpectrum(canvas_, palette_, Levels(true), 0, z);
      EXPECT_EQ(RowsOf(canvas_, 22, palette_[127]).size(), 128u) << z << " " << i;
      EXPECT_TRUE(AllPixels(canvas_, {17, 9, 22, 137}, kPlotGrey)) << z << " " << i;
      EXPECT_TRUE(AllPixels(canvas_, {23, 9, 273, 137}, kPlotGrey)) << z << " " << i;
    }
  }
}

TEST_F(SpectrumPlotTest, ViewOffsetSelectsTheFirstBinShown) {
  SetBin(512 + 100, 1.0f);
  DrawSpectrum(canvas_, palette_, Levels(true), 512, 1);
  EXPECT_EQ(RowsOf(canvas_, 117, palette_[127]).size(), 128u);
  EXPECT_TRUE(AllPixels(canvas_, {17, 9, 117, 137}, kPlotGrey));
  EXPECT_TRUE(AllPixels(canvas_, {118, 9, 273, 137}, kPlotGrey));
}

TEST_F(SpectrumPlotTest, OffsetsBeyondTheSpectrumAreHeldInside) {
  SetBin(4095, 1.0f);
  SetBin(0, 1.0f);
  DrawSpectrum(canvas_, palette_, Levels(true), 4000, 8); // shown from bin 2048
  EXPECT_EQ(RowsOf(canvas_, 272, palette_[127]).size(), 128u);
  DrawSpectrum(canvas_, palette_, Levels(true), 1 << 30, 1); // shown from bin 3840
  EXPECT_EQ(RowsOf(canvas_, 272, palette_[127]).size(), 128u);
  DrawSpectrum(canvas_, palette_, Levels(true), -50, 1); // shown from bin 0
  EXPECT_EQ(RowsOf(canvas_, 17, palette_[127]).size(), 128u);
  EXPECT_TRUE(AllPixels(canvas_, {18, 9, 273, 137}, kPlotGrey));
}

} // namespace
} // namespace display
