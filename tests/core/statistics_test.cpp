// The statistics of a recording, its weightings and its bands, against MPFR and the closed forms'
// published values.
#include <gtest/gtest.h>

#include <mpfr.h>

#include <cmath>
#include <random>
#include <vector>

#include "core/bands.h"
#include "core/statistics.h"

namespace {

// Ulps between two positive doubles.
double UlpsApart(double a, double b) {
  return std::fabs(a - b) / (std::nextafter(b, INFINITY) - b);
}

TEST(PowerStatistics, MeanIsWithinOneUlpOfTheExactMeanAndMaxMinAreExact) {
  // Frames of powers spread over 2^-300 … 2^250, with runs of equal and of tiny values, so that
  // a plain double sum loses them; the exact sum is held by MPFR at enough bits for every value.
  constexpr std::size_t kValues = 64;
  constexpr int kFrames = 3000;
  std::mt19937_64 random(31);
  std::uniform_real_distribution<double> mantissa(1, 2);
  std::uniform_int_distribution<int> exponent(-300, 250);
  core::PowerStatistics statistics(kValues);
  std::vector<mpfr_t> sums(kValues);
  std::vector<double> max(kValues, 0), min(kValues, INFINITY);
  for (mpfr_t &sum : sums) {
    mpfr_init2(sum, 2000);
    mpfr_set_zero(sum, 1);
  }
  for (int frame = 0; frame < kFrames; ++frame) {
    std::vector<double> powers(kValues);
    for (std::size_t i = 0; i < kValues; ++i) {
      const int spread = i % 4 == 0 ? 0 : i % 4 == 1 ? 40 : exponent(random);
      powers[i] = i % 8 == 7 ? 0.1 : std::ldexp(mantissa(random), spread == 0 ? -1 : spread);
      mpfr_add_d(sums[i], sums[i], powers[i], MPFR_RNDN); // exact at 2000 bits
      max[i] = std::max(max[i], powers[i]);
      min[i] = std::min(min[i], powers[i]);
    }
    statistics.Add(powers);
  }
  ASSERT_EQ(statistics.Frames(), kFrames);
  const std::vector<double> mean = statistics.Powers(core::Statistic::Mean);
  EXPECT_EQ(statistics.Powers(core::Statistic::Max), max);
  EXPECT_EQ(statistics.Powers(core::Statistic::Min), min);
  for (std::size_t i = 0; i < kValues; ++i) {
    mpfr_div_ui(sums[i], sums[i], kFrames, MPFR_RNDN);
    EXPECT_LE(UlpsApart(mean[i], mpfr_get_d(sums[i], MPFR_RNDN)), 1.0) << i;
    mpfr_clear(sums[i]);
  }
}

// Levels of the closed forms normalised at 1 kHz, against the published values at the exact
// midbands (rounded to 0.1 dB, and offset by the rounded 1 kHz values 2.0 and 0.06 dB).
TEST(Weighting, ClosedFormsGiveThePublishedLevels) {
  const double kMidband31 = 1000 / std::pow(10.0, 1.5);
  struct Row {
    core::Weighting weighting;
    double frequency, decibels;
  };
  const Row rows[] = {{core::Weighting::A, 1000, 0},
                      {core::Weighting::A, 100, -19.1},
                      {core::Weighting::A, kMidband31, -39.4},
                      {core::Weighting::A, 10000, -2.5},
                      {core::Weighting::C, 1000, 0},
                      {core::Weighting::C, kMidband31, -3.0},
                      {core::Weighting::C, 100, -0.3},
                      {core::Weighting::C, 10000, -4.4},
                      {core::Weighting::Z, 100, 0}};
  for (const Row &row : rows) {
    const double factor = core::WeightingFactor(row.weighting, row.frequency);
    EXPECT_NEAR(10 * std::log10(factor), row.decibels, 0.1) << row.frequency;
  }
  EXPECT_EQ(core::WeightingFactor(core::Weighting::A, 1000), 1.0);
  EXPECT_EQ(core::WeightingFactor(core::Weighting::C, 1000), 1.0);
  // Per bin: bin k and bin 4096 - k are one frequency; bin 93 of 44100 Hz is 1001.29… Hz.
  const std::vector<double> factors = core::WeightingFactors(core::Weighting::A, 44100);
  for (int k = 1; k < 2048; ++k) {
    ASSERT_EQ(factors[k], factors[4096 - k]);
  }
  EXPECT_EQ(factors[0], 0.0);
  EXPECT_EQ(factors[93], core::WeightingFactor(core::Weighting::A, 93 * 44100.0 / 4096));
  EXPECT_TRUE(core::WeightingFactors(core::Weighting::Z, 44100).empty());
}

TEST(Bands, EdgesLabelsAndBinsAtEveryRate) {
  struct Row {
    core::BandWidth width;
    double rate;
    std::vector<std::string> nominal; // first, second, last
  };
  const Row rows[] = {
      {core::BandWidth::Octave, 44100, {"31.5", "63", "16000"}},
      {core::BandWidth::Third, 44100, {"25", "31.5", "20000"}},
      {core::BandWidth::Third, 8000, {"25", "31.5", "4000"}},
      {core::BandWidth::Octave, 96000, {"31.5", "63", "63000"}},
      {core::BandWidth::Third, 192000, {"25", "31.5", "100000"}},
  };
  for (const Row &row : rows) {
    const std::vector<core::Band> bands = core::MakeBands(row.width, row.rate);
    ASSERT_GE(bands.size(), 3u);
    EXPECT_EQ(bands[0].nominal, row.nominal[0]);
    EXPECT_EQ(bands[1].nominal, row.nominal[1]);
    EXPECT_EQ(bands.back().nominal, row.nominal[2]);
    const double b = static_cast<double>(row.width);
    int next = bands[0].first;
    for (std::size_t i = 0; i < bands.size(); ++i) {
      const core::Band &band = bands[i];
      const double x = std::round(10 * b * std::log10(band.midband / 1000) / 3);
      EXPECT_NEAR(band.midband, 1000 * std::pow(10.0, 3 * x / (10 * b)), 1e-9 * band.midband);
      EXPECT_NEAR(band.lower, band.midband * std::pow(10.0, -3 / (20 * b)), 1e-9 * band.lower);
      EXPECT_NEAR(band.upper, band.midband * std::pow(10.0, 3 / (20 * b)), 1e-9 * band.upper);
      // Contiguous; each bin's centre within its band's edges, its neighbours' outside.
      EXPECT_EQ(band.first, next);
      next = band.first + band.count;
      const auto centre = [&](int k) { return k * row.rate / 4096; };
      EXPECT_LT(centre(band.first - 1), band.lower);
      EXPECT_TRUE(band.first > 2047 || centre(band.first) >= band.lower);
      EXPECT_LT(centre(next - 1), band.upper);
      EXPECT_TRUE(next > 2047 || centre(next) >= band.upper);
    }
    EXPECT_EQ(next, 2048) << "bin 2047 lies in the last band";
  }
  // At 44100 Hz bins are 10.8 Hz apart: the 25 Hz third holds none, the 31.5 Hz octave two.
  EXPECT_EQ(core::MakeBands(core::BandWidth::Third, 44100)[0].count, 0);
  EXPECT_EQ(core::MakeBands(core::BandWidth::Octave, 44100)[0].count, 2);
}

// The rows of a spectrogram by log frequency: from the band that holds bin 1, the bands of
// MakeBands where both have them, and the nominal labels of thirds only.
TEST(Bands, BandsOverBinsStartWithBinOneAndFollowTheBands) {
  for (const double rate : {8000.0, 44100.0, 192000.0}) {
    SCOPED_TRACE(rate);
    const std::vector<core::Band> thirds = core::BandsOverBins(3, rate);
    const std::vector<core::Band> bands = core::MakeBands(core::BandWidth::Third, rate);
    ASSERT_EQ(thirds.front().first, 1);
    ASSERT_GT(thirds.front().count, 0);
    EXPECT_EQ(thirds.back().x, bands.back().x);
    for (const core::Band &band : bands) {
      if (band.x >= thirds.front().x) {
        const core::Band &row = thirds[static_cast<std::size_t>(band.x - thirds.front().x)];
        EXPECT_EQ(row.first, band.first);
        EXPECT_EQ(row.count, band.count);
        EXPECT_EQ(row.midband, band.midband);
        EXPECT_EQ(row.nominal, band.nominal);
      }
    }
  }
  for (const core::Band &band : core::BandsOverBins(6, 44100)) {
    EXPECT_EQ(band.nominal.empty(), band.x % 2 != 0) << band.x;
  }
}

} // namespace
