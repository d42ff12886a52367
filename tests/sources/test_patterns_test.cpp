#include "sources/test_patterns.h"

#include "analysis/fft.h"
#include "analysis/frame_scaling.h"

#include <gtest/gtest.h>
#include <mpfr.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <vector>

namespace sources {
namespace {

using analysis::kFrameLength;
using analysis::TimeFrame;

// A frame full of a value no pattern produces, to show that every sample is written.
TimeFrame Stale() {
  TimeFrame frame;
  frame.fill(-7.0f);
  return frame;
}

std::vector<int> PositionsOfOnes(const TimeFrame &frame) {
  std::vector<int> ones;
  for (int i = 0; i < kFrameLength; ++i) {
    if (frame[i] == 1.0f) {
      ones.push_back(i);
    } else {
      EXPECT_EQ(frame[i], 0.0f) << "at " << i;
    }
  }
  return ones;
}

bool AllZero(const TimeFrame &frame) {
  return std::all_of(frame.begin(), frame.end(), [](float x) { return x == 0.0f; });
}

class PatternSpectrumTest : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    analysis::BuildBitReverseTable();
    analysis::BuildTwiddleTables();
  }

  // The strongest of the displayed bins 0 … 2047 after the frame pass at gain 1.
  static int PeakBin(TimeFrame frame) {
    analysis::ScaleFrame(frame, 1.0, false);
    analysis::SpectrumFrame spectrum;
    analysis::ComputeFFT(frame, spectrum);
    int peak = 0;
    double peakPower = -1;
    for (int k = 0; k < kFrameLength / 2; ++k) {
      const double power = std::hypot(spectrum[2 * k], spectrum[2 * k + 1]);
      if (power > peakPower) {
        peak = k;
        peakPower = power;
      }
    }
    return peak;
  }
};

TEST(ZeroPatternTest, OverwritesEverySampleWithZero) {
  TimeFrame frame = Stale();
  MakeZero(frame);
  EXPECT_TRUE(AllZero(frame));
}

TEST(SinePatternTest, HasKPeriodsPerFrameStartingAtZero) {
  TimeFrame frame = Stale();
  MakeSine(frame, 1);
  EXPECT_EQ(frame[0], 0.0f);
  EXPECT_EQ(frame[512], static_cast<float>(std::sqrt(0.5)));
  EXPECT_EQ(frame[1024], 1.0f);
  EXPECT_EQ(frame[3072], -1.0f);
  EXPECT_NEAR(frame[2048], 0.0f, 1e-15);

  MakeSine(frame, 2);
  EXPECT_EQ(frame[256], static_cast<float>(std::sqrt(0.5)));
  EXPECT_EQ(frame[512], 1.0f);
  EXPECT_EQ(frame[1536], -1.0f);
}

// The sine of the sine patterns as defined: the angle RN53(RN64(RN64(i × step) × k)), its sine
// correctly rounded to 64 bits (MPFR), then the patterns' roundings.
struct LiteralSine {
  float sine;   // RN24 of the 64-bit sine
  double value; // RN53 of it, for the rectified sines
};

LiteralSine Literal(int i, double step, std::int32_t k) {
  MPFR_DECL_INIT(x, 64);
  mpfr_set_si(x, i, MPFR_RNDN);
  mpfr_mul_d(x, x, step, MPFR_RNDN);
  mpfr_mul_si(x, x, k, MPFR_RNDN);
  mpfr_set_d(x, mpfr_get_d(x, MPFR_RNDN), MPFR_RNDN);
  mpfr_sin(x, x, MPFR_RNDN);
  return {mpfr_get_flt(x, MPFR_RNDN), mpfr_get_d(x, MPFR_RNDN)};
}

constexpr double kSineStep = 0.0015339807878856412;
constexpr double kDetunedSineStep = 0.0015355147686735267;

// FNV-1a over the bytes of a frame.
std::uint64_t Hash(const TimeFrame &frame, std::uint64_t h) {
  const auto *bytes = reinterpret_cast<const unsigned char *>(frame.data());
  for (std::size_t i = 0; i < sizeof frame; ++i) {
    h = (h ^ bytes[i]) * 0x100000001b3u;
  }
  return h;
}

// Parameters of the run and beyond it, some whose samples the fast code leaves to the exact
// sine (detuned 1741 and 4071, sine 9193), every sample of every sine pattern against MPFR.
TEST(SinePatternTest, SineVariantsEqualTheDefinitionBitForBit) {
  const std::uint64_t exactBefore = ExactSineCount();
  for (std::int32_t k :
       {0,    1,    2,    3,    100,  512,  1000,  1741, 2047,  2048,      2049,     3000,
        4000, 4071, 4095, 4096, 4097, 9193, 65536, -1,   -4000, INT32_MAX, INT32_MIN}) {
    TimeFrame sine, detuned, half, full;
    MakeSine(sine, k);
    MakeDetunedSine(detuned, k);
    MakeHalfWaveSine(half, k);
    MakeFullWaveSine(full, k);
    for (int i = 0; i < kFrameLength; ++i) {
      const LiteralSine exact = Literal(i, kSineStep, k);
      const float expected[] = {exact.sine, Literal(i, kDetunedSineStep, k).sine,
                                exact.value > 0 ? static_cast<float>(exact.value) : 0.0f,
                                static_cast<float>(std::fabs(exact.value))};
      const float actual[] = {sine[i], detuned[i], half[i], full[i]};
      ASSERT_EQ(std::memcmp(expected, actual, sizeof expected), 0) << "k " << k << " i " << i;
    }
  }
  EXPECT_GE(ExactSineCount() - exactBefore, 3u);
}

// Every parameter of a run, every sample: the digest was recorded when each of these samples
// had been compared with the definition above, and holds on every machine.
TEST(SinePatternTest, SineVariantsOfEveryParameterKeepTheirDigest) {
  std::uint64_t h = 0xcbf29ce484222325u;
  TimeFrame frame;
  for (std::int32_t k = 0; k <= kFrameLength; ++k) {
    for (auto make : {MakeSine, MakeDetunedSine, MakeHalfWaveSine, MakeFullWaveSine}) {
      make(frame, k);
      h = Hash(frame, h);
    }
  }
  EXPECT_EQ(h, 0x6a3ffa064d3d29beu);
}

TEST(SinePatternTest, AllSineVariantsAreSilentForKZero) {
  for (auto make : {MakeSine, MakeDetunedSine, MakeHalfWaveSine, MakeFullWaveSine}) {
    TimeFrame frame = Stale();
    make(frame, 0);
    EXPECT_TRUE(AllZero(frame));
  }
}

TEST(SinePatternTest, RectifiedSinesFollowTheSine) {
  TimeFrame sine;
  MakeSine(sine, 1);
  TimeFrame half = Stale();
  MakeHalfWaveSine(half, 1);
  TimeFrame full = Stale();
  MakeFullWaveSine(full, 1);

  EXPECT_EQ(half[0], 0.0f);
  for (int i = 1; i < 2048; ++i) {
    ASSERT_GT(half[i], 0.0f) << "at " << i;
    ASSERT_EQ(half[i], sine[i]) << "at " << i;
  }
  // sin(π rounded to double) is a tiny positive number, so sample 2048 is kept.
  EXPECT_EQ(half[2048], sine[2048]);
  for (int i = 2049; i < kFrameLength; ++i) {
    ASSERT_EQ(half[i], 0.0f) << "at " << i;
  }
  for (int i = 0; i < kFrameLength; ++i) {
    ASSERT_EQ(full[i], std::fabs(sine[i])) << "at " << i;
  }
  EXPECT_EQ(full[3072], 1.0f);
}

TEST_F(PatternSpectrumTest, SinePeaksWhereTheParameterPutsIt) {
  TimeFrame frame;
  MakeSine(frame, 4000);
  EXPECT_EQ(PeakBin(frame), 96);
  MakeSine(frame, 100);
  EXPECT_EQ(PeakBin(frame), 100);
  MakeDetunedSine(frame, 1000);
  EXPECT_EQ(PeakBin(frame), 1001);
}

TEST(SquarePatternTest, PulseOfKSamples) {
  TimeFrame frame = Stale();
  std::int32_t k = 1000;
  MakeSquare(frame, k);
  const std::vector<int> ones = PositionsOfOnes(frame);
  ASSERT_EQ(ones.size(), 1000u);
  EXPECT_EQ(ones.back(), 999);
  EXPECT_EQ(k, 1000);

  k = 4095;
  MakeSquare(frame, k);
  EXPECT_EQ(PositionsOfOnes(frame).size(), 4095u);
  EXPECT_EQ(k, 4095);
}

TEST(SquarePatternTest, EdgesOfTheParameterRange) {
  TimeFrame frame = Stale();
  std::int32_t k = 0;
  MakeSquare(frame, k);
  EXPECT_TRUE(AllZero(frame));
  EXPECT_EQ(k, 0);

  k = -5;
  MakeSquare(frame, k);
  EXPECT_TRUE(AllZero(frame));
  EXPECT_EQ(k, -5);

  k = 4096;
  MakeSquare(frame, k);
  EXPECT_EQ(PositionsOfOnes(frame).size(), 4096u);
  EXPECT_EQ(k, 0);

  k = INT32_MAX;
  MakeSquare(frame, k);
  EXPECT_EQ(PositionsOfOnes(frame).size(), 4096u);
  EXPECT_EQ(k, 0);
}

TEST(ImpulseTrainTest, OnesEveryKSamples) {
  TimeFrame frame = Stale();
  std::int32_t k = 1000;
  MakeImpulseTrain(frame, k);
  EXPECT_EQ(PositionsOfOnes(frame), (std::vector<int>{0, 1000, 2000, 3000, 4000}));
  EXPECT_EQ(k, 1000);

  for (std::int32_t wide : {2048, 3000, 4095}) {
    k = wide;
    MakeImpulseTrain(frame, k);
    EXPECT_EQ(PositionsOfOnes(frame), (std::vector<int>{0, wide}));
    EXPECT_EQ(k, wide);
  }
}

TEST(ImpulseTrainTest, EdgesOfTheParameterRange) {
  TimeFrame frame = Stale();
  std::int32_t k = 0;
  MakeImpulseTrain(frame, k);
  EXPECT_EQ(PositionsOfOnes(frame).size(), 4096u);
  EXPECT_EQ(k, 1);

  for (std::int32_t single : {4096, INT32_MAX, -1, INT32_MIN}) {
    k = single;
    MakeImpulseTrain(frame, k);
    EXPECT_EQ(PositionsOfOnes(frame), std::vector<int>{0}) << single;
    EXPECT_EQ(k, single);
  }
}

TEST(NoisePatternTest, FirstFrameOfTheProgramAndItsContinuation) {
  NoiseSeed = 1;
  TimeFrame first = Stale();
  MakeNoise(first);
  EXPECT_EQ(first[0], static_cast<float>(346.0 / 32767));
  EXPECT_EQ(first[1], static_cast<float>(130.0 / 32767));
  EXPECT_EQ(first[2], static_cast<float>(10982.0 / 32767));
  double sum = 0;
  for (float x : first) {
    ASSERT_GE(x, 0.0f);
    ASSERT_LE(x, 1.0f);
    ASSERT_NEAR(x * 32767.0, std::round(x * 32767.0), 1e-3); // 15-bit numbers / 32767
    sum += x;
  }
  EXPECT_NEAR(sum / kFrameLength, 0.5, 0.03);

  TimeFrame second;
  MakeNoise(second);
  EXPECT_NE(second, first);

  NoiseSeed = 1;
  TimeFrame again;
  MakeNoise(again);
  EXPECT_EQ(again, first);
}

// Each sample is r × RN64(1/32767) rounded to 64 bits and then to float (MPFR), for every r:
// 128 frames of the generator draw all 32768 values.
TEST(NoisePatternTest, EveryRandomNumberScalesAtExtendedPrecision) {
  MPFR_DECL_INIT(scale, 64);
  mpfr_set_ui(scale, 1, MPFR_RNDN);
  mpfr_div_ui(scale, scale, 32767, MPFR_RNDN);
  MPFR_DECL_INIT(sample, 64);
  std::vector<bool> drawn(32768);
  NoiseSeed = 1;
  TimeFrame frame;
  for (int f = 0; f < 128; ++f) {
    MakeNoise(frame);
    for (float x : frame) {
      const long r = std::lround(x * 32767.0);
      mpfr_mul_ui(sample, scale, r, MPFR_RNDN);
      ASSERT_EQ(x, mpfr_get_flt(sample, MPFR_RNDN)) << r;
      drawn[r] = true;
    }
  }
  EXPECT_EQ(std::count(drawn.begin(), drawn.end(), true), 32768);
}

TEST(MakePatternTest, DispatchesInListOrder) {
  std::int32_t k = 100;
  TimeFrame expected;
  TimeFrame actual = Stale();

  MakePattern(0, actual, k);
  EXPECT_TRUE(AllZero(actual));
  MakeSine(expected, 100);
  MakePattern(1, actual, k);
  EXPECT_EQ(actual, expected);
  MakeDetunedSine(expected, 100);
  MakePattern(2, actual, k);
  EXPECT_EQ(actual, expected);
  MakeHalfWaveSine(expected, 100);
  MakePattern(3, actual, k);
  EXPECT_EQ(actual, expected);
  MakeFullWaveSine(expected, 100);
  MakePattern(4, actual, k);
  EXPECT_EQ(actual, expected);

  k = 4096;
  MakePattern(5, actual, k);
  EXPECT_EQ(PositionsOfOnes(actual).size(), 4096u);
  EXPECT_EQ(k, 0);
  MakePattern(6, actual, k);
  EXPECT_EQ(PositionsOfOnes(actual).size(), 4096u);
  EXPECT_EQ(k, 1);

  NoiseSeed = 1;
  MakeNoise(expected);
  NoiseSeed = 1;
  MakePattern(7, actual, k);
  EXPECT_EQ(actual, expected);
}

TEST(MakePatternTest, IndexOutsideTheListChangesNothing) {
  for (int index : {-1, kPatternCount, 100}) {
    TimeFrame frame = Stale();
    std::int32_t k = 0;
    const std::uint32_t seed = NoiseSeed;
    MakePattern(index, frame, k);
    EXPECT_EQ(frame, Stale()) << index;
    EXPECT_EQ(k, 0) << index;
    EXPECT_EQ(NoiseSeed, seed) << index;
  }
}

TEST(StepPatternParamTest, CountsUpAndWrapsAfter4096) {
  std::int32_t k = 4000;
  for (int frame = 0; frame < 96; ++frame) {
    StepPatternParam(k);
  }
  EXPECT_EQ(k, 4096);
  StepPatternParam(k);
  EXPECT_EQ(k, 1);

  for (auto [before, after] : {std::pair{0, 1}, {4095, 4096}, {4097, 1}, {INT32_MAX, 1}, {-1, 0}}) {
    k = before;
    StepPatternParam(k);
    EXPECT_EQ(k, after) << before;
  }
}

} // namespace
} // namespace sources
