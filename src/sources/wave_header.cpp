#include "sources/wave_header.h"

#include <cassert>

namespace sources {

WaveHeader::WaveHeader(std::uint32_t samples)
    : data(std::make_unique<std::int16_t[]>(samples)), bufferLength(samples) {}

void ScaleWaveFrame(const std::int16_t *samples, analysis::TimeFrame &frame) {
  for (std::size_t i = 0; i < frame.size(); ++i) {
    frame[i] = static_cast<float>(samples[i]) * 0x1p-15f;
  }
}

void ReadWaveFrame(const WaveHeader &header, analysis::TimeFrame &frame) {
  assert(header.bufferLength >= frame.size());
  const std::lock_guard guard(header.lock);
  ScaleWaveFrame(header.data.get(), frame);
}

} // namespace sources
