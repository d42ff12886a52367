// Octave and third-octave bands of base 10: midband frequencies 1000 × 10^(3x / 10b) Hz for
// b = 1 or 3, edges at the midband × 10^(±3 / 20b), and the bins of a frame that each holds.
#pragma once

#include <span>
#include <string>
#include <vector>

namespace core {

// Bands per octave: 1 or 3.
enum class BandWidth { Octave = 1, Third = 3 };

struct Band {
  // The band's number x of its width b: midband 1000 × 10^(3x / 10b).
  int x = 0;
  // The exact midband and edges in Hz, each rounded once to double.
  double midband = 0, lower = 0, upper = 0;
  // The preferred label of the midband: "31.5", "63", "125", "1000", "12500" …
  std::string nominal;
  // The bins 1 … 2047 whose centre k × rate / 4096 lies in [lower, upper): first … first +
  // count - 1 (count 0 for a band that holds none).
  int first = 0, count = 0;
};

// The bands at a sample rate from the 31.5 Hz octave or the 25 Hz third on, up to the one that
// holds bin 2047. A bin's place is decided on the exact centre and the exact edges (which are
// irrational, so never equal to a centre), with MPFR: the same on every machine. At 4096 points
// the lowest bands hold few bins or none.
std::vector<Band> MakeBands(BandWidth width, double rate);

// The bands of 1/perOctave octave (perOctave at least 1: midbands 1000 × 10^(3x / 10
// perOctave), edges at the midband × 10^(±3 / 20 perOctave)) from the one that holds bin 1 up to
// the one that holds bin 2047: the rows of a spectrogram by log frequency. A band whose midband
// is that of a third has the third's nominal label, any other an empty one.
std::vector<Band> BandsOverBins(int perOctave, double rate);

// Each band's power: the sum of its bins' powers (SumOfPowers), into bandPowers.
void BandPowers(std::span<const Band> bands, std::span<const double> powers,
                std::span<double> bandPowers);

} // namespace core
