#include "analysis/frame_scaling.h"

#include "analysis/fft.h"
#include "analysis/level.h"
#include "test_signals.h"

#include <gtest/gtest.h>

#include <cmath>

namespace analysis {
namespace {

TimeFrame Filled(float value) {
  TimeFrame frame;
  frame.fill(value);
  return frame;
}

TEST(ScaleFrameTest, UnitGainWithoutWindowDividesEverySampleBy2048Exactly) {
  TimeFrame frame;
  for (int i = 0; i < kFrameLength; ++i) {
    frame[i] = (i % 2 ? -1.0f : 1.0f) * (0.5f + i / 8192.0f);
  }
  const TimeFrame original = frame;
  ScaleFrame(frame, 1.0, false);
  EXPECT_EQ(frame[0], 0.000244140625f);
  for (int i = 0; i < kFrameLength; ++i) {
    ASSERT_EQ(frame[i], original[i] / 2048) << "at " << i;
  }

  // A source that delivers nothing leaves the scaled frame to be scaled again.
  ScaleFrame(frame, 1.0, false);
  for (int i = 0; i < kFrameLength; ++i) {
    ASSERT_EQ(frame[i], original[i] / 2048 / 2048) << "at " << i;
  }
}

TEST(ScaleFrameTest, GainProductIsRoundedOnceFromExtendedPrecision) {
  // 3 × gain needs 55 significant bits. Rounded to double first it would fall exactly halfway
  // between two floats and round to the even one, 0xbceb3e × 2^-32 after scaling; rounded
  // from extended precision it is exact and rounds up.
  TimeFrame frame = Filled(3.0f);
  ScaleFrame(frame, 0x1.f7c8a6aaaaaabp+0, false);
  EXPECT_EQ(frame[0], 0xbceb3f * 0x1p-32f);
  EXPECT_EQ(frame[4095], 0xbceb3f * 0x1p-32f);
}

TEST(ScaleFrameTest, GainMultipliesTheScaledSamples) {
  TimeFrame frame = Filled(0.5f);
  ScaleFrame(frame, 100.0, false);
  EXPECT_EQ(frame[7], 0.0244140625f);
  frame = Filled(-1.0f);
  ScaleFrame(frame, 0.5, false);
  EXPECT_EQ(frame[7], -0x1p-12f);
}

TEST(ScaleFrameTest, WindowIsAHalfPeriodSine) {
  TimeFrame frame = Filled(-0.75f);
  ScaleFrame(frame, 1.0, true);
  EXPECT_EQ(frame[0], 0.0f);
  EXPECT_EQ(frame[2048], -0.75f / 2048);
  EXPECT_FLOAT_EQ(frame[1024], static_cast<float>(-0.75 / 2048 * std::sqrt(0.5)));
  EXPECT_NEAR(frame[4095] / (-0.75f / 2048), 7.669903e-4, 1e-9);
  for (int i = 1; i < kFrameLength; ++i) {
    ASSERT_LT(frame[i], 0.0f) << "at " << i;
  }

  // The window is computed afresh each time, never accumulated in the frame.
  frame = Filled(1.0f);
  ScaleFrame(frame, 2.0, true);
  EXPECT_EQ(frame[2048], 2.0f / 2048);
}

class FramePassTest : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    BuildBitReverseTable();
    BuildTwiddleTables();
  }

  static SpectrumFrame Pass(TimeFrame frame, bool window) {
    ScaleFrame(frame, 1.0, window);
    SpectrumFrame spectrum;
    ComputeFFT(frame, spectrum);
    return spectrum;
  }
};

TEST_F(FramePassTest, FullScaleSineReadsZeroDecibelsWithoutWindow) {
  const SpectrumFrame spectrum = Pass(testing::SineFrame(100, 1), false);
  EXPECT_NEAR(testing::Magnitude(spectrum, 100), 1.0, 1e-6);
  EXPECT_NEAR(testing::Magnitude(spectrum, 3996), 1.0, 1e-6);
  EXPECT_NEAR(BinLevel(spectrum[200], spectrum[201], true), 0.0, 1e-5);
  EXPECT_NEAR(BinLevel(spectrum[200], spectrum[201], false), -812.79, 1e-3);
}

TEST_F(FramePassTest, WindowSpreadsASineOverThreeBins) {
  const SpectrumFrame spectrum = Pass(testing::SineFrame(100, 1), true);
  // The window's mean 2/π and 2/3π beside it, to four places (bin -100 leaks in a little).
  EXPECT_NEAR(testing::Magnitude(spectrum, 100), 0.6366, 5e-5);
  EXPECT_NEAR(testing::Magnitude(spectrum, 99), 0.2122, 5e-5);
  EXPECT_NEAR(testing::Magnitude(spectrum, 101), 0.2122, 5e-5);
  EXPECT_NEAR(BinLevel(spectrum[200], spectrum[201], true), 3.92, 0.005);
  EXPECT_NEAR(BinLevel(spectrum[198], spectrum[199], true), 13.46, 0.005);
  EXPECT_NEAR(BinLevel(spectrum[202], spectrum[203], true), 13.46, 0.005);
}

TEST_F(FramePassTest, ConstantFrameOfOneGivesMagnitudeTwoInBinZero) {
  const SpectrumFrame spectrum = Pass(Filled(1.0f), false);
  EXPECT_EQ(spectrum[0], 2.0f);
  EXPECT_EQ(spectrum[1], 0.0f);
  EXPECT_NEAR(BinLevel(spectrum[0], spectrum[1], true), -6.0206, 1e-4);
}

TEST_F(FramePassTest, ZeroFrameGivesZeroBinsAtTheBottomOfBothScales) {
  const SpectrumFrame spectrum = Pass(Filled(0.0f), true);
  for (int k = 0; k < kFrameLength; ++k) {
    ASSERT_EQ(spectrum[2 * k], 0.0f);
    ASSERT_EQ(spectrum[2 * k + 1], 0.0f);
    ASSERT_EQ(BinLevel(spectrum[2 * k], spectrum[2 * k + 1], true), 999.0);
    ASSERT_EQ(BinLevel(spectrum[2 * k], spectrum[2 * k + 1], false), 90.31);
  }
}

} // namespace
} // namespace analysis
