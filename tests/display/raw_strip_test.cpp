#include "display/raw_strip.h"

#include "display/layout.h"
#include "pixel_checks.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace display {
namespace {

using testing::AllPixels;
using testing::RowsOf;
using testing::Span;

TEST(RawStripTest, ColumnRowsFollowTheValueTable) {
  struct Case {
    int value;
    std::vector<int> whiteRows;
  };
  const Case cases[] = {
      {1, {}},
      {2, {168}},
      {3, Span(167, 168)},
      {14, Span(156, 168)},
      {15, Span(153, 167)},
      {16, Span(153, 167)},
      {1000, Span(153, 167)},
      {-1, {169}},
      {-14, Span(169, 182)},
      {-15, Span(169, 183)},
      {-16, Span(169, 183)},
      {-1000, Span(169, 183)},
  };
  for (const Case &c : cases) {
    Canvas canvas(kScreenWidth, kScreenHeight);
    canvas.SetPenColor(kWhite);
    DrawRawColumn(canvas, 100, c.value);
    EXPECT_EQ(RowsOf(canvas, 100, kWhite), c.whiteRows) << "value " << c.value;
    EXPECT_TRUE(AllPixels(canvas, {0, 0, 100, kScreenHeight}, kBlack)) << "value " << c.value;
    EXPECT_TRUE(AllPixels(canvas, {101, 0, kScreenWidth, kScreenHeight}, kBlack));
  }
}

TEST(RawStripTest, ZeroMarksTheTwoCentreRowsGrey) {
  Canvas canvas(kScreenWidth, kScreenHeight);
  canvas.SetPenColor(kWhite);
  DrawRawColumn(canvas, 100, 0);
  EXPECT_EQ(RowsOf(canvas, 100, kZeroGrey), Span(168, 169));
  EXPECT_TRUE(RowsOf(canvas, 100, kWhite).empty());
  EXPECT_EQ(canvas.PenColor(), kWhite);
}

TEST(RawStripTest, ValueTruncatesTowardZeroAndNeverOverflows) {
  EXPECT_EQ(RawColumnValue(-9.5f / 32768), -9);
  EXPECT_EQ(RawColumnValue(9.99f / 32768), 9);
  EXPECT_EQ(RawColumnValue(1.0f / 32768), 1);
  EXPECT_EQ(RawColumnValue(0.5f / 2048), 8); // a source sample of 0.5 at gain 1
  EXPECT_EQ(RawColumnValue(0.0f), 0);
  EXPECT_GE(RawColumnValue(3.0e38f), 15);
  EXPECT_LE(RawColumnValue(-std::numeric_limits<float>::infinity()), -15);
  EXPECT_EQ(RawColumnValue(std::numeric_limits<float>::quiet_NaN()), 0);
}

TEST(RawStripTest, StripClearsAndDrawsAllColumnsInsideItsRectangle) {
  Canvas canvas(kScreenWidth, kScreenHeight);
  canvas.SetBrushColor(0x0000FF);
  canvas.FillRect(kWholeSurface);
  analysis::TimeFrame samples{};
  for (int k = 0; k < 256; ++k) {
    samples[16 * k] = (k % 2 == 0 ? 20.0f : -20.0f) / 32768;
  }
  DrawRawStrip(canvas, samples);
  EXPECT_EQ(RowsOf(canvas, 25, kWhite), Span(153, 167));
  EXPECT_EQ(RowsOf(canvas, 26, kWhite), Span(169, 183));
  EXPECT_EQ(RowsOf(canvas, 280, kWhite), Span(169, 183)); // sample 4080, the last column
  EXPECT_TRUE(AllPixels(canvas, {25, 168, 281, 169}, kBlack));
  // Nothing outside the strip's rectangle changes.
  EXPECT_TRUE(AllPixels(canvas, {0, 0, 320, 153}, 0x0000FF));
  EXPECT_TRUE(AllPixels(canvas, {281, 153, 320, 184}, 0x0000FF));
  EXPECT_TRUE(AllPixels(canvas, {0, 153, 25, 184}, 0x0000FF));
  EXPECT_TRUE(AllPixels(canvas, {0, 184, 320, 240}, 0x0000FF));
  EXPECT_EQ(canvas.BrushColor(), kBlack);
}

} // namespace
} // namespace display
