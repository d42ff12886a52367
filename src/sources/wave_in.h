#pragma once

#include <memory>
#include <string>

#include "sources/wave_device.h"
#include "sources/wave_format.h"

struct pa_threaded_mainloop;
struct pa_context;
struct pa_stream;

namespace sources {

// A wave-input device on the audio server's default capture source, through the PulseAudio
// client library: a record stream whose samples the library's own thread delivers into the
// queued buffers while the caller's thread is busy. Destroying the device closes it.
class WaveIn final : public WaveDevice {
public:
  // Opens the default source for `format` (mono 16-bit PCM only) and leaves the device in
  // `device`; notices go to `callback` from the library's thread until the device is
  // destroyed. On failure `device` is empty and the result says why: an invalid format or
  // rate (0, above the library's maximum) at once, no server or a refused stream as soon as
  // the server says so, a server that does not answer after a few seconds.
  static WaveResult Open(std::unique_ptr<WaveIn> &device, const WaveFormat &format,
                         WaveCallback callback);

  ~WaveIn();

private:
  WaveIn() = default;
  WaveResult Connect(const WaveFormat &format, WaveCallback callback);
  // Waits, with the main loop locked, until the state that `state` reads is `ready` (0), is no
  // longer good (the context's error) or the open times out.
  template <typename Read, typename State>
  WaveResult WaitUntil(Read state, State ready, int (*good)(State));

  // The state callback of the context and of the stream: a failure ends the capture with an
  // Error notice, and every change wakes an open that waits for it.
  template <auto GetState, auto IsGood, typename Object>
  static void OnState(Object *object, void *self);
  static void OnRead(pa_stream *stream, std::size_t bytes, void *self);

  pa_threaded_mainloop *mainloop = nullptr;
  pa_context *context = nullptr;
  pa_stream *stream = nullptr;
  bool timedOut = false; // guarded by the main loop's lock
};

// The readable text of a wave-input result code (at most 254 characters).
std::string WaveInErrorText(WaveResult code);

} // namespace sources
