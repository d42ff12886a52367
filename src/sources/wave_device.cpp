#include "sources/wave_device.h"

#include <pulse/def.h>

#include <algorithm>
#include <cstring>

namespace sources {

namespace {
constexpr WaveResult kNotOpen = PA_ERR_BADSTATE;
constexpr WaveResult kNotPrepared = PA_ERR_BADSTATE;
constexpr WaveResult kStillQueued = PA_ERR_BUSY;
} // namespace

void WaveDevice::Activate(WaveCallback newCallback) {
  const std::lock_guard guard(mutex);
  callback = std::move(newCallback);
  open = true;
}

WaveResult WaveDevice::PrepareHeader(WaveHeader &header) {
  const std::lock_guard guard(mutex);
  if (!open) {
    return kNotOpen;
  }
  if (!IsPrepared(header)) {
    prepared.push_back(&header);
  }
  return 0;
}

WaveResult WaveDevice::UnprepareHeader(WaveHeader &header) {
  const std::lock_guard guard(mutex);
  if (!open) {
    return kNotOpen;
  }
  if (IsQueued(header)) {
    return kStillQueued;
  }
  std::erase(prepared, &header);
  return 0;
}

WaveResult WaveDevice::AddBuffer(WaveHeader &header) {
  const std::lock_guard guard(mutex);
  if (const WaveResult result = Usable()) {
    return result;
  }
  if (!IsPrepared(header)) {
    return kNotPrepared;
  }
  if (IsQueued(header)) {
    return kStillQueued;
  }
  if (queue.empty()) {
    position = 0;
  }
  queue.push_back(&header);
  return 0;
}

WaveResult WaveDevice::Start() {
  const std::lock_guard guard(mutex);
  if (const WaveResult result = Usable()) {
    return result;
  }
  recording = true;
  return 0;
}

WaveResult WaveDevice::Reset() {
  const std::lock_guard guard(mutex);
  if (!open) {
    return kNotOpen;
  }
  recording = false;
  while (!queue.empty()) {
    WaveHeader *header = queue.front();
    queue.pop_front();
    Notify({WaveMessage::Data, header, position, 0});
    position = 0;
  }
  return 0;
}

void WaveDevice::Close() {
  const std::lock_guard guard(mutex);
  if (!open) {
    return;
  }
  open = false;
  recording = false;
  queue.clear();
  prepared.clear();
  Notify({WaveMessage::Close, nullptr, 0, 0});
  callback = nullptr;
}

void WaveDevice::Deliver(std::span<const std::int16_t> samples) {
  const std::lock_guard guard(mutex);
  while (recording && !queue.empty() && !samples.empty()) {
    WaveHeader *header = queue.front();
    const std::size_t count =
        std::min<std::size_t>(header->bufferLength - position, samples.size());
    {
      const std::lock_guard writing(header->lock);
      std::memcpy(header->data.get() + position, samples.data(), count * sizeof(std::int16_t));
    }
    position += static_cast<std::uint32_t>(count);
    samples = samples.subspan(count);
    if (position == header->bufferLength) {
      queue.pop_front();
      Notify({WaveMessage::Data, header, position, 0});
      position = 0;
    }
  }
  // Whatever is left has no buffer to go to and is lost.
}

void WaveDevice::Fail(WaveResult error) {
  const std::lock_guard guard(mutex);
  if (!open || failure != 0) {
    return;
  }
  failure = error;
  recording = false;
  Notify({WaveMessage::Error, nullptr, 0, error});
}

bool WaveDevice::IsQueued(const WaveHeader &header) const {
  return std::find(queue.begin(), queue.end(), &header) != queue.end();
}

bool WaveDevice::IsPrepared(const WaveHeader &header) const {
  return std::find(prepared.begin(), prepared.end(), &header) != prepared.end();
}

WaveResult WaveDevice::Usable() const {
  return !open ? kNotOpen : failure;
}

void WaveDevice::Notify(const WaveNotice &notice) const {
  if (callback) {
    callback(notice);
  }
}

} // namespace sources
