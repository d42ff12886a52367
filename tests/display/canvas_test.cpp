#include "display/canvas.h"

#include "pixel_checks.h"

#include <gtest/gtest.h>

#include <set>

namespace display {
namespace {

using testing::AllPixels;
using testing::AnyPixel;
using testing::RowsOf;
using testing::Span;

constexpr Color kRed = 0x0000FF;
constexpr Color kBlue = 0xFF0000;
constexpr Color kGrey = 0x333333;
constexpr Color kPaper = 0xFFFFFF;

// A canvas painted white, so that black drawing shows.
Canvas PaperCanvas(int width, int height) {
  Canvas canvas(width, height);
  canvas.SetBrushColor(kPaper);
  canvas.FillRect({0, 0, width, height});
  return canvas;
}

TEST(CanvasTest, StartsBlackWithBlackBrushAndFontSize8) {
  const Canvas canvas(320, 240);
  EXPECT_EQ(canvas.Width(), 320);
  EXPECT_EQ(canvas.Height(), 240);
  EXPECT_TRUE(AllPixels(canvas, {0, 0, 320, 240}, 0x000000));
  EXPECT_EQ(canvas.BrushColor(), 0x000000u);
  EXPECT_EQ(canvas.FontSize(), 8);
  EXPECT_EQ(canvas.Image().format(), QImage::Format_RGB888);
}

TEST(CanvasTest, ColoursAreStoredWithRedInTheLowestByte) {
  Canvas canvas(4, 4);
  canvas.SetPixel(1, 2, 0x123456);
  EXPECT_EQ(canvas.Pixel(1, 2), 0x123456u);
  const QColor stored = canvas.Image().pixelColor(1, 2);
  EXPECT_EQ(stored.red(), 0x56);
  EXPECT_EQ(stored.green(), 0x34);
  EXPECT_EQ(stored.blue(), 0x12);
}

TEST(CanvasTest, FillCoversExactlyTheHalfOpenRectangleAndClips) {
  Canvas canvas(10, 10);
  canvas.SetBrushColor(kRed);
  canvas.FillRect({2, 3, 5, 7});
  for (int y = 0; y < 10; ++y) {
    for (int x = 0; x < 10; ++x) {
      const bool inside = x >= 2 && x < 5 && y >= 3 && y < 7;
      EXPECT_EQ(canvas.Pixel(x, y), inside ? kRed : 0u) << x << "," << y;
    }
  }
  canvas.SetBrushColor(kBlue);
  canvas.FillRect({-5, -5, 1, 1});
  canvas.FillRect({9, 9, 50, 50});
  EXPECT_EQ(canvas.Pixel(0, 0), kBlue);
  EXPECT_EQ(canvas.Pixel(9, 9), kBlue);
  EXPECT_EQ(canvas.Pixel(1, 1), 0u);
  canvas.FillRect({6, 6, 6, 8}); // empty
  EXPECT_EQ(canvas.Pixel(6, 6), 0u);
}

TEST(CanvasTest, OutlineHasPenBorderAndInheritedBrushInside) {
  Canvas canvas = PaperCanvas(12, 12);
  canvas.SetPenColor(kRed);
  canvas.SetBrushColor(kGrey); // left over from earlier drawing
  canvas.Rectangle({2, 3, 8, 10});
  for (int y = 0; y < 12; ++y) {
    for (int x = 0; x < 12; ++x) {
      Color expected = kPaper;
      if (x >= 2 && x <= 7 && y >= 3 && y <= 9) {
        const bool border = x == 2 || x == 7 || y == 3 || y == 9;
        expected = border ? kRed : kGrey;
      }
      EXPECT_EQ(canvas.Pixel(x, y), expected) << x << "," << y;
    }
  }
  EXPECT_EQ(canvas.PenColor(), kRed);
  EXPECT_EQ(canvas.BrushColor(), kGrey);
}

TEST(CanvasTest, OutlineOfOnePixelWidthIsAllBorder) {
  Canvas canvas = PaperCanvas(6, 6);
  canvas.SetPenColor(kRed);
  canvas.Rectangle({2, 1, 3, 5});
  EXPECT_EQ(RowsOf(canvas, 2, kRed), Span(1, 4));
  canvas.Rectangle({4, 4, 4, 6}); // empty: nothing
  EXPECT_EQ(canvas.Pixel(4, 4), kPaper);
}

TEST(CanvasTest, VerticalLineExcludesItsEndPointInBothDirections) {
  Canvas canvas(8, 20);
  canvas.SetPenColor(kRed);
  canvas.VerticalLine(1, 5, 9);
  EXPECT_EQ(RowsOf(canvas, 1, kRed), Span(5, 8));
  canvas.VerticalLine(2, 9, 5);
  EXPECT_EQ(RowsOf(canvas, 2, kRed), Span(6, 9));
  canvas.VerticalLine(3, 7, 7);
  EXPECT_TRUE(RowsOf(canvas, 3, kRed).empty());
}

TEST(CanvasTest, VerticalLineIsClippedToTheSurface) {
  Canvas canvas(8, 20);
  canvas.SetPenColor(kRed);
  canvas.VerticalLine(4, 15, 100);
  EXPECT_EQ(RowsOf(canvas, 4, kRed), Span(15, 19));
  canvas.VerticalLine(5, 3, -100);
  EXPECT_EQ(RowsOf(canvas, 5, kRed), Span(0, 3));
  canvas.VerticalLine(-1, 0, 20);
  canvas.VerticalLine(8, 0, 20);
  EXPECT_TRUE(AllPixels(canvas, {0, 0, 4, 20}, 0x000000));
}

TEST(CanvasTest, DrawingLeavesEarlierCopiesOfThePictureUnchanged) {
  Canvas canvas = PaperCanvas(8, 8);
  const QImage before = canvas.Image();
  canvas.SetBrushColor(kGrey);
  canvas.FillRect({0, 0, 8, 8});
  canvas.SetPenColor(kRed);
  canvas.VerticalLine(3, 0, 8);
  EXPECT_EQ(before.pixel(3, 3), qRgb(255, 255, 255));
  EXPECT_EQ(canvas.Pixel(3, 3), kRed);
  EXPECT_EQ(canvas.Pixel(4, 3), kGrey);
}

TEST(CanvasTest, SetPixelLeavesThePenAndIgnoresPointsOutside) {
  Canvas canvas(4, 4);
  canvas.SetPenColor(kRed);
  canvas.SetPixel(3, 3, kBlue);
  canvas.SetPixel(4, 0, kBlue);
  canvas.SetPixel(0, -1, kBlue);
  EXPECT_EQ(canvas.Pixel(3, 3), kBlue);
  EXPECT_EQ(canvas.PenColor(), kRed);
  EXPECT_TRUE(AllPixels(canvas, {0, 0, 3, 3}, 0x000000));
}

// The cell of "Hg" at (10, 20) on white paper: which pixels changed, and to what.
struct TextCell {
  Rect bounds{1000, 1000, -1, -1};
  std::set<Color> colours;
};

TextCell ChangedCell(const Canvas &canvas) {
  TextCell cell;
  for (int y = 0; y < canvas.Height(); ++y) {
    for (int x = 0; x < canvas.Width(); ++x) {
      if (canvas.Pixel(x, y) != kPaper) {
        cell.bounds = {std::min(cell.bounds.left, x), std::min(cell.bounds.top, y),
                       std::max(cell.bounds.right, x + 1), std::max(cell.bounds.bottom, y + 1)};
        cell.colours.insert(canvas.Pixel(x, y));
      }
    }
  }
  return cell;
}

TEST(CanvasTest, TextCellIsOpaqueInTheBrushWithGlyphsInTheFontColour) {
  Canvas canvas = PaperCanvas(60, 40);
  canvas.SetBrushColor(kBlue);
  canvas.SetFontColor(kRed);
  canvas.TextOut(10, 20, "Hg");
  const TextCell cell = ChangedCell(canvas);
  EXPECT_EQ(cell.bounds.left, 10);
  EXPECT_EQ(cell.bounds.top, 20);
  EXPECT_EQ(cell.bounds.bottom - cell.bounds.top, 10); // 8 points: 10 rows
  EXPECT_GE(cell.bounds.right - cell.bounds.left, 10);
  EXPECT_EQ(cell.colours, (std::set<Color>{kBlue, kRed})); // no blended pixels
  EXPECT_TRUE(AllPixels(canvas, {10, 20, 12, 21}, kBlue));
  EXPECT_EQ(canvas.BrushColor(), kBlue);
  EXPECT_EQ(canvas.FontColor(), kRed);
}

TEST(CanvasTest, LaterTextOverwritesEarlierTextWhereTheyOverlap) {
  Canvas canvas = PaperCanvas(60, 40);
  canvas.SetBrushColor(kBlue);
  canvas.SetFontColor(kRed);
  canvas.TextOut(5, 5, "WWW");
  canvas.SetBrushColor(kGrey);
  canvas.TextOut(5, 10, "ii");
  EXPECT_EQ(canvas.Pixel(5, 10), kGrey);
  EXPECT_EQ(canvas.Pixel(5, 5), kBlue);
}

TEST(CanvasTest, LinesEightRowsApartKeepTheirDigitsAndPoints) {
  Canvas alone(40, 30);
  Canvas stacked(40, 30);
  for (Canvas *canvas : {&alone, &stacked}) {
    canvas->SetFontColor(0xFFFFFF);
    canvas->TextOut(0, 0, "0.093");
  }
  stacked.TextOut(0, 8, "sec");
  EXPECT_EQ(alone.Image().copy(0, 0, 40, 8), stacked.Image().copy(0, 0, 40, 8));
  EXPECT_TRUE(AnyPixel(alone, {0, 7, 40, 8}, 0xFFFFFF));   // the point's row
  EXPECT_FALSE(AnyPixel(alone, {0, 8, 40, 30}, 0xFFFFFF)); // nothing for the next line to erase
}

} // namespace
} // namespace display
