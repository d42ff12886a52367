#pragma once

#include <cstdint>

namespace sources {

// The capture format of a wave-input device: field order and widths of the classic PCM
// format record.
struct WaveFormat {
  std::uint16_t formatTag = 0;
  std::uint16_t channels = 0;
  std::uint32_t samplesPerSec = 0;
  std::uint32_t avgBytesPerSec = 0;
  std::uint16_t blockAlign = 0;
  std::uint16_t bitsPerSample = 0;
  std::uint16_t extraSize = 0;
};

inline constexpr std::uint16_t kWaveFormatPcm = 1;

// The whole number of samples per second a device is opened with for a sampling frequency:
// truncated toward zero. Values that no unsigned 32-bit rate can hold (negative, 2^32 and
// above, not a number) give 0, which no device accepts.
std::uint32_t WaveRate(double sampleRate);

// Mono 16-bit PCM at WaveRate(sampleRate).
WaveFormat MonoPcm16(double sampleRate);

} // namespace sources
