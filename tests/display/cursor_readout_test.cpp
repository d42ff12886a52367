#include "display/cursor_readout.h"

#include <gtest/gtest.h>

namespace display {
namespace {

constexpr double kRate = 44100;
constexpr double kFrameTime = 4096 / kRate;

// The readout with only the frequency offset: at x = 17 with a frame time of 1 s the frequency
// is exactly `hertz`.
std::optional<std::string> ReadoutAt(int hertz) {
  return CursorReadout(17, 60, kRate, 1.0, hertz, 1);
}

TEST(CursorReadoutTest, ColumnsAtFullZoom) {
  const std::pair<int, const char *> cases[] = {
      {17, "   0.0Hz:"},
      {18, "  10.8Hz:"},
      {58, " 441.4Hz: オクターブ4 ラ"},
      // 2756.25 is an exact half: it goes to the even neighbour.
      {273, "2756.2Hz: オクターブ7 ファ"},
  };
  for (const auto &[x, expected] : cases) {
    EXPECT_EQ(CursorReadout(x, 60, kRate, kFrameTime, 0, 1), expected) << "x " << x;
  }
}

TEST(CursorReadoutTest, BinsPerColumnAndViewOffsetMoveTheFrequency) {
  // Above note 95 only the note name remains; five digits leave no leading space.
  EXPECT_EQ(CursorReadout(273, 137, kRate, kFrameTime, 0, 8), "22050.0Hz: ファ");
  // 2 × 10.77 Hz for one column plus 512 bins at 44100 / 4096 Hz each.
  EXPECT_EQ(CursorReadout(18, 9, kRate, kFrameTime, 512, 2), "5534.0Hz: オクターブ8 ファ");
}

TEST(CursorReadoutTest, NoteNamesAndOctaves) {
  EXPECT_EQ(ReadoutAt(440), " 440.0Hz: オクターブ4 ラ");
  EXPECT_EQ(ReadoutAt(466), " 466.0Hz: オクターブ4 ラ＃");
  EXPECT_EQ(ReadoutAt(277), " 277.0Hz: オクターブ4 ド#");
  // Note 95 is the last with an octave, note 96 has only its name.
  EXPECT_EQ(ReadoutAt(8133), "8133.0Hz: オクターブ8 シ");
  EXPECT_EQ(ReadoutAt(8134), "8134.0Hz: ド");
  EXPECT_EQ(NoteNumber(8133.68), 95);
  EXPECT_EQ(NoteNumber(8133.69), 96);
}

TEST(CursorReadoutTest, LowFrequenciesTruncateTowardZero) {
  // From about 29.99 Hz to 33.66 Hz the note is 0, octave 1.
  EXPECT_EQ(ReadoutAt(30), "  30.0Hz: オクターブ1 ド");
  EXPECT_EQ(NoteNumber(29.98), -1);
  EXPECT_EQ(NoteNumber(29.99), 0);
  EXPECT_EQ(NoteNumber(33.66), 0);
  EXPECT_EQ(NoteNumber(33.67), 1);
  // Negative notes show no octave, and a name only where the remainder is 0.
  EXPECT_EQ(ReadoutAt(29), "  29.0Hz:");
  EXPECT_EQ(ReadoutAt(16), "  16.0Hz:");
  EXPECT_EQ(ReadoutAt(15), "  15.0Hz: ド");
  EXPECT_EQ(NoteNumber(15), -12);
}

TEST(CursorReadoutTest, FrequenciesWithoutNote) {
  EXPECT_EQ(NoteNumber(0), -1);
  EXPECT_EQ(NoteNumber(-10), -1);
  // A negative sampling frequency gives negative frequencies and no note.
  EXPECT_EQ(CursorReadout(18, 60, -kRate, -kFrameTime, 0, 1), " -10.8Hz:");
}

TEST(CursorReadoutTest, ActiveAreaBoundsAreInclusive) {
  EXPECT_TRUE(CursorReadout(17, 9, kRate, kFrameTime, 0, 1));
  EXPECT_TRUE(CursorReadout(273, 137, kRate, kFrameTime, 0, 1));
  const std::pair<int, int> outside[] = {{16, 60}, {274, 60}, {100, 8}, {100, 138}, {-1, -1}};
  for (const auto &[x, y] : outside) {
    EXPECT_FALSE(CursorReadout(x, y, kRate, kFrameTime, 0, 1)) << x << ", " << y;
  }
}

} // namespace
} // namespace display
