#include "display/scales.h"

#include "display/layout.h"
#include "display/plot.h"
#include "display/raw_strip.h"
#include "pixel_checks.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <string>

namespace display {
namespace {

using testing::AllPixels;
using testing::AnyPixel;
using testing::RowsOf;
using testing::Span;

constexpr double k44100FrameTime = 4096.0 / 44100.0;

class ScalesTest : public ::testing::Test {
protected:
  // Where the glyphs of a text at (x, y) lie: letters and digits in the cell's top 8 rows.
  static Rect GlyphArea(int x, int y, int width) { return {x, y, x + width, y + 8}; }

  // Every label: black cell corner at its top left and a pixel of its colour inside.
  void ExpectLevelLabels(bool decibel) {
    for (const LevelLabel &label : LevelLabels(decibel)) {
      EXPECT_TRUE(AllPixels(canvas_, {275, label.top, 277, label.top + 1}, kBlack)) << label.text;
      EXPECT_TRUE(AnyPixel(canvas_, GlyphArea(275, label.top, 40), palette_[label.paletteEntry]))
          << label.text;
    }
  }

  const Palette palette_ = BuildPalette();
  Canvas canvas_{kScreenWidth, kScreenHeight};
};

TEST_F(ScalesTest, DecibelLabels) {
  const std::vector<LevelLabel> labels = LevelLabels(true);
  ASSERT_EQ(labels.size(), 10u);
  for (int i = 0; i < 10; ++i) {
    EXPECT_EQ(labels[i].text, std::to_string(-10 * i) + "dB");
    EXPECT_EQ(labels[i].top, 14 * i + 5);
    EXPECT_EQ(labels[i].paletteEntry, 126 - 14 * i);
  }
}

TEST_F(ScalesTest, PercentLabels) {
  const std::vector<LevelLabel> labels = LevelLabels(false);
  const int tops[] = {133, 120, 107, 94, 81, 69, 56, 43, 30, 17, 5};
  const int entries[] = {0, 12, 25, 38, 50, 63, 76, 88, 101, 114, 126};
  ASSERT_EQ(labels.size(), 11u);
  for (int i = 0; i < 11; ++i) {
    EXPECT_EQ(labels[i].text, std::to_string(i) + "%");
    EXPECT_EQ(labels[i].top, tops[i]) << i;
    EXPECT_EQ(labels[i].paletteEntry, entries[i]) << i;
  }
}

TEST_F(ScalesTest, LegendBoxAndLabelsOfBothScales) {
  for (bool decibel : {true, false}) {
    canvas_.SetBrushColor(kWhite);
    canvas_.FillRect(kWholeSurface);
    canvas_.SetBrushColor(kBlack);
    DrawLevelScale(canvas_, palette_, decibel);
    EXPECT_EQ(RowsOf(canvas_, 318, kBlack), Span(4, 137));
    EXPECT_TRUE(AllPixels(canvas_, {274, 4, 319, 5}, kBlack));
    EXPECT_EQ(canvas_.Pixel(274, 3), kWhite);
    EXPECT_EQ(canvas_.Pixel(319, 50), kWhite);
    EXPECT_EQ(canvas_.Pixel(273, 50), kWhite);
    ExpectLevelLabels(decibel);
    EXPECT_EQ(canvas_.BrushColor(), kBlack);
  }
}

TEST_F(ScalesTest, LegendInsideIsGreyAfterAScaleSwitchAndBlackAtTheNextRun) {
  analysis::FrameResult silence{}; // a frame of zero power
  // A run: frame, scales, one spectrum (which leaves the brush grey).
  DrawPlotFrame(canvas_, palette_);
  DrawLevelScale(canvas_, palette_, true);
  DrawFrequencyAxis(canvas_, palette_, 1, 0, k44100FrameTime);
  analysis::MeasureBins(silence, true, analysis::kFrameLength);
  DrawSpectrum(canvas_, palette_, silence.levels, 0, 1);
  EXPECT_TRUE(AllPixels(canvas_, {315, 5, 318, 137}, kBlack));

  // The scale switched: the legend is redrawn on the grey brush, labels on black.
  DrawLevelScale(canvas_, palette_, false);
  EXPECT_TRUE(AllPixels(canvas_, {315, 5, 318, 137}, kPlotGrey));
  ExpectLevelLabels(false);
  analysis::MeasureBins(silence, false, analysis::kFrameLength);
  DrawSpectrum(canvas_, palette_, silence.levels, 0, 1);

  // The next run starts with the plot frame, which leaves the brush black.
  DrawPlotFrame(canvas_, palette_);
  DrawLevelScale(canvas_, palette_, false);
  EXPECT_TRUE(AllPixels(canvas_, {315, 5, 318, 137}, kBlack));
}

TEST_F(ScalesTest, AxisLabelsAt44100Hz) {
  const char *const narrow[] = {"0", "551", "1102", "1654", "2205", "2756"};
  const char *const whole[] = {"0", "4410", "8820", "13230", "17640", "22050"};
  for (int i = 0; i <= 10; i += 2) {
    EXPECT_EQ(AxisLabel(i, 1, 0, k44100FrameTime), narrow[i / 2]) << i;
    EXPECT_EQ(AxisLabel(i, 8, 0, k44100FrameTime), whole[i / 2]) << i;
  }
  // 5512.5 and 16537.5 Hz: exact halves go to the even neighbour.
  EXPECT_EQ(AxisLabel(0, 1, 512, k44100FrameTime), "5512");
  EXPECT_EQ(AxisLabel(0, 1, 1536, k44100FrameTime), "16538");
  EXPECT_EQ(MaxFrequencyLabel(k44100FrameTime), "22050");
  EXPECT_EQ(FrameTimeLabel(k44100FrameTime), "0.093");
  EXPECT_EQ(MaxFrequencyLabel(4096.0 / 11025.0), "5512");
  EXPECT_EQ(FrameTimeLabel(4096.0 / 11025.0), "0.372");
}

TEST_F(ScalesTest, AxisLabelsForTheOneSecondFallBack) {
  const char *const expected[] = {"0", "51", "102", "154", "205", "256"};
  for (int i = 0; i <= 10; i += 2) {
    EXPECT_EQ(AxisLabel(i, 1, 0, 1.0), expected[i / 2]) << i;
  }
  EXPECT_EQ(MaxFrequencyLabel(1.0), "2048");
  EXPECT_EQ(FrameTimeLabel(1.0), "1.000");
}

TEST_F(ScalesTest, NumbersKeepTheDecimalPointUnderACommaLocale) {
  const std::string saved = std::setlocale(LC_NUMERIC, nullptr);
  if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8") == nullptr &&
      std::setlocale(LC_NUMERIC, "de_DE.utf8") == nullptr) {
    GTEST_SKIP() << "no de_DE locale on this machine";
  }
  char probe[16];
  std::snprintf(probe, sizeof probe, "%.1f", 0.5);
  const std::string frameTime = FrameTimeLabel(k44100FrameTime);
  const std::string label = AxisLabel(2, 1, 0, k44100FrameTime);
  std::setlocale(LC_NUMERIC, saved.c_str());
  EXPECT_EQ(std::string(probe), "0,5"); // the locale did take effect
  EXPECT_EQ(frameTime, "0.093");
  EXPECT_EQ(label, "551");
}

TEST_F(ScalesTest, AxisTicksLabelsAndInfoPanel) {
  DrawFrequencyAxis(canvas_, palette_, 1, 0, k44100FrameTime);
  for (int x : {17, 68, 119, 170, 221, 273}) {
    EXPECT_EQ(RowsOf(canvas_, x, kWhite).front(), 137) << x;
    EXPECT_EQ(canvas_.Pixel(x, 138), kWhite) << x;
    EXPECT_EQ(canvas_.Pixel(x, 136), kBlack) << x;
    EXPECT_EQ(canvas_.Pixel(x, 139), kBlack) << x;
  }
  EXPECT_TRUE(AllPixels(canvas_, {18, 137, 68, 139}, kBlack));
  for (int x : {8, 59, 110, 161, 212, 264, 298}) {
    EXPECT_TRUE(AnyPixel(canvas_, GlyphArea(x, 140, 7), kWhite)) << x;
  }
  for (int y : {152, 160, 182, 190}) {
    EXPECT_TRUE(AnyPixel(canvas_, GlyphArea(283, y, 20), kWhite)) << y;
  }
  EXPECT_TRUE(AnyPixel(canvas_, GlyphArea(310, 168, 10), kWhite));
  EXPECT_TRUE(AllPixels(canvas_, {0, 0, 320, 137}, kBlack)); // the plot is left alone
}

TEST_F(ScalesTest, RawDataAreaFramesTheWholeStripAndErasesIt) {
  analysis::TimeFrame samples;
  samples.fill(20.0f / 32768);
  DrawRawStrip(canvas_, samples);
  DrawFrequencyAxis(canvas_, palette_, 8, 0, k44100FrameTime);

  EXPECT_TRUE(AllPixels(canvas_, kRawStripRect, kBlack));
  const Color frame = palette_[93];
  EXPECT_EQ(RowsOf(canvas_, 281, frame), Span(152, 184));
  EXPECT_TRUE(AllPixels(canvas_, {30, 152, 282, 153}, frame));
  EXPECT_TRUE(AllPixels(canvas_, {24, 184, 282, 185}, frame));
  EXPECT_EQ(canvas_.Pixel(24, 155), frame);
  EXPECT_EQ(canvas_.Pixel(282, 170), kBlack);
  for (const auto &[x, y] : {std::pair{0, 152}, std::pair{0, 160}, std::pair{16, 178}}) {
    EXPECT_TRUE(AnyPixel(canvas_, GlyphArea(x, y, 7), palette_[255])) << x << "," << y;
  }
  EXPECT_EQ(canvas_.BrushColor(), kBlack);
}

} // namespace
} // namespace display
