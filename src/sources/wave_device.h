#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <span>
#include <vector>

#include "sources/wave_header.h"

namespace sources {

// Result of a wave-input operation: 0 for success, otherwise an error code of the audio
// server's client library; WaveInErrorText (wave_in.h) gives its text.
using WaveResult = std::uint32_t;

enum class WaveMessage {
  Data,  // a buffer is full, or was handed back by a reset, and is the caller's again
  Close, // the device has been closed
  Error, // the capture ended on its own (the audio server went away)
};

struct WaveNotice {
  WaveMessage message = WaveMessage::Data;
  WaveHeader *header = nullptr;      // Data: the returned buffer
  std::uint32_t samplesRecorded = 0; // Data: samples written into it, from sample 0
  WaveResult error = 0;              // Error: why the capture ended
};

// Receives the device's notifications. It is called on the capture's own thread or inside a
// device call, with the device's lock held: it must only hand the notice on (for example post
// it to a window) and never call the device.
using WaveCallback = std::function<void(const WaveNotice &)>;

// The platform-neutral part of a wave-input device: registered and queued buffers filled from
// the samples the capture delivers. The first queued buffer is filled from sample 0; when it
// is full it leaves the queue and a Data notice hands it back. Samples that arrive while the
// device is not recording or has no buffer queued are dropped. All calls are thread-safe.
class WaveDevice {
public:
  WaveDevice() = default;
  WaveDevice(const WaveDevice &) = delete;
  WaveDevice &operator=(const WaveDevice &) = delete;

  // Registers a buffer with the device (again is harmless).
  WaveResult PrepareHeader(WaveHeader &header);
  // Releases a registration; a buffer that is not registered is accepted. A queued buffer is
  // refused.
  WaveResult UnprepareHeader(WaveHeader &header);
  // Queues a registered buffer for filling from its sample 0. A buffer that is still queued
  // is refused and keeps its place.
  WaveResult AddBuffer(WaveHeader &header);
  // Starts recording into the queued buffers.
  WaveResult Start();
  // Stops recording and hands every queued buffer back, each with a Data notice.
  WaveResult Reset();
  // Drops the queue without notices and every registration, sends the Close notice and ends
  // all notification: none is delivered once Close has returned. Later calls fail.
  void Close();

protected:
  // The device is open: notices go to `callback` from now on.
  void Activate(WaveCallback callback);
  // The capture side: new samples, in time order.
  void Deliver(std::span<const std::int16_t> samples);
  // The capture side: the capture has ended with `error`; recording stops and one Error
  // notice is sent (later failures are not reported again).
  void Fail(WaveResult error);

private:
  bool IsQueued(const WaveHeader &header) const;
  bool IsPrepared(const WaveHeader &header) const;
  WaveResult Usable() const;
  void Notify(const WaveNotice &notice) const;

  mutable std::mutex mutex;
  WaveCallback callback;
  bool open = false;
  bool recording = false;
  WaveResult failure = 0;
  std::vector<WaveHeader *> prepared;
  std::deque<WaveHeader *> queue;
  std::uint32_t position = 0; // next sample of queue.front()
};

} // namespace sources
