#include "sources/wave_device.h"
#include "sources/wave_format.h"
#include "sources/wave_header.h"
#include "sources/wave_in.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <numeric>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

namespace sources {
namespace {

using namespace std::chrono_literals;

// Every notice a device sends, for waiting on from the test's thread.
class NoticeLog {
public:
  WaveCallback Callback() {
    return [this](const WaveNotice &notice) {
      const std::lock_guard guard(mutex);
      notices.push_back(notice);
      changed.notify_all();
    };
  }
  std::vector<WaveNotice> Notices() const {
    const std::lock_guard guard(mutex);
    return notices;
  }
  // Waits (at most 10 s) for a notice of the given kind; its index, or none.
  std::optional<std::size_t> WaitFor(WaveMessage message) const {
    std::unique_lock guard(mutex);
    std::optional<std::size_t> found;
    changed.wait_for(guard, 10s, [&] {
      for (std::size_t i = 0; i < notices.size(); ++i) {
        if (notices[i].message == message) {
          found = i;
          return true;
        }
      }
      return false;
    });
    return found;
  }

private:
  mutable std::mutex mutex;
  mutable std::condition_variable changed;
  std::vector<WaveNotice> notices;
};

// A device fed from the test instead of a capture.
class FedDevice : public WaveDevice {
public:
  explicit FedDevice(NoticeLog &log) { Activate(log.Callback()); }
  using WaveDevice::Deliver;
  using WaveDevice::Fail;
};

std::vector<std::int16_t> Ramp(int first, int count) {
  std::vector<std::int16_t> samples(count);
  std::iota(samples.begin(), samples.end(), static_cast<std::int16_t>(first));
  return samples;
}

std::vector<std::int16_t> Contents(const WaveHeader &header) {
  return {header.data.get(), header.data.get() + header.bufferLength};
}

class WaveDeviceTest : public ::testing::Test {
protected:
  // A recording device with `header` queued.
  void StartWith(WaveHeader &header) {
    ASSERT_EQ(device.PrepareHeader(header), 0u);
    ASSERT_EQ(device.AddBuffer(header), 0u);
    ASSERT_EQ(device.Start(), 0u);
  }

  NoticeLog log;
  FedDevice device{log};
  WaveHeader buffer{8};
};

TEST_F(WaveDeviceTest, FillsFromSampleZeroAndHandsTheBufferBackOnceFull) {
  StartWith(buffer);
  device.Deliver(Ramp(1, 3));
  EXPECT_EQ(Contents(buffer), (std::vector<std::int16_t>{1, 2, 3, 0, 0, 0, 0, 0}));
  EXPECT_TRUE(log.Notices().empty());

  device.Deliver(Ramp(4, 7)); // five fit; 9 and 10 arrive with no buffer queued
  EXPECT_EQ(Contents(buffer), Ramp(1, 8));
  ASSERT_EQ(log.Notices().size(), 1u);
  const WaveNotice done = log.Notices()[0];
  EXPECT_EQ(done.message, WaveMessage::Data);
  EXPECT_EQ(done.header, &buffer);
  EXPECT_EQ(done.samplesRecorded, 8u);

  device.Deliver(Ramp(20, 4));
  EXPECT_EQ(Contents(buffer), Ramp(1, 8)) << "samples without a queued buffer are dropped";

  ASSERT_EQ(device.AddBuffer(buffer), 0u);
  device.Deliver(Ramp(30, 2));
  EXPECT_EQ(Contents(buffer), (std::vector<std::int16_t>{30, 31, 3, 4, 5, 6, 7, 8}))
      << "a re-queued buffer is filled from sample 0 again";
}

TEST_F(WaveDeviceTest, RecordsNothingBeforeStart) {
  ASSERT_EQ(device.PrepareHeader(buffer), 0u);
  ASSERT_EQ(device.AddBuffer(buffer), 0u);
  device.Deliver(Ramp(1, 8));
  EXPECT_EQ(Contents(buffer), std::vector<std::int16_t>(8, 0));
  ASSERT_EQ(device.Start(), 0u);
  device.Deliver(Ramp(1, 2));
  EXPECT_EQ(Contents(buffer)[0], 1);
}

TEST_F(WaveDeviceTest, RefusesToQueueABufferTwiceOrUnregistered) {
  WaveHeader unregistered{8};
  EXPECT_NE(device.AddBuffer(unregistered), 0u);
  StartWith(buffer);
  const WaveResult again = device.AddBuffer(buffer);
  EXPECT_NE(again, 0u);
  EXPECT_FALSE(WaveInErrorText(again).empty());
  device.Deliver(Ramp(1, 16));
  EXPECT_EQ(log.Notices().size(), 1u) << "the refused re-queue must not have queued it twice";
  EXPECT_EQ(Contents(buffer), Ramp(1, 8));
}

TEST_F(WaveDeviceTest, ResetHandsTheQueuedBufferBackAndStopsRecording) {
  StartWith(buffer);
  device.Deliver(Ramp(1, 3));
  EXPECT_NE(device.UnprepareHeader(buffer), 0u) << "a queued buffer stays registered";
  ASSERT_EQ(device.Reset(), 0u);
  ASSERT_EQ(log.Notices().size(), 1u);
  EXPECT_EQ(log.Notices()[0].message, WaveMessage::Data);
  EXPECT_EQ(log.Notices()[0].header, &buffer);
  EXPECT_EQ(log.Notices()[0].samplesRecorded, 3u);

  ASSERT_EQ(device.AddBuffer(buffer), 0u);
  device.Deliver(Ramp(50, 2));
  EXPECT_EQ(Contents(buffer)[0], 1) << "a reset device records only after the next start";
  ASSERT_EQ(device.Start(), 0u);
  device.Deliver(Ramp(50, 2));
  EXPECT_EQ(Contents(buffer)[0], 50);
  EXPECT_EQ(Contents(buffer)[2], 3);
}

TEST_F(WaveDeviceTest, CloseReleasesEverythingAndEndsNotification) {
  WaveHeader unregistered{8};
  EXPECT_EQ(device.UnprepareHeader(unregistered), 0u) << "an unregistered header is accepted";
  StartWith(buffer);
  device.Close();
  ASSERT_EQ(log.Notices().size(), 1u);
  EXPECT_EQ(log.Notices()[0].message, WaveMessage::Close);

  device.Deliver(Ramp(1, 8));
  device.Fail(1);
  device.Close();
  EXPECT_EQ(Contents(buffer), std::vector<std::int16_t>(8, 0));
  EXPECT_EQ(log.Notices().size(), 1u) << "nothing is sent after Close";
  EXPECT_NE(device.AddBuffer(buffer), 0u);
  EXPECT_NE(device.Start(), 0u);
}

TEST_F(WaveDeviceTest, AFailureIsReportedOnceAndStopsTheCapture) {
  StartWith(buffer);
  device.Fail(7);
  device.Fail(8);
  ASSERT_EQ(log.Notices().size(), 1u);
  EXPECT_EQ(log.Notices()[0].message, WaveMessage::Error);
  EXPECT_EQ(log.Notices()[0].error, 7u);
  device.Deliver(Ramp(1, 8));
  EXPECT_EQ(Contents(buffer), std::vector<std::int16_t>(8, 0));
  EXPECT_EQ(device.Start(), 7u);

  // The buffer can still be taken back and released, so a close reports no error.
  ASSERT_EQ(device.Reset(), 0u);
  EXPECT_EQ(device.UnprepareHeader(buffer), 0u);
}

TEST_F(WaveDeviceTest, ACopyTakesTheBufferAsItStandsDuringARefill) {
  WaveHeader frameBuffer{analysis::kFrameLength};
  StartWith(frameBuffer);
  device.Deliver(std::vector<std::int16_t>(analysis::kFrameLength, 1000));
  ASSERT_EQ(device.AddBuffer(frameBuffer), 0u);
  device.Deliver(std::vector<std::int16_t>(100, -2000));

  analysis::TimeFrame frame;
  ReadWaveFrame(frameBuffer, frame);
  EXPECT_EQ(frame[0], -2000.0f / 32768);
  EXPECT_EQ(frame[99], -2000.0f / 32768);
  EXPECT_EQ(frame[100], 1000.0f / 32768);
  EXPECT_EQ(frame[4095], 1000.0f / 32768);
}

// While a capture thread refills the buffer, every copy shows the newest fill in front and
// the previous one behind it, never anything else.
TEST_F(WaveDeviceTest, CopiesWhileTheCaptureWritesSeeWholeDeliveries) {
  WaveHeader frameBuffer{analysis::kFrameLength};
  StartWith(frameBuffer);
  constexpr int kFills = 60;
  std::thread capture([&] {
    for (std::int16_t fill = 1; fill <= kFills; ++fill) {
      for (int chunk = 0; chunk < 16; ++chunk) {
        device.Deliver(std::vector<std::int16_t>(analysis::kFrameLength / 16, fill));
      }
      device.AddBuffer(frameBuffer);
    }
  });
  analysis::TimeFrame frame;
  int torn = 0;
  for (int copy = 0; copy < 2000; ++copy) {
    ReadWaveFrame(frameBuffer, frame);
    const float front = frame[0];
    std::size_t boundary = 0;
    while (boundary < frame.size() && frame[boundary] == front) {
      ++boundary;
    }
    for (std::size_t i = boundary; i < frame.size(); ++i) {
      if (frame[i] != frame[boundary] || front * 32768 != frame[i] * 32768 + 1 ||
          boundary % (analysis::kFrameLength / 16) != 0) {
        ++torn;
        break;
      }
    }
  }
  capture.join();
  EXPECT_EQ(torn, 0);
  EXPECT_EQ(log.Notices().size(), static_cast<std::size_t>(kFills));
}

TEST(WaveHeaderTest, CopiesSamplesScaledByTwoToTheMinus15) {
  WaveHeader header{analysis::kFrameLength};
  header.data[0] = -32768;
  header.data[1] = 0;
  header.data[2] = 32767;
  header.data[3] = 1;
  analysis::TimeFrame frame;
  frame.fill(5.0f);
  ReadWaveFrame(header, frame);
  EXPECT_EQ(frame[0], -1.0f);
  EXPECT_EQ(frame[1], 0.0f);
  EXPECT_EQ(frame[2], 0.999969482421875f);
  EXPECT_EQ(frame[3], 0x1p-15f);
  EXPECT_EQ(frame[4095], 0.0f) << "new sample memory is zero-filled";
}

TEST(WaveFormatTest, TruncatesTheRateAndMapsUnrepresentableRatesToZero) {
  EXPECT_EQ(WaveRate(44100.0), 44100u);
  EXPECT_EQ(WaveRate(8000.5), 8000u);
  EXPECT_EQ(WaveRate(-0.5), 0u);
  EXPECT_EQ(WaveRate(-8000.0), 0u);
  EXPECT_EQ(WaveRate(4294967295.9), 4294967295u);
  EXPECT_EQ(WaveRate(4294967296.0), 0u);
  EXPECT_EQ(WaveRate(std::numeric_limits<double>::quiet_NaN()), 0u);

  const WaveFormat format = MonoPcm16(22050.75);
  EXPECT_EQ(format.formatTag, 1);
  EXPECT_EQ(format.channels, 1);
  EXPECT_EQ(format.samplesPerSec, 22050u);
  EXPECT_EQ(format.avgBytesPerSec, 44100u);
  EXPECT_EQ(format.blockAlign, 2);
  EXPECT_EQ(format.bitsPerSample, 16);
  EXPECT_EQ(format.extraSize, 18);
}

// Sets an environment variable for one scope and restores it afterwards.
class ScopedEnv {
public:
  ScopedEnv(const char *name, const std::string &value) : name(name) {
    if (const char *old = std::getenv(name)) {
      previous = old;
    }
    setenv(name, value.c_str(), 1);
  }
  ~ScopedEnv() {
    if (previous) {
      setenv(name, previous->c_str(), 1);
    } else {
      unsetenv(name);
    }
  }

private:
  const char *name;
  std::optional<std::string> previous;
};

void ExpectOpenFails(double rate, const std::string &text) {
  NoticeLog log;
  std::unique_ptr<WaveIn> device;
  const WaveResult result = WaveIn::Open(device, MonoPcm16(rate), log.Callback());
  EXPECT_NE(result, 0u) << "rate " << rate;
  EXPECT_EQ(device, nullptr);
  EXPECT_EQ(WaveInErrorText(result), text) << "rate " << rate;
  EXPECT_TRUE(log.Notices().empty());
}

TEST(WaveInTest, RefusesRatesNoDeviceTakesBeforeAskingTheServer) {
  const ScopedEnv noServer("PULSE_SERVER", "unix:/nonexistent/vireo/native");
  ExpectOpenFails(0, "Invalid argument");
  ExpectOpenFails(-8000, "Invalid argument");
  ExpectOpenFails(999999, "Invalid argument");
}

TEST(WaveInTest, FailsAtOnceWithoutAServer) {
  const ScopedEnv noServer("PULSE_SERVER", "unix:/nonexistent/vireo/native");
  ExpectOpenFails(44100, "Connection refused");
}

bool ServerExpected() {
  const char *flag = std::getenv("VIREO_TEST_PULSE");
  return flag != nullptr && std::string(flag) == "1";
}

// A capture from the default source at 44100 Hz. Without an audio server the test is skipped,
// unless the environment says one was started for the tests: then it fails.
class CaptureTest : public ::testing::Test {
protected:
  void SetUp() override {
    const WaveResult result = WaveIn::Open(device, MonoPcm16(44100), log.Callback());
    if (device == nullptr) {
      if (ServerExpected()) {
        FAIL() << "the test audio server is not reachable: " << WaveInErrorText(result);
      }
      GTEST_SKIP() << "no audio server: " << WaveInErrorText(result);
    }
    ASSERT_EQ(device->PrepareHeader(header), 0u);
    ASSERT_EQ(device->AddBuffer(header), 0u);
    ASSERT_EQ(device->Start(), 0u);
  }

  NoticeLog log;
  std::unique_ptr<WaveIn> device;
  WaveHeader header{analysis::kFrameLength};
};

TEST_F(CaptureTest, FillsAQueuedBufferFromTheDefaultSource) {
  const std::optional<std::size_t> done = log.WaitFor(WaveMessage::Data);
  ASSERT_TRUE(done) << "no full buffer within 10 s";
  EXPECT_EQ(log.Notices()[*done].samplesRecorded, header.bufferLength);
  const std::vector<std::int16_t> samples = Contents(header);
  EXPECT_GT(*std::max_element(samples.begin(), samples.end()), 1000) << "the test tone is loud";
  device.reset();
  EXPECT_EQ(log.Notices().back().message, WaveMessage::Close);
}

// Runs a shell command line with the test audio server's functions loaded; its output.
std::string RunWithServerScript(const std::string &commands) {
  const std::string line =
      "bash -c 'source \"" VIREO_AUDIO_SERVER_SCRIPT "\" && " + commands + "' 2>/dev/null";
  std::string output;
  if (FILE *pipe = popen(line.c_str(), "r")) {
    char chunk[256];
    while (std::fgets(chunk, sizeof chunk, pipe) != nullptr) {
      output += chunk;
    }
    pclose(pipe);
  }
  while (!output.empty() && output.back() == '\n') {
    output.pop_back();
  }
  return output;
}

TEST(WaveInServerLossTest, AServerDyingMidCaptureEndsItWithAnError) {
  const std::string dir =
      RunWithServerScript("start_audio_server >/dev/null && echo \"$audio_server_dir\" || echo");
  if (dir.empty()) {
    if (ServerExpected()) {
      FAIL() << "could not start a private audio server";
    }
    GTEST_SKIP() << "no audio server can be started here";
  }
  const std::string stop = "audio_server_dir=" + dir + " && stop_audio_server";
  // A server daemonized into a session of its own was kept off the processor for seconds by the
  // capture tests running beside it, whatever its nice level; it must stay in the caller's.
  pid_t server = 0;
  std::ifstream(dir + "/pulse/pid") >> server;
  EXPECT_GT(server, 0) << "no pid file";
  EXPECT_EQ(getsid(server), getsid(0)) << "the server runs in a session of its own";
  NoticeLog log;
  std::unique_ptr<WaveIn> device;
  {
    const ScopedEnv server("PULSE_SERVER", "unix:" + dir + "/pulse/native");
    const WaveResult result = WaveIn::Open(device, MonoPcm16(44100), log.Callback());
    if (result != 0) {
      RunWithServerScript(stop);
      FAIL() << WaveInErrorText(result);
    }
  }
  WaveHeader header{analysis::kFrameLength};
  ASSERT_EQ(device->PrepareHeader(header), 0u);
  ASSERT_EQ(device->AddBuffer(header), 0u);
  ASSERT_EQ(device->Start(), 0u);
  RunWithServerScript(stop);

  const std::optional<std::size_t> ended = log.WaitFor(WaveMessage::Error);
  ASSERT_TRUE(ended) << "the capture did not notice the server's end within 10 s";
  EXPECT_EQ(WaveInErrorText(log.Notices()[*ended].error), "Connection terminated");
  EXPECT_NE(device->AddBuffer(header), 0u);
  EXPECT_EQ(device->Reset(), 0u);
  EXPECT_EQ(device->UnprepareHeader(header), 0u);
  device.reset();
  EXPECT_EQ(log.Notices().back().message, WaveMessage::Close);
}

} // namespace
} // namespace sources
