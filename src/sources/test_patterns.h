#pragma once

// The built-in test signals. Each pattern overwrites the whole frame; most take the pattern
// parameter k, which a continuous run steps by one per frame.

#include "analysis/frame.h"

#include <array>
#include <cstdint>

namespace sources {

// State of the noise generator: 1 when the program starts, changed only by MakeNoise.
extern std::uint32_t NoiseSeed;

// Every sample 0.
void MakeZero(analysis::TimeFrame &data);

// sin(i × (π/2048) × k): k periods per frame starting at 0, peaks at bins k and 4096 - k.
void MakeSine(analysis::TimeFrame &data, std::int32_t k);

// As MakeSine with 1.001 × k periods per frame, in general between two bins.
void MakeDetunedSine(analysis::TimeFrame &data, std::int32_t k);

// The sine of MakeSine where it is positive, 0 elsewhere.
void MakeHalfWaveSine(analysis::TimeFrame &data, std::int32_t k);

// The absolute value of the sine of MakeSine.
void MakeFullWaveSine(analysis::TimeFrame &data, std::int32_t k);

// 1 for sample i < k, else 0. Once k has reached 4096 the parameter is set to 0.
void MakeSquare(analysis::TimeFrame &data, std::int32_t &patternParam);

// 1 at samples 0, k, 2k, … below 4096, else 0. A parameter of 0 is first raised to 1; a
// negative one gives a single 1 at sample 0.
void MakeImpulseTrain(analysis::TimeFrame &data, std::int32_t &patternParam);

// Uniform noise in [0, 1]: the next 15-bit random numbers divided by 32767. The sequence runs on
// from frame to frame and is the same in every run of the program.
void MakeNoise(analysis::TimeFrame &data);

// Sine samples that the fast code could not decide in double precision and took exactly,
// counted on the calling thread since it started.
std::uint64_t ExactSineCount();

// A test pattern: its entry in the window's detail list (UTF-8), its name on the command line,
// and how it makes a frame with the pattern parameter.
struct Pattern {
  const char *label;
  const char *name;
  void (*make)(analysis::TimeFrame &data, std::int32_t &patternParam);
};

// The patterns in the order of the detail list; the pattern number is the index.
inline constexpr std::array<Pattern, 8> kPatterns = {{
    {"常にゼロ", "zero", [](analysis::TimeFrame &d, std::int32_t &) { MakeZero(d); }},
    {"正弦波", "sine", [](analysis::TimeFrame &d, std::int32_t &k) { MakeSine(d, k); }},
    {"正弦波(周波数が整数倍でない)", "detuned sine",
     [](analysis::TimeFrame &d, std::int32_t &k) { MakeDetunedSine(d, k); }},
    {"正弦波の半波整流", "half-wave",
     [](analysis::TimeFrame &d, std::int32_t &k) { MakeHalfWaveSine(d, k); }},
    {"正弦波の全波整流", "full-wave",
     [](analysis::TimeFrame &d, std::int32_t &k) { MakeFullWaveSine(d, k); }},
    {"矩形波(デューティーが変わる)", "square", MakeSquare},
    {"インパルス列", "impulse train", MakeImpulseTrain},
    {"ノイズ(乱数)", "noise", [](analysis::TimeFrame &d, std::int32_t &) { MakeNoise(d); }},
}};
inline constexpr int kPatternCount = static_cast<int>(kPatterns.size());

// Makes pattern `index` of kPatterns. Any index outside 0 … 7 leaves `data` and
// `patternParam` unchanged.
void MakePattern(int index, analysis::TimeFrame &data, std::int32_t &patternParam);

// The advance after each frame: a value above 4095 becomes 0, then one is added. From 4000
// this gives 4001, …, 4096, 1, 2, …
void StepPatternParam(std::int32_t &patternParam);

} // namespace sources
