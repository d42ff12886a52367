#include "analysis/level.h"

#include "analysis/arithmetic_path.h"
#include "analysis/exact_log.h"
#include "analysis/extended.h"
#include "literal_analysis.h"

#include <gtest/gtest.h>

#include <bit>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <random>
#include <utility>
#include <vector>

namespace analysis {
namespace {

TEST(BinLevelTest, DecibelModeIsAttenuationBelowMagnitudeOne) {
  EXPECT_EQ(BinLevel(1.0, 0.0, true), 0.0);
  EXPECT_EQ(BinLevel(0.0, -1.0, true), 0.0);
  EXPECT_NEAR(BinLevel(0.1f, 0.0, true), 20.0, 1e-6);
  EXPECT_NEAR(BinLevel(3.0, 4.0, true), -13.979400086720377, 1e-12);
  EXPECT_NEAR(BinLevel(-0.5, 0.0, true), 6.020599913279624, 1e-12);
  EXPECT_EQ(BinLevel(0.0, 0.0, true), 999.0);
  EXPECT_EQ(BinLevel(-0.0, 0.0, true), 999.0);
  // The weakest non-zero bin a float can hold still gets a real level, not the zero marker.
  const double weakest = std::numeric_limits<float>::denorm_min();
  EXPECT_NEAR(BinLevel(weakest, weakest, true), 894.06, 0.01);
}

TEST(BinLevelTest, LinearModeMapsMagnitudeOntoTheSameScale) {
  EXPECT_EQ(BinLevel(0.0, 0.0, false), 90.31);
  EXPECT_EQ(BinLevel(0.5, 0.0, false), -4 * 90.31);
  EXPECT_EQ(BinLevel(0.0, -0.5, false), -4 * 90.31);
  EXPECT_NEAR(BinLevel(0.06, 0.08, false), 0.0, 1e-12);
  EXPECT_NEAR(BinLevel(0.01, 0.0, false), 81.279, 1e-9);
  EXPECT_NEAR(BinLevel(1.0, 0.0, false), -812.79, 1e-9);
}

// Ranges of any start and length, so that some bins fall outside whole groups of four lanes.
TEST(BinLevelTest, BinLevelsOfARangeAreTheLevelsOfItsBins) {
  std::mt19937 random(7);
  std::uniform_real_distribution<float> value(-1, 1);
  SpectrumFrame spectrum;
  for (float &x : spectrum) {
    x = value(random);
  }
  for (const auto &[first, count] : {std::pair{0, 0}, {3, 1}, {5, 7}, {1, 4094}}) {
    for (bool decibel : {true, false}) {
      std::vector<double> powers(count), levels(count);
      BinLevels(spectrum, first, count, decibel, powers.data(), levels.data());
      for (int i = 0; i < count; ++i) {
        const int bin = first + i;
        EXPECT_EQ(levels[i], BinLevel(spectrum[2 * bin], spectrum[2 * bin + 1], decibel)) << bin;
        EXPECT_EQ(powers[i], literal::Power(spectrum[2 * bin], spectrum[2 * bin + 1])) << bin;
      }
    }
  }
}

// Linear levels against the literal chain in MPFR on every path: bins of random magnitude from
// subnormal to huge, magnitudes around 0.1 (where 1 - 10 √p cancels), and bins whose literal
// value is exactly a double midpoint, which the fast route must leave to the literal one.
TEST(BinLevelTest, LinearLevelsMatchTheLiteralChain) {
  std::mt19937 engine(24);
  std::uniform_real_distribution<float> unit(-1, 1);
  std::uniform_int_distribution<int> octave(-80, 20);
  std::vector<SpectrumFrame> frames(24, SpectrumFrame{});
  for (std::size_t f = 0; f < frames.size(); ++f) {
    for (float &x : frames[f]) {
      x = f % 3 == 0 ? 0.1f * (1 + unit(engine) * 0x1p-12f)
                     : std::ldexp(unit(engine), f % 3 == 1 ? octave(engine) : -4);
    }
  }
  SpectrumFrame &midpoints = frames.emplace_back();
  constexpr int kMidpoints = 256;
  for (int crafted = 0; crafted < 2 * kMidpoints;) {
    const float re = std::ldexp(unit(engine), -4), im = std::ldexp(unit(engine), -6);
    const Extended level =
        (1 - Sqrt(Extended(re) * re + Extended(im) * im) * 10) * 90.31; // p is exact here
    if ((level.Significand() & 0x7ff) == 0x400) {
      midpoints[crafted++] = re;
      midpoints[crafted++] = im;
    }
  }
  for (const ArithmeticPath path : AvailablePaths()) {
    ForcePath(path);
    for (const SpectrumFrame &spectrum : frames) {
      const std::uint64_t before = Fallbacks().levels;
      std::vector<double> powers(kFrameLength / 2), levels(kFrameLength / 2);
      BinLevels(spectrum, 0, kFrameLength / 2, false, powers.data(), levels.data());
      for (int k = 0; k < kFrameLength / 2; ++k) {
        ASSERT_EQ(std::bit_cast<std::uint64_t>(levels[k]),
                  std::bit_cast<std::uint64_t>(
                      literal::BinLevel(spectrum[2 * k], spectrum[2 * k + 1], false)))
            << std::hexfloat << spectrum[2 * k] << " " << spectrum[2 * k + 1] << " "
            << PathName(path);
      }
      if (&spectrum == &midpoints) {
        EXPECT_EQ(Fallbacks().levels - before, std::uint64_t{kMidpoints}); // the zeros need none
      }
    }
  }
  ForcePath(std::nullopt);
}

// Levels of given powers against the literal chain in MPFR on every path: doubles of every
// magnitude (subnormal ones included), powers of two, sums of float squares near magnitude 0.1,
// and the powers that no bin can have (zero, negative, infinite, NaN).
TEST(PowerLevelsTest, LevelsOfPowersMatchTheLiteralChain) {
  std::mt19937_64 engine(30);
  std::uniform_int_distribution<std::uint64_t> bits(0, 0x7ff0000000000000u);
  std::uniform_real_distribution<float> unit(-1, 1);
  std::vector<double> powers = {0.0,     -0.0,    -1.0,      INFINITY,    -INFINITY, NAN,
                                DBL_MIN, DBL_MAX, 0x1p-1074, 0x1.8p-1070, 1.0,       0.01};
  for (int i = 0; i < 3000; ++i) {
    const float re = 0.1f * (1 + unit(engine) * 0x1p-12f), im = unit(engine) * 0x1p-14f;
    powers.push_back(std::bit_cast<double>(bits(engine)));
    powers.push_back(literal::Power(re, im));
    powers.push_back(std::ldexp(1.0, i % 2098 - 1074));
  }
  for (const ArithmeticPath path : AvailablePaths()) {
    ForcePath(path);
    for (const bool decibel : {true, false}) {
      std::vector<double> levels(powers.size());
      PowerLevels(powers.data(), static_cast<int>(powers.size()), decibel, levels.data());
      for (std::size_t i = 0; i < powers.size(); ++i) {
        const double expected = literal::PowerLevel(powers[i], decibel);
        ASSERT_TRUE(std::bit_cast<std::uint64_t>(levels[i]) ==
                        std::bit_cast<std::uint64_t>(expected) ||
                    (std::isnan(levels[i]) && std::isnan(expected)))
            << std::hexfloat << powers[i] << " " << decibel << " " << PathName(path);
      }
    }
  }
  ForcePath(std::nullopt);
}

TEST(StrongerOfTest, ReturnsTheSmallerLevelAndTheSecondOnTies) {
  const double strong = 20;
  const double weak = 999;
  EXPECT_EQ(&StrongerOf(strong, weak), &strong);
  EXPECT_EQ(&StrongerOf(weak, strong), &strong);
  const double tie = 20;
  EXPECT_EQ(&StrongerOf(strong, tie), &tie);
  EXPECT_EQ(&StrongerOf(tie, strong), &strong);
  const double negative = -6.02;
  EXPECT_EQ(StrongerOf(negative, strong), -6.02);
}

TEST(LevelToAmplitudeTest, RecoversTheMagnitudeOfALinearLevel) {
  // The reciprocal of the double 90.31, taken at extended precision: 0.011072970878086590353.
  EXPECT_EQ(Extended(1) / 90.31, Extended::FromParts(false, 0xb56b67f29ecc7d24u, -70));

  const double silent = LevelToAmplitude(BinLevel(0.0, 0.0, false));
  EXPECT_EQ(silent, 0.0);
  EXPECT_FALSE(std::signbit(silent)); // written as 0.000000, never -0.000000

  for (double magnitude : {1e-6, 0.001, 0.05, 0.1, 0.5, 1.0, 2.5}) {
    EXPECT_NEAR(LevelToAmplitude(BinLevel(magnitude, 0.0, false)), magnitude,
                4 * DBL_EPSILON * (1 + magnitude))
        << magnitude;
  }
  EXPECT_NEAR(LevelToAmplitude(0.0), 0.1, 1e-17);
  EXPECT_NEAR(LevelToAmplitude(-812.79), 1.0, 1e-15);
}

// DecimalLog and NaturalLog against MPFR: random doubles of every magnitude (subnormal ones
// included), arguments just off 1, where the logarithm is tiny, and every power of two.
TEST(ExactLogTest, LogarithmsAreTheCorrectlyRoundedProducts) {
  literal::Real log10Of2(2.0), lnOf2(2.0);
  mpfr_log10(*log10Of2, *log10Of2, MPFR_RNDN);
  mpfr_log(*lnOf2, *lnOf2, MPFR_RNDN);
  std::mt19937_64 engine(15);
  std::vector<double> arguments;
  for (int i = 0; i < 20000; ++i) {
    const double x = std::bit_cast<double>(engine() >> 1);
    arguments.push_back(std::isfinite(x) && x > 0 ? x : 1.5);
    arguments.push_back(1 +
                        static_cast<double>(static_cast<std::int64_t>(engine() >> 20)) * 0x1p-60);
  }
  for (int e = -1074; e < 1024; ++e) {
    arguments.push_back(std::ldexp(1.0, e));
  }
  // The one ln 2 of the program, rounded to 64 bits, is the constant RN64(ln 2).
  EXPECT_EQ(Ln2(), Extended::FromParts(false, 0xb17217f7d1cf79acu, -64));
  for (const double x : arguments) {
    for (const bool decimal : {true, false}) {
      literal::Real expected;
      literal::ScaledLog2(*expected, decimal ? *log10Of2 : *lnOf2, x);
      const Extended got = decimal ? DecimalLog(x) : NaturalLog(x);
      // Compared as the two doubles that hold a 64-bit value exactly.
      const double high = got.ToDouble();
      literal::Real value(high);
      mpfr_add_d(*value, *value, (got - high).ToDouble(), MPFR_RNDN);
      ASSERT_EQ(mpfr_cmp(*value, *expected), 0)
          << std::hexfloat << x << (decimal ? " log10" : " ln");
    }
  }
}

} // namespace
} // namespace analysis
