// Writes the README's example recording: a mono 16-bit WAV at 44100 Hz of a steady tone on bin
// 93 (1001.3 Hz), noise under it, and a burst on bin 279 (3003.9 Hz) in the fifth second. Every
// sample comes from the test patterns' exact sines and an integer noise generator, so the file
// has the same bytes on every machine.
// Usage: make_example_recording FILE [SECONDS (default 10)] [TONE AMPLITUDE (default 0.25)]
#include <sndfile.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "analysis/frame.h"
#include "sources/test_patterns.h"

int main(int argc, char **argv) {
  if (argc < 2 || argc > 4) {
    std::fprintf(stderr, "usage: make_example_recording FILE [SECONDS] [TONE_AMPLITUDE]\n");
    return 2;
  }
  constexpr int kRate = 44100;
  const double seconds = argc > 2 ? std::stod(argv[2]) : 10;
  const double tone = argc > 3 ? std::stod(argv[3]) : 0.25;
  const auto frames = static_cast<std::int64_t>(seconds * kRate / analysis::kFrameLength);
  analysis::TimeFrame steady, burst;
  sources::MakeSine(steady, 93);
  sources::MakeSine(burst, 279);
  std::uint32_t state = 1;
  std::vector<short> samples;
  for (std::int64_t frame = 0; frame < frames; ++frame) {
    const bool bursting = frame * analysis::kFrameLength / kRate == 4;
    for (int i = 0; i < analysis::kFrameLength; ++i) {
      state = state * 1664525u + 1013904223u;
      const double noise = (static_cast<int>(state >> 21) - 1024) / 32768.0;
      const double x = tone * steady[i] + (bursting ? 0.25 * burst[i] : 0) + noise;
      samples.push_back(static_cast<short>(std::lrint(x * 32767)));
    }
  }
  SF_INFO info{};
  info.samplerate = kRate;
  info.channels = 1;
  info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
  SNDFILE *file = sf_open(argv[1], SFM_WRITE, &info);
  if (file == nullptr ||
      sf_writef_short(file, samples.data(), static_cast<sf_count_t>(samples.size())) !=
          static_cast<sf_count_t>(samples.size()) ||
      sf_close(file) != 0) {
    std::fprintf(stderr, "cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
