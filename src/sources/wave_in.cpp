#include "sources/wave_in.h"

#include <pulse/context.h>
#include <pulse/error.h>
#include <pulse/rtclock.h>
#include <pulse/stream.h>
#include <pulse/thread-mainloop.h>
#include <pulse/timeval.h>

#include <algorithm>

namespace sources {

namespace {

// How long an open waits for a server that accepts the connection but does not answer.
constexpr pa_usec_t kOpenTimeout = 5 * PA_USEC_PER_SEC;
// The stream hands over samples in pieces of about this length.
constexpr pa_usec_t kFragment = 10 * PA_USEC_PER_MSEC;

WaveResult ContextError(pa_context *context) {
  const int error = pa_context_errno(context);
  return error != PA_OK ? static_cast<WaveResult>(error) : WaveResult{PA_ERR_UNKNOWN};
}

// Holds the main loop's lock for one scope.
class MainloopLock {
public:
  explicit MainloopLock(pa_threaded_mainloop *loop) : loop(loop) {
    pa_threaded_mainloop_lock(loop);
  }
  ~MainloopLock() { pa_threaded_mainloop_unlock(loop); }
  MainloopLock(const MainloopLock &) = delete;
  MainloopLock &operator=(const MainloopLock &) = delete;

private:
  pa_threaded_mainloop *loop;
};

} // namespace

WaveResult WaveIn::Open(std::unique_ptr<WaveIn> &device, const WaveFormat &format,
                        WaveCallback callback) {
  device.reset();
  std::unique_ptr<WaveIn> opened(new WaveIn);
  if (const WaveResult result = opened->Connect(format, std::move(callback))) {
    return result;
  }
  device = std::move(opened);
  return 0;
}

WaveResult WaveIn::Connect(const WaveFormat &format, WaveCallback callback) {
  const pa_sample_spec sampleSpec{PA_SAMPLE_S16LE, format.samplesPerSec, 1};
  if (format.formatTag != kWaveFormatPcm || format.channels != 1 || format.bitsPerSample != 16 ||
      !pa_sample_spec_valid(&sampleSpec)) {
    return PA_ERR_INVALID;
  }
  mainloop = pa_threaded_mainloop_new();
  if (mainloop == nullptr) {
    return PA_ERR_INTERNAL;
  }
  context = pa_context_new(pa_threaded_mainloop_get_api(mainloop), "Vireo");
  if (context == nullptr) {
    return PA_ERR_INTERNAL;
  }
  pa_context_set_state_callback(context, OnState<pa_context_get_state, PA_CONTEXT_IS_GOOD>, this);
  // No automatic start of a server: without one the open fails at once.
  if (pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
    return ContextError(context);
  }
  if (pa_threaded_mainloop_start(mainloop) < 0) {
    return PA_ERR_INTERNAL;
  }

  const MainloopLock lock(mainloop);
  pa_time_event *timer = pa_context_rttime_new(
      context, pa_rtclock_now() + kOpenTimeout,
      [](pa_mainloop_api *, pa_time_event *, const struct timeval *, void *self) {
        auto *wave = static_cast<WaveIn *>(self);
        wave->timedOut = true;
        pa_threaded_mainloop_signal(wave->mainloop, 0);
      },
      this);
  if (const WaveResult result = WaitUntil([this] { return pa_context_get_state(context); },
                                          PA_CONTEXT_READY, PA_CONTEXT_IS_GOOD)) {
    return result;
  }

  stream = pa_stream_new(context, "Vireo capture", &sampleSpec, nullptr);
  if (stream == nullptr) {
    return ContextError(context);
  }
  pa_stream_set_state_callback(stream, OnState<pa_stream_get_state, PA_STREAM_IS_GOOD>, this);
  pa_stream_set_read_callback(stream, OnRead, this);
  pa_buffer_attr attributes{};
  attributes.maxlength = static_cast<std::uint32_t>(-1);
  attributes.tlength = static_cast<std::uint32_t>(-1);
  attributes.prebuf = static_cast<std::uint32_t>(-1);
  attributes.minreq = static_cast<std::uint32_t>(-1);
  attributes.fragsize = static_cast<std::uint32_t>(pa_usec_to_bytes(kFragment, &sampleSpec));
  if (pa_stream_connect_record(stream, nullptr, &attributes, PA_STREAM_ADJUST_LATENCY) < 0) {
    return ContextError(context);
  }
  if (const WaveResult result = WaitUntil([this] { return pa_stream_get_state(stream); },
                                          PA_STREAM_READY, PA_STREAM_IS_GOOD)) {
    return result;
  }
  pa_threaded_mainloop_get_api(mainloop)->time_free(timer);
  // From here on the read callback fills the queued buffers, and a failure of the context or
  // the stream ends the capture with an Error notice.
  Activate(std::move(callback));
  return 0;
}

template <typename Read, typename State>
WaveResult WaveIn::WaitUntil(Read state, State ready, int (*good)(State)) {
  for (;;) {
    const State now = state();
    if (now == ready) {
      return 0;
    }
    if (!good(now)) {
      return ContextError(context);
    }
    if (timedOut) {
      return PA_ERR_TIMEOUT;
    }
    pa_threaded_mainloop_wait(mainloop);
  }
}

WaveIn::~WaveIn() {
  if (mainloop != nullptr) {
    {
      const MainloopLock lock(mainloop);
      if (stream != nullptr) {
        pa_stream_set_state_callback(stream, nullptr, nullptr);
        pa_stream_set_read_callback(stream, nullptr, nullptr);
        pa_stream_disconnect(stream);
        pa_stream_unref(stream);
      }
      if (context != nullptr) {
        pa_context_set_state_callback(context, nullptr, nullptr);
        pa_context_disconnect(context);
        pa_context_unref(context);
      }
    }
    // After the loop has stopped no callback of the library runs any more.
    pa_threaded_mainloop_stop(mainloop);
    pa_threaded_mainloop_free(mainloop);
  }
  Close();
}

template <auto GetState, auto IsGood, typename Object>
void WaveIn::OnState(Object *object, void *self) {
  auto *wave = static_cast<WaveIn *>(self);
  if (!IsGood(GetState(object))) {
    wave->Fail(ContextError(wave->context));
  }
  pa_threaded_mainloop_signal(wave->mainloop, 0);
}

void WaveIn::OnRead(pa_stream *stream, std::size_t, void *self) {
  auto *wave = static_cast<WaveIn *>(self);
  const void *data = nullptr;
  std::size_t bytes = 0;
  while (pa_stream_readable_size(stream) > 0) {
    if (pa_stream_peek(stream, &data, &bytes) < 0) {
      wave->Fail(ContextError(wave->context));
      return;
    }
    if (bytes == 0) {
      return;
    }
    // A hole in the stream (no data) is skipped like samples that arrive with no buffer.
    if (data != nullptr) {
      wave->Deliver({static_cast<const std::int16_t *>(data), bytes / sizeof(std::int16_t)});
    }
    pa_stream_drop(stream);
  }
}

std::string WaveInErrorText(WaveResult code) {
  const char *known = code < PA_ERR_MAX ? pa_strerror(static_cast<int>(code)) : nullptr;
  std::string text = known != nullptr ? known : "Unknown error code " + std::to_string(code);
  text.resize(std::min<std::size_t>(text.size(), 254));
  return text;
}

} // namespace sources
