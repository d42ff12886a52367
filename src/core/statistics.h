// Statistics of a recording as a whole: the mean, maximum and minimum of each bin's (or band's)
// power over the frames of one input, and the weightings applied to the powers before them.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace core {

enum class Statistic { Mean, Max, Min };
inline constexpr std::array<std::string_view, 3> kStatisticNames = {"mean", "max", "min"};

// Per value (bin or band), over the frames given in order: the mean power, the largest and the
// smallest. The mean sums the powers in frame order as a double-double (TwoSum of the running sum
// and the power, the error added to the low part and the pair renormalised), then divides the
// pair by the frame count with one final rounding to double: within one ulp of the exact mean, and
// the same bits on every machine. The maximum and minimum are exact.
class PowerStatistics {
public:
  explicit PowerStatistics(std::size_t count);

  // One frame's powers, `count` of them; frames must come in their order.
  void Add(std::span<const double> powers);
  std::int64_t Frames() const { return frames_; }
  // The statistic of each value; the frame count must be above 0.
  std::vector<double> Powers(Statistic statistic) const;

private:
  std::vector<double> high_, low_, max_, min_;
  std::int64_t frames_ = 0;
};

// The sum of powers (each at least 0) as a band takes it from its bins: summed in their order as
// a double-double and rounded to double, within one ulp of the exact sum.
double SumOfPowers(std::span<const double> powers);

enum class Weighting { A, C, Z };

// The power factor of a weighting at `frequency` Hz: the square of the closed form's response
// divided by its value at 1000 Hz (1 for Z), computed with MPFR and rounded once to double.
double WeightingFactor(Weighting weighting, double frequency);

// The factor of each bin 0 … 4095 at a sample rate: bin k at |k| · rate / 4096 with k taken from
// -2048 … 2047 (the upper half of the transform is the negative frequencies), so a weighted
// spectrum stays symmetric.
std::vector<double> WeightingFactors(Weighting weighting, double rate);

// powers[k] × factors[k] rounded once, in place; nothing for empty factors (Z gives none).
void ApplyWeighting(std::span<const double> factors, std::span<double> powers);

} // namespace core
