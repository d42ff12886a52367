#include "analysis/fft.h"

#include "test_signals.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <numbers>
#include <random>

namespace analysis {
namespace {

class FftTest : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    BuildBitReverseTable();
    BuildTwiddleTables();
  }

  static SpectrumFrame Transform(const TimeFrame &input) {
    SpectrumFrame output;
    output.fill(-123.0f); // every element must be overwritten
    ComputeFFT(input, output);
    return output;
  }

  static TimeFrame RandomFrame(unsigned seed) {
    std::mt19937 engine(seed);
    std::uniform_real_distribution<float> sample(-1.0f, 1.0f);
    TimeFrame frame;
    std::generate(frame.begin(), frame.end(), [&] { return sample(engine); });
    return frame;
  }
};

TEST_F(FftTest, BitReverseTableIsTheTwelveBitReversal) {
  const FftTables &tables = FftTables::Get();
  const std::int32_t start[] = {0, 2048, 1024, 3072, 512, 2560, 1536, 3584};
  EXPECT_TRUE(std::equal(std::begin(start), std::end(start), tables.BitReverse.begin()));
  EXPECT_EQ(tables.BitReverse[1], 2048);
  EXPECT_EQ(tables.BitReverse[2048], 1);
  EXPECT_EQ(tables.BitReverse[4095], 4095);
  for (int i = 0; i < kFrameLength; ++i) {
    ASSERT_EQ(tables.BitReverse[tables.BitReverse[i]], i) << "at " << i;
  }
  const auto first = tables.BitReverse;
  BuildBitReverseTable();
  EXPECT_EQ(tables.BitReverse, first);
}

TEST_F(FftTest, TwiddleTablesUseTheSinglePrecisionAngleStep) {
  const FftTables &tables = FftTables::Get();
  EXPECT_EQ(tables.CosTable[0], 1.0);
  EXPECT_EQ(tables.NegSinTable[0], 0.0);
  EXPECT_TRUE(std::signbit(tables.NegSinTable[0]));

  // 1024 steps overshoot π/2 by 1024 × (float step - 2π/4096), so the cosine is that
  // overshoot negated, not 0; rounded to float for the butterfly it stays non-zero.
  const long double overshoot = 13176795 * 0x1p-23L - std::numbers::pi_v<long double> / 2;
  EXPECT_NEAR(tables.CosTable[1024], -4.371139e-8, 1e-14);
  EXPECT_EQ(static_cast<float>(tables.CosTable[1024]), static_cast<float>(-overshoot));
  EXPECT_EQ(static_cast<float>(tables.NegSinTable[1024]), -1.0f);
  EXPECT_EQ(tables.CosTable[2048], -0.9999999999999962);
  // The butterflies take a zero T as exact, which needs every twiddle they use to be 0 or at
  // least 2^-25 in magnitude.
  for (int k = 0; k < kFrameLength / 2; ++k) {
    for (const double twiddle : {tables.CosTable[k], tables.NegSinTable[k]}) {
      const float magnitude = std::fabs(static_cast<float>(twiddle));
      EXPECT_TRUE(magnitude == 0 || magnitude >= 0x1p-25f) << k;
    }
  }

  const auto cosines = tables.CosTable;
  const auto sines = tables.NegSinTable;
  BuildTwiddleTables();
  EXPECT_EQ(tables.CosTable, cosines);
  EXPECT_EQ(tables.NegSinTable, sines);
}

TEST_F(FftTest, UnitImpulseGivesExactlyOneInEveryBin) {
  TimeFrame impulse{};
  impulse[0] = 1.0f;
  const SpectrumFrame spectrum = Transform(impulse);
  for (int k = 0; k < kFrameLength; ++k) {
    ASSERT_EQ(spectrum[2 * k], 1.0f) << "bin " << k;
    ASSERT_EQ(spectrum[2 * k + 1], 0.0f) << "bin " << k;
  }
}

TEST_F(FftTest, ConstantFrameGivesExactlyFrameLengthInBinZeroOnly) {
  TimeFrame ones;
  ones.fill(1.0f);
  const SpectrumFrame spectrum = Transform(ones);
  EXPECT_EQ(spectrum[0], 4096.0f);
  EXPECT_EQ(spectrum[1], 0.0f);
  for (int k = 1; k < kFrameLength; ++k) {
    ASSERT_EQ(spectrum[2 * k], 0.0f) << "bin " << k;
    ASSERT_EQ(spectrum[2 * k + 1], 0.0f) << "bin " << k;
  }
}

TEST_F(FftTest, ScaledSineOnBinHundredAppearsAtHundredAndItsMirror) {
  const SpectrumFrame spectrum = Transform(testing::SineFrame(100, 2.0L / kFrameLength));
  EXPECT_NEAR(spectrum[200], 0.0f, 1e-6);
  EXPECT_NEAR(spectrum[201], -1.0f, 1e-6);
  EXPECT_NEAR(spectrum[2 * 3996], 0.0f, 1e-6);
  EXPECT_NEAR(spectrum[2 * 3996 + 1], 1.0f, 1e-6);
  for (int k = 0; k < kFrameLength; ++k) {
    if (k != 100 && k != 3996) {
      ASSERT_LT(testing::Magnitude(spectrum, k), 1e-6) << "bin " << k;
    }
  }
}

TEST_F(FftTest, RealFramesMatchAnExactDftWithinSinglePrecision) {
  for (unsigned seed : {1u, 2u}) {
    const TimeFrame frame = RandomFrame(seed);
    const SpectrumFrame spectrum = Transform(frame);
    // Bins 0 and 2048 of a real frame are sums of real values only.
    EXPECT_EQ(spectrum[1], 0.0f);
    EXPECT_EQ(spectrum[2 * 2048 + 1], 0.0f);

    // Twelve stages of single-precision rounding, single-precision twiddles and the slightly
    // long angle step: errors grow with log2(4096) and with the frame's energy.
    long double energy = 0;
    for (float x : frame) {
      energy += static_cast<long double>(x) * x;
    }
    const double tolerance = 12 * 2 * FLT_EPSILON * std::sqrt(static_cast<double>(energy));
    const auto reference = testing::ReferenceDft(frame);
    for (int k = 0; k < kFrameLength; ++k) {
      ASSERT_NEAR(spectrum[2 * k], static_cast<double>(reference[k].real()), tolerance)
          << "bin " << k << " seed " << seed;
      ASSERT_NEAR(spectrum[2 * k + 1], static_cast<double>(reference[k].imag()), tolerance)
          << "bin " << k << " seed " << seed;
    }
  }
}

// CTest runs each test in a process of its own: nothing has built the tables before this first
// transform.
TEST(FftTablesTest, TheTransformBuildsItsTablesOnFirstUse) {
  TimeFrame impulse{};
  impulse[1] = 1.0f;
  SpectrumFrame spectrum;
  ComputeFFT(impulse, spectrum);
  // A unit impulse at sample 1: bin 1024 is e^(-jπ/2) through the float angle step, bin 2048 -1.
  EXPECT_EQ(spectrum[2 * 1024 + 1], -1.0f);
  EXPECT_EQ(spectrum[2 * 2048], -1.0f);
}

} // namespace
} // namespace analysis
