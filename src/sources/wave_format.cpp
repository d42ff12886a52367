#include "sources/wave_format.h"

#include <cmath>

namespace sources {

std::uint32_t WaveRate(double sampleRate) {
  const double whole = std::trunc(sampleRate);
  // The comparisons are false for a NaN, so it lands on 0 too.
  if (!(whole >= 0.0 && whole <= 4294967295.0)) {
    return 0;
  }
  return static_cast<std::uint32_t>(whole);
}

WaveFormat MonoPcm16(double sampleRate) {
  WaveFormat format;
  format.formatTag = kWaveFormatPcm;
  format.channels = 1;
  format.samplesPerSec = WaveRate(sampleRate);
  format.blockAlign = 2;
  format.avgBytesPerSec = format.samplesPerSec * format.blockAlign;
  format.bitsPerSample = 16;
  format.extraSize = 18;
  return format;
}

} // namespace sources
