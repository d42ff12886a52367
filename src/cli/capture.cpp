#include "cli/capture.h"

#include <chrono>

namespace cli {

std::unique_ptr<Capture> Capture::Open(double sampleRate, std::string &error) {
  std::unique_ptr<Capture> capture(new Capture);
  Capture *const self = capture.get();
  const sources::WaveResult result = sources::WaveIn::Open(
      capture->device_, sources::MonoPcm16(sampleRate), [self](const sources::WaveNotice &notice) {
        const std::lock_guard guard(self->mutex_);
        if (notice.message == sources::WaveMessage::Data &&
            notice.samplesRecorded == notice.header->bufferLength) {
          self->full_.push_back(notice.header);
        } else if (notice.message == sources::WaveMessage::Error) {
          self->failure_ = notice.error;
        }
        self->filled_.notify_one();
      });
  if (result != 0) {
    error = sources::WaveInErrorText(result);
    return nullptr;
  }
  for (sources::WaveHeader &buffer : capture->buffers_) {
    capture->device_->PrepareHeader(buffer);
    capture->device_->AddBuffer(buffer);
  }
  capture->device_->Start();
  return capture;
}

Capture::~Capture() {
  if (device_) {
    device_->Reset();
  }
}

bool Capture::NextFrame(analysis::TimeFrame &frame, const std::atomic<bool> &stop,
                        std::string &error) {
  sources::WaveHeader *buffer = nullptr;
  {
    std::unique_lock lock(mutex_);
    while (full_.empty() && failure_ == 0 && !stop) {
      filled_.wait_for(lock, std::chrono::milliseconds(100));
    }
    if (full_.empty() || stop) {
      error = failure_ != 0 ? sources::WaveInErrorText(failure_) : std::string();
      return false;
    }
    buffer = full_.front();
    full_.pop_front();
  }
  sources::ReadWaveFrame(*buffer, frame);
  device_->AddBuffer(*buffer);
  return true;
}

} // namespace cli
