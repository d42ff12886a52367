// The fast frame arithmetic against its literal form, bit for bit, over generated frames; and
// fixed hashes of the exact output bits, which fail when any rounding point moves even if the
// literal form were changed along with the fast code.

#include "analysis/arithmetic_path.h"
#include "analysis/extended.h"
#include "analysis/fft.h"
#include "analysis/frame_scaling.h"
#include "analysis/level.h"
#include "literal_analysis.h"
#include "sources/test_patterns.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

namespace analysis {
namespace {

// FNV-1a over the bytes of a range of values.
template <typename T> std::uint64_t Hash(const T *values, std::size_t count, std::uint64_t h) {
  const auto *bytes = reinterpret_cast<const unsigned char *>(values);
  for (std::size_t i = 0; i < count * sizeof(T); ++i) {
    h = (h ^ bytes[i]) * 0x100000001b3u;
  }
  return h;
}

// Everything a frame pass produces from one source frame: scaled samples, spectrum, levels of
// every bin in both modes.
struct PassResult {
  TimeFrame time;
  SpectrumFrame spectrum;
  std::vector<double> levels; // dB for bins 0 … 4095, then linear

  std::uint64_t Digest() const {
    std::uint64_t h = 0xcbf29ce484222325u;
    h = Hash(time.data(), time.size(), h);
    h = Hash(spectrum.data(), spectrum.size(), h);
    return Hash(levels.data(), levels.size(), h);
  }
};

template <typename Scale, typename Transform, typename Levels>
PassResult Pass(const TimeFrame &source, double gain, bool window, Scale scale, Transform transform,
                Levels levels) {
  PassResult result{source, {}, std::vector<double>(2 * kFrameLength)};
  scale(result.time, gain, window);
  transform(result.time, result.spectrum);
  levels(result.spectrum, true, &result.levels[0]);
  levels(result.spectrum, false, &result.levels[kFrameLength]);
  return result;
}

PassResult FastPass(const TimeFrame &source, double gain, bool window) {
  return Pass(source, gain, window, ScaleFrame, ComputeFFT,
              [](const SpectrumFrame &spectrum, bool decibel, double *levels) {
                std::vector<double> powers(kFrameLength);
                BinLevels(spectrum, 0, kFrameLength, decibel, powers.data(), levels);
              });
}

PassResult LiteralPass(const TimeFrame &source, double gain, bool window) {
  return Pass(source, gain, window, literal::ScaleFrame, literal::ComputeFFT,
              [](const SpectrumFrame &spectrum, bool decibel, double *levels) {
                for (int k = 0; k < kFrameLength; ++k) {
                  levels[k] = literal::BinLevel(spectrum[2 * k], spectrum[2 * k + 1], decibel);
                }
              });
}

// Index of the first differing bit pattern, or -1.
template <typename T> int FirstDifference(const T *a, const T *b, int count) {
  for (int i = 0; i < count; ++i) {
    if (std::memcmp(&a[i], &b[i], sizeof(T)) != 0) {
      return i;
    }
  }
  return -1;
}

void ExpectSameBits(const PassResult &fast, const PassResult &expected, const std::string &what) {
  ASSERT_EQ(FirstDifference(fast.time.data(), expected.time.data(), kFrameLength), -1)
      << "scaled sample, " << what;
  ASSERT_EQ(FirstDifference(fast.spectrum.data(), expected.spectrum.data(), 2 * kFrameLength), -1)
      << "spectrum value, " << what;
  ASSERT_EQ(FirstDifference(fast.levels.data(), expected.levels.data(), 2 * kFrameLength), -1)
      << "level (dB bins, then linear), " << what;
}

// Frames of many kinds from one seed: uniform, Gaussian, tiny and subnormal, huge enough to
// overflow inside the transform, signed zeros, single impulses and arbitrary finite bit patterns.
TimeFrame RandomFrame(unsigned seed) {
  std::mt19937 engine(seed);
  std::uniform_real_distribution<float> uniform(-1.0f, 1.0f);
  std::normal_distribution<float> gaussian(0.0f, 0.3f);
  std::uniform_int_distribution<std::uint32_t> bits;
  TimeFrame frame{};
  const auto fill = [&](auto make) {
    for (float &x : frame) {
      x = make();
    }
  };
  switch (seed % 7) {
  case 0:
    fill([&] { return uniform(engine); });
    break;
  case 1:
    fill([&] { return gaussian(engine); });
    break;
  case 2: // subnormal and barely normal magnitudes
    fill([&] { return std::bit_cast<float>(bits(engine) & 0x80ffffffu); });
    break;
  case 3: // near the top of the float range: sums overflow to infinity and then to NaN
    fill([&] { return uniform(engine) * 3.0e38f; });
    break;
  case 4: // signed zeros with a single impulse
    fill([&] { return bits(engine) % 2 ? -0.0f : 0.0f; });
    frame[bits(engine) % kFrameLength] = uniform(engine) * 4;
    break;
  case 5: { // any finite bit pattern
    fill([&] {
      float x;
      do {
        x = std::bit_cast<float>(bits(engine));
      } while (!std::isfinite(x));
      return x;
    });
    break;
  }
  default: // 16-bit audio samples
    fill([&] { return static_cast<float>(static_cast<std::int16_t>(bits(engine))) / 32768; });
    break;
  }
  return frame;
}

class ExactArithmeticTest : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    BuildBitReverseTable();
    BuildTwiddleTables();
  }

  static std::string OnPath(ArithmeticPath path) { return ", path " + std::string(PathName(path)); }

  // Runs the fast pass on every arithmetic path this machine has and compares it with the
  // literal pass; without `literal` (which takes a tenth of a second) with the portable path's.
  static void Check(const TimeFrame &source, double gain, bool window, const std::string &what,
                    bool literal) {
    ForcePath(ArithmeticPath::Portable);
    const PassResult expected =
        literal ? LiteralPass(source, gain, window) : FastPass(source, gain, window);
    for (ArithmeticPath path : AvailablePaths()) {
      ForcePath(path);
      ExpectSameBits(FastPass(source, gain, window), expected, what + OnPath(path));
    }
    ForcePath(std::nullopt);
  }
};

TEST_F(ExactArithmeticTest, OutputBitsOfThreeFixedFramesAreUnchanged) {
  std::uint32_t state = 12345;
  const auto next = [&] { return state = state * 1664525u + 1013904223u; };
  TimeFrame uniform, loud, extreme;
  for (int i = 0; i < kFrameLength; ++i) {
    uniform[i] = static_cast<float>(static_cast<std::int32_t>(next())) * 0x1p-31f;
    loud[i] = static_cast<float>(static_cast<std::int32_t>(next() >> 4)) * 0x1p-17f;
    const std::uint32_t r = next();
    extreme[i] = r % 5 == 0 ? std::bit_cast<float>(r & 0x80ffffffu) : r % 5 == 1 ? 0x1p126f : 0;
  }
  EXPECT_EQ(FastPass(uniform, 1.0, true).Digest(), 0xe99431497ac08bdau);
  EXPECT_EQ(FastPass(loud, 0.1, false).Digest(), 0x33c0b4d055d1de3bu);
  EXPECT_EQ(FastPass(extreme, 20.0, true).Digest(), 0x897b6faf668e678fu);
}

TEST_F(ExactArithmeticTest, PatternsAtEveryGainWithAndWithoutWindowMatchTheLiteralPass) {
  for (int pattern = 0; pattern < sources::kPatternCount; ++pattern) {
    for (std::int32_t k : {0, 1, 2, 3, 100, 1000, 1234, 2047, 2048, 4000, 4095, 4096}) {
      std::int32_t param = k;
      TimeFrame frame;
      sources::MakePattern(pattern, frame, param);
      for (int g = 0; g < std::ssize(kGains); ++g) {
        for (bool window : {false, true}) {
          Check(frame, kGains[g].value, window,
                "pattern " + std::to_string(pattern) + " k " + std::to_string(k) + " gain " +
                    std::to_string(kGains[g].value) + " window " + std::to_string(window),
                (k + g + window) % 8 == 0);
        }
      }
    }
  }
}

TEST_F(ExactArithmeticTest, RandomFramesMatchTheLiteralPass) {
  for (unsigned seed = 0; seed < 2000; ++seed) {
    Check(RandomFrame(seed), kGains[seed % 10].value, seed % 3 == 0, "seed " + std::to_string(seed),
          seed / 10 % 8 == 0);
  }
}

// Every output of 40 frames of each pattern, its parameter 103 apart, at every gain, with the
// window on every other frame (3200 passes): one digest per pattern, the same on every path and
// every machine.
TEST_F(ExactArithmeticTest, PatternCorpusKeepsItsDigests) {
  constexpr std::uint64_t kDigests[sources::kPatternCount] = {
      0x9628e4eb28ffdd25u, 0xfc218593b8e3513cu, 0xf11ef8d8bda89f24u, 0xfd9cf5443532d239u,
      0x7f00e8fea3f79040u, 0xc99db2cc572742e5u, 0x1a050650a508579cu, 0x7a5b342a5f4b016au};
  for (ArithmeticPath path : AvailablePaths()) {
    ForcePath(path);
    sources::NoiseSeed = 1;
    for (int pattern = 0; pattern < sources::kPatternCount; ++pattern) {
      std::uint64_t digest = 0xcbf29ce484222325u;
      std::int32_t param = 0;
      for (int frame = 0; frame < 40; ++frame) {
        TimeFrame source;
        sources::MakePattern(pattern, source, param);
        for (const auto &[gain, text] : kGains) {
          const std::uint64_t pass = FastPass(source, gain, frame % 2 == 1).Digest();
          digest = Hash(&pass, 1, digest);
        }
        for (int step = 0; step < 103; ++step) { // parameters 0, 103, 206, … 4017
          sources::StepPatternParam(param);
        }
      }
      EXPECT_EQ(digest, kDigests[pattern])
          << "pattern " << pattern << OnPath(path) << std::hex << ": 0x" << digest;
    }
  }
  ForcePath(std::nullopt);
}

// Inputs built so that each rare case occurs, on every path; each must take the literal route
// (its fall-back counter moves) and give the literal bits. Butterflies: one of the fourth stage
// whose sum in double lands exactly on a float midpoint that the exact sum lies just off (the
// double would round the other way), frames that overflow to infinity and then to NaN, and
// butterflies whose T is finite in double but infinite as a float, so that A ± T may be ∞ - ∞
// (the processor's own NaN would differ between makers).
// Samples: one that scales to within a few double ulps of a float midpoint. Levels: a power whose
// exact sum lies just below an odd double's upper midpoint (rounded via 64 bits it reaches the
// midpoint and then the even neighbour), and bins of 4096 magnitudes in geometric steps, among them
// levels that lie within 2^-61 of a double midpoint, with zero, subnormal, infinite and NaN bins.
TEST_F(ExactArithmeticTest, RareCasesTakeTheLiteralRoute) {
  enum class Step { Scale, Transform, Levels };
  struct RareCase {
    std::string name;
    Step step;
    std::uint64_t LiteralFallbacks::*counter;
    TimeFrame frame{};
    SpectrumFrame spectrum{};
  };
  std::vector<RareCase> cases = {
      {"butterfly on an inexact float midpoint", Step::Transform, &LiteralFallbacks::butterflies},
      {"butterflies through infinity and NaN", Step::Transform, &LiteralFallbacks::butterflies},
      {"butterflies whose T overflows the float range", Step::Transform,
       &LiteralFallbacks::butterflies},
      {"sample near a float midpoint", Step::Scale, &LiteralFallbacks::samples},
      {"power just below a double midpoint", Step::Levels, &LiteralFallbacks::levels},
      {"levels of 4096 magnitudes", Step::Levels, &LiteralFallbacks::levels}};
  cases[0].frame[FftTables::Get().BitReverse[8]] = 0x1.e3103ep+0f;
  cases[0].frame[FftTables::Get().BitReverse[12]] = 0x1.0e4p-12f;
  for (int i = 0; i < kFrameLength; ++i) {
    cases[1].frame[i] = i % 3 == 0 ? -3.0e38f : 3.0e38f;
  }
  std::mt19937 engine(15);
  std::uniform_real_distribution<float> uniform(-1.0f, 1.0f);
  for (float &x : cases[2].frame) {
    x = uniform(engine) * 1e37f;
  }
  cases[3].frame.fill(0x1.00a902p+0f);
  const float re = 1.0f;
  float im = static_cast<float>(std::sqrt(1.5 * 0x1p-52));
  while (static_cast<double>(im) * im >= 1.5 * 0x1p-52) {
    im = std::nextafter(im, 0.0f);
  }
  ASSERT_NE(static_cast<double>(re) * re + static_cast<double>(im) * im,
            (Extended(re) * re + Extended(im) * im).ToDouble());
  cases[4].spectrum[0] = re;
  cases[4].spectrum[1] = im;
  float magnitude = 0x1p-149f;
  for (float &x : cases[5].spectrum) {
    x = magnitude;
    magnitude *= 1.0234f;
  }
  cases[5].spectrum[7] = 0;
  cases[5].spectrum[8] = INFINITY;
  cases[5].spectrum[9] = -NAN;

  for (ArithmeticPath path : AvailablePaths()) {
    ForcePath(path);
    for (const RareCase &rare : cases) {
      const std::string what = rare.name + OnPath(path);
      const std::uint64_t before = Fallbacks().*rare.counter;
      if (rare.step == Step::Transform) {
        SpectrumFrame fast, expected;
        ComputeFFT(rare.frame, fast);
        literal::ComputeFFT(rare.frame, expected);
        EXPECT_EQ(FirstDifference(fast.data(), expected.data(), 2 * kFrameLength), -1) << what;
      } else if (rare.step == Step::Scale) {
        TimeFrame fast = rare.frame, expected = rare.frame;
        ScaleFrame(fast, 0.1, true);
        literal::ScaleFrame(expected, 0.1, true);
        EXPECT_EQ(FirstDifference(fast.data(), expected.data(), kFrameLength), -1) << what;
      } else {
        for (bool decibel : {true, false}) {
          std::vector<double> powers(kFrameLength), fast(kFrameLength), expected(kFrameLength);
          BinLevels(rare.spectrum, 0, kFrameLength, decibel, powers.data(), fast.data());
          for (int k = 0; k < kFrameLength; ++k) {
            expected[k] =
                literal::BinLevel(rare.spectrum[2 * k], rare.spectrum[2 * k + 1], decibel);
          }
          EXPECT_EQ(FirstDifference(fast.data(), expected.data(), kFrameLength), -1) << what;
        }
      }
      EXPECT_GT(Fallbacks().*rare.counter, before) << what;
    }
  }
  ForcePath(std::nullopt);
}

} // namespace
// Run by CTest with VIREO_ARITHMETIC=portable: the switch that lets the second pass of the suite
// cover the portable code. Every other value is refused unless it names a path this CPU runs.
TEST(ArithmeticPath, TheEnvironmentCanAskForThePortableCode) {
  ASSERT_STREQ(std::getenv("VIREO_ARITHMETIC"), "portable");
  EXPECT_EQ(CurrentPath(), ArithmeticPath::Portable);
  EXPECT_EQ(PathChoiceError(), std::nullopt);
  const auto paths = AvailablePaths();
  for (std::size_t index = 0; index < kPathNames.size(); ++index) {
    const auto path = static_cast<ArithmeticPath>(index);
    setenv("VIREO_ARITHMETIC", std::string(PathName(path)).c_str(), 1);
    EXPECT_EQ(PathChoiceError().has_value(),
              std::find(paths.begin(), paths.end(), path) == paths.end())
        << PathName(path);
  }
  for (const char *unknown : {"AVX2", "avx", "sse", "neon", "avx512 "}) {
    setenv("VIREO_ARITHMETIC", unknown, 1);
    const auto error = PathChoiceError();
    ASSERT_TRUE(error.has_value()) << unknown;
    EXPECT_EQ(error->find('\n'), std::string::npos);
  }
  setenv("VIREO_ARITHMETIC", "portable", 1);
}

} // namespace analysis
