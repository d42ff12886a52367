#include "core/bands.h"

#include "analysis/frame.h"
#include "analysis/mpfr_extended.h"
#include "core/statistics.h"

#include <mpfr.h>

#include <algorithm>
#include <array>

namespace core {

namespace {

constexpr int kLastBin = analysis::kFrameLength / 2 - 1;
// The preferred labels of the ten thirds of a decade, in tenths: 10, 12.5, 16 … 80.
constexpr std::array<int, 10> kNominalTenths = {100, 125, 160, 200, 250, 315, 400, 500, 630, 800};
// The first bands: the 31.5 Hz octave (x = -5) and the 25 Hz third (x = -16).
constexpr int kFirstOctave = -5;
constexpr int kFirstThird = -16;

// The label of third x: kNominalTenths[x mod 10] tenths × 10^(floor(x / 10) + 2), in decimal
// without trailing zeros after a point.
std::string Nominal(int third) {
  const int decade = (third >= 0 ? third : third - 9) / 10;
  int digits = kNominalTenths[static_cast<std::size_t>(third - 10 * decade)];
  int exponent = decade + 1; // of ten, on digits
  for (; digits % 10 == 0; digits /= 10) {
    ++exponent;
  }
  std::string text = std::to_string(digits);
  if (exponent >= 0) {
    return text + std::string(static_cast<std::size_t>(exponent), '0');
  }
  const auto point = static_cast<std::ptrdiff_t>(text.size()) + exponent;
  if (point <= 0) {
    return "0." + std::string(static_cast<std::size_t>(-point), '0') + text;
  }
  const auto split = static_cast<std::size_t>(point);
  return text.substr(0, split) + '.' + text.substr(split);
}

// 1000 × 10^(numerator / denominator) rounded in `rounding` at the value's precision.
void Frequency(mpfr_t value, long numerator, long denominator, mpfr_rnd_t rounding) {
  MPFR_DECL_INIT(power, mpfr_get_prec(value) + 32);
  mpfr_set_si(power, numerator, MPFR_RNDN); // exact
  mpfr_div_si(power, power, denominator, rounding);
  mpfr_exp10(power, power, rounding);
  mpfr_mul_ui(value, power, 1000, rounding);
}

// Whether the centre of bin k lies below the edge 1000 × 10^(numerator / denominator), an
// irrational number: bounds from below and above, with more bits until the centre is outside.
bool CentreBelow(int k, double rate, long numerator, long denominator) {
  MPFR_DECL_INIT(centre, 53 + 12);
  mpfr_set_d(centre, rate, MPFR_RNDN);
  mpfr_mul_ui(centre, centre, static_cast<unsigned long>(k), MPFR_RNDN);
  mpfr_div_2ui(centre, centre, 12, MPFR_RNDN); // exact
  for (mpfr_prec_t bits = 128;; bits *= 2) {
    mpfr_t low, high;
    mpfr_inits2(bits, low, high, static_cast<mpfr_ptr>(nullptr));
    Frequency(low, numerator, denominator, MPFR_RNDD);
    Frequency(high, numerator, denominator, MPFR_RNDU);
    const bool below = mpfr_less_p(centre, low) != 0;
    const bool decided = below || mpfr_greaterequal_p(centre, high) != 0;
    mpfr_clears(low, high, static_cast<mpfr_ptr>(nullptr));
    if (decided) {
      return below;
    }
  }
}

// The first bin 1 … 2047 whose centre is not below the edge, or 2048.
int FirstBinFrom(double rate, long numerator, long denominator) {
  // A binary search by hand: clang 14 cannot build libstdc++ 12's ranges over an iota view.
  int first = 1;
  for (int end = kLastBin + 1; first < end;) {
    const int middle = first + (end - first) / 2;
    if (CentreBelow(middle, rate, numerator, denominator)) {
      first = middle + 1;
    } else {
      end = middle;
    }
  }
  return first;
}

double Rounded(long numerator, long denominator) {
  MPFR_DECL_INIT(value, 128);
  Frequency(value, numerator, denominator, MPFR_RNDN);
  return mpfr_get_d(value, MPFR_RNDN);
}

// The bands of 1/b octave from band `x` up to the one that holds bin 2047.
std::vector<Band> BandsFrom(int b, int x, double rate) {
  analysis::FreeMpfrCachesWhenThreadEnds();
  // Band x: midband exponent 6x / 20b, edges (6x ∓ 3) / 20b.
  const long denominator = 20L * b;
  std::vector<Band> bands;
  for (;; ++x) {
    Band band;
    band.x = x;
    band.first = FirstBinFrom(rate, 6L * x - 3, denominator);
    if (band.first > kLastBin) {
      return bands;
    }
    band.count = FirstBinFrom(rate, 6L * x + 3, denominator) - band.first;
    band.midband = Rounded(6L * x, denominator);
    band.lower = Rounded(6L * x - 3, denominator);
    band.upper = Rounded(6L * x + 3, denominator);
    // Midband exponent 6x / 20b is that of third 3x / b.
    band.nominal = 3L * x % b == 0 ? Nominal(static_cast<int>(3L * x / b)) : std::string();
    bands.push_back(std::move(band));
  }
}

} // namespace

std::vector<Band> MakeBands(BandWidth width, double rate) {
  return BandsFrom(static_cast<int>(width), width == BandWidth::Octave ? kFirstOctave : kFirstThird,
                   rate);
}

std::vector<Band> BandsOverBins(int perOctave, double rate) {
  analysis::FreeMpfrCachesWhenThreadEnds();
  // The band whose edges (6x ∓ 3) / 20b hold the centre of bin 1.
  const long denominator = 20L * perOctave;
  int x = 0;
  while (CentreBelow(1, rate, 6L * x - 3, denominator)) {
    --x;
  }
  while (!CentreBelow(1, rate, 6L * x + 3, denominator)) {
    ++x;
  }
  return BandsFrom(perOctave, x, rate);
}

void BandPowers(std::span<const Band> bands, std::span<const double> powers,
                std::span<double> bandPowers) {
  for (std::size_t i = 0; i < bands.size(); ++i) {
    bandPowers[i] = SumOfPowers(powers.subspan(static_cast<std::size_t>(bands[i].first),
                                               static_cast<std::size_t>(bands[i].count)));
  }
}

} // namespace core
