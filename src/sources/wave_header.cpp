#include "sources/wave_header.h"

#include <cassert>

namespace sources {

WaveHeader::WaveHeader(std::uint32_t samples)
    : data(std::make_unique<std::int16_t[]>(samples)), bufferLength(samples) {}

void ReadWaveFrame(const WaveHeader &header, analysis::TimeFrame &frame) {
  assert(header.bufferLength >= frame.size());
  const std::lock_guard guard(header.lock);
  for (std::size_t i = 0; i < frame.size(); ++i) {
    frame[i] = static_cast<float>(header.data[i]) * 0x1p-15f;
  }
}

} // namespace sources
