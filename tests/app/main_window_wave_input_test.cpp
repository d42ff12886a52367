// The wave audio source of the main window: the rate it records at, its error boxes, a real
// capture through the audio server, and shutdown while the capture is running.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QTest>
#include <QTimer>

#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

#include "app/wave_in_event.h"
#include "app/wave_in_thread.h"
#include "form_probe.h"
#include "message_box_watcher.h"

namespace {

const QString kWaveInError = QStringLiteral("Wave In Error");

// Sets an environment variable for one scope and restores it afterwards.
class ScopedEnv {
public:
  ScopedEnv(const char *name, const QByteArray &value)
      : name(name), hadValue(qEnvironmentVariableIsSet(name)), previous(qgetenv(name)) {
    qputenv(name, value);
  }
  ~ScopedEnv() {
    if (hadValue) {
      qputenv(name, previous);
    } else {
      qunsetenv(name);
    }
  }

private:
  const char *name;
  bool hadValue;
  QByteArray previous;
};

// Ends the test program if the scope it guards has not finished within a minute: a hang
// becomes a failure with a message instead of a stuck test run.
class Watchdog {
public:
  explicit Watchdog(const char *what)
      : guard([this, what] {
          std::unique_lock lock(mutex);
          if (!done.wait_for(lock, std::chrono::minutes(1), [this] { return finished; })) {
            std::fprintf(stderr, "hung: %s\n", what);
            std::abort();
          }
        }) {}
  ~Watchdog() {
    {
      const std::lock_guard lock(mutex);
      finished = true;
    }
    done.notify_all();
    guard.join();
  }

private:
  std::mutex mutex;
  std::condition_variable done;
  bool finished = false;
  std::thread guard;
};

// Counts the notifications of a full buffer that reach a window.
class FilledBufferCounter : public QObject {
public:
  int Count() const { return count; }

protected:
  bool eventFilter(QObject *, QEvent *event) override {
    if (event->type() == WaveInEvent::EventType()) {
      // A reset hands the buffer back too, with fewer samples.
      const sources::WaveNotice &notice = static_cast<WaveInEvent *>(event)->Notice;
      count += notice.message == sources::WaveMessage::Data &&
               notice.samplesRecorded == analysis::kFrameLength;
    }
    return false;
  }

private:
  int count = 0;
};

void ClickItem(RadioGroup *group, int index) {
  QWidget *item = group->Item(index);
  QTest::mouseClick(item, Qt::LeftButton, {}, QPoint(6, item->height() / 2));
}

void Pick(QComboBox *box, int index) {
  box->setCurrentIndex(index);
  emit box->activated(index);
}

void TypeRate(EditBox *edit, const QString &text) {
  edit->clear();
  QTest::keyClicks(edit, text);
  QTest::keyClick(edit, Qt::Key_Return);
}

// The window with the audio server out of reach: every open of the wave device fails.
class WaveInputWithoutServer : public ::testing::Test {
protected:
  WaveInputWithoutServer() {
    form.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&form));
  }

  void SelectWaveSource() { ClickItem(probe.RadioGroup1(), 1); }

  // The boxes shown so far are all "Wave In Error" boxes of the window with this text.
  void ExpectErrorBoxes(std::size_t count, const QString &text) {
    ASSERT_EQ(boxes.Boxes().size(), count);
    for (const MessageBoxWatcher::Seen &box : boxes.Boxes()) {
      EXPECT_EQ(box.caption, kWaveInError);
      EXPECT_EQ(box.text, text);
      EXPECT_TRUE(box.hasParent);
    }
  }

  ScopedEnv noServer{"PULSE_SERVER", "unix:/nonexistent/vireo/native"};
  MessageBoxWatcher boxes;
  TForm1 form;
  TForm1Probe probe{form};
};

TEST_F(WaveInputWithoutServer, FixedRateEntriesSetTheRate) {
  SelectWaveSource();
  EXPECT_EQ(probe.ComboBox1()->count(), 4);
  EXPECT_EQ(probe.ComboBox1()->currentIndex(), 0);
  for (const auto &[entry, rate] : {std::pair{-1, 44100}, {1, 22050}, {2, 11025}, {0, 44100}}) {
    if (entry >= 0) {
      Pick(probe.ComboBox1(), entry);
    }
    EXPECT_EQ(probe.SampleRate(), rate);
    EXPECT_EQ(probe.Edit1()->text(), QString::number(rate));
    EXPECT_EQ(probe.FrameTime(), 4096.0 / rate);
    EXPECT_EQ(probe.WaveFormat().samplesPerSec, static_cast<std::uint32_t>(rate));
    EXPECT_EQ(probe.WaveFormat().avgBytesPerSec, 2u * rate);
  }
  ExpectErrorBoxes(4, "Connection refused");
}

TEST_F(WaveInputWithoutServer, ATypedRateIsUsedOnlyWithTheAnyRateEntry) {
  SelectWaveSource();
  TypeRate(probe.Edit1(), "8000");
  EXPECT_EQ(probe.SampleRate(), 44100);
  EXPECT_EQ(probe.Edit1()->text(), "44100");
  EXPECT_EQ(probe.WaveFormat().samplesPerSec, 44100u);

  Pick(probe.ComboBox1(), 3);
  TypeRate(probe.Edit1(), "8000.5");
  EXPECT_EQ(probe.SampleRate(), 8000.5);
  EXPECT_EQ(probe.WaveFormat().samplesPerSec, 8000u);
  EXPECT_EQ(probe.Edit1()->text(), "8000.5");
  EXPECT_EQ(probe.FrameTime(), 4096 / 8000.5);
  ExpectErrorBoxes(4, "Connection refused");
}

TEST_F(WaveInputWithoutServer, RatesNoDeviceTakesGiveOneBoxEachAndMeasuringGoesOn) {
  SelectWaveSource();
  Pick(probe.ComboBox1(), 3);
  ExpectErrorBoxes(2, "Connection refused");
  std::size_t shown = boxes.Boxes().size();
  for (const char *rate : {"0", "-8000", "999999"}) {
    TypeRate(probe.Edit1(), rate);
    ASSERT_EQ(boxes.Boxes().size(), shown + 1) << rate;
    EXPECT_EQ(boxes.Boxes().back().caption, kWaveInError);
    EXPECT_EQ(boxes.Boxes().back().text, "Invalid argument") << rate;
    EXPECT_EQ(probe.WaveIn(), nullptr);
    EXPECT_EQ(probe.Edit1()->text(), rate);

    const std::int32_t param = probe.PatternParam();
    probe.TimeData().fill(0.5f);
    probe.Button1()->click();
    EXPECT_EQ(boxes.Boxes().size(), shown + 2) << "the one-shot reopens and reports again";
    EXPECT_EQ(probe.PatternParam(), param + 1);
    EXPECT_EQ(probe.TimeData()[100], 0.0f) << "the frame is copied from the untouched buffer";
    shown += 2;
  }
  EXPECT_EQ(probe.FrameTime(), 4096 / 999999.0);
  TypeRate(probe.Edit1(), "0");
  EXPECT_EQ(probe.FrameTime(), 1.0);
}

TEST_F(WaveInputWithoutServer, EachOpenReportsOnceAndAContinuousRunGoesOn) {
  SelectWaveSource();
  ExpectErrorBoxes(1, "Connection refused");
  // Stopped once the run has made a few frames after its failed open and error box.
  const std::int32_t param = probe.PatternParam();
  QTimer stopper;
  QObject::connect(&stopper, &QTimer::timeout, [&] {
    if (probe.Running() && probe.PatternParam() > param + 3) {
      stopper.stop();
      probe.Button2()->click();
    }
  });
  stopper.start(5);
  probe.Button2()->click();
  ExpectErrorBoxes(2, "Connection refused");

  // Another source leaves the (missing) device alone; coming back opens it again.
  ClickItem(probe.RadioGroup1(), 2);
  probe.Button1()->click();
  ExpectErrorBoxes(2, "Connection refused");
  SelectWaveSource();
  ExpectErrorBoxes(3, "Connection refused");
  EXPECT_EQ(probe.SampleRate(), 44100);
}

// A worker waiting for its re-queue when the window goes: destruction serves the hand-over,
// waits for the worker and deletes it, and nothing touches the freed window.
TEST(WaveInputShutdown, DestroyingTheWindowServesAPendingRequeue) {
  auto form = std::make_unique<TForm1>();
  TForm1Probe probe(*form);
  QCoreApplication::postEvent(form.get(), new WaveInEvent({sources::WaveMessage::Data}));
  QCoreApplication::sendPostedEvents(form.get(), WaveInEvent::EventType());
  ASSERT_EQ(probe.WaveInThreads().size(), 1u);
  EXPECT_FALSE(probe.WaveInThreads()[0]->wait(QDeadlineTimer(200)))
      << "the worker cannot end before the GUI thread runs its re-queue";
  const Watchdog watchdog("destroying the window with a re-queue pending");
  form.reset();
}

bool ServerExpected() {
  return qEnvironmentVariable("VIREO_TEST_PULSE") == "1";
}

// The window recording from the audio server's default source (the test server plays a
// 1000 Hz tone there). Skipped without a server, unless the environment says one was started.
class WaveCapture : public ::testing::Test {
protected:
  void SetUp() override {
    std::unique_ptr<sources::WaveIn> device;
    const sources::WaveResult result = sources::WaveIn::Open(device, sources::MonoPcm16(44100),
                                                             [](const sources::WaveNotice &) {});
    if (device == nullptr) {
      if (ServerExpected()) {
        FAIL() << "the test audio server is not reachable: " << sources::WaveInErrorText(result);
      }
      GTEST_SKIP() << "no audio server: " << sources::WaveInErrorText(result);
    }
    form = std::make_unique<TForm1>();
    probe = std::make_unique<TForm1Probe>(*form);
    form->installEventFilter(&filled);
    form->show();
  }

  // Runs continuously until `count` buffers have been filled (at most 10 s).
  void RunUntilFilled(int count) {
    QTimer poll;
    QElapsedTimer waited;
    waited.start();
    QObject::connect(&poll, &QTimer::timeout, [&] {
      if (filled.Count() >= count || waited.hasExpired(10000)) {
        poll.stop();
        probe->Button2()->click();
      }
    });
    poll.start(5);
    probe->Button2()->click();
  }

  // The strongest bin of the displayable half of the last spectrum.
  int PeakBin() {
    const analysis::SpectrumFrame &spectrum = probe->SpectrumData();
    int peak = 1;
    auto power = [&](int k) {
      return spectrum[2 * k] * spectrum[2 * k] + spectrum[2 * k + 1] * spectrum[2 * k + 1];
    };
    for (int k = 2; k < 2048; ++k) {
      if (power(k) > power(peak)) {
        peak = k;
      }
    }
    return peak;
  }

  MessageBoxWatcher boxes{QMessageBox::Yes};
  FilledBufferCounter filled;
  std::unique_ptr<TForm1> form;
  std::unique_ptr<TForm1Probe> probe;
};

TEST_F(WaveCapture, AContinuousRunShowsTheToneAtItsBinForEveryFixedRate) {
  ClickItem(probe->RadioGroup1(), 1);
  for (int entry = 0; entry < static_cast<int>(core::kFixedRates.size()); ++entry) {
    const double rate = core::kFixedRates[entry].rate;
    Pick(probe->ComboBox1(), entry);
    const int before = filled.Count();
    // Two fills: the frames after the second copy a buffer that has been full once.
    RunUntilFilled(before + 2);
    ASSERT_GE(filled.Count(), before + 2) << "no full buffer within 10 s at " << rate << " Hz";
    // The last frame was copied while the buffer was being refilled: the start of the new fill,
    // then the rest of the old one, with a jump of phase where they meet. Such a frame peaks on
    // one of the two bins either side of the tone, whichever the jump favours.
    EXPECT_LT(std::abs(PeakBin() - 1000 * 4096 / rate), 1.0) << rate << " Hz";
  }
  EXPECT_TRUE(boxes.Boxes().empty());
  const Watchdog watchdog("destroying the window after a capture");
  form.reset();
}

TEST_F(WaveCapture, ClosingDuringAContinuousRunEndsItAndShutsDown) {
  ClickItem(probe->RadioGroup1(), 1);
  const Watchdog watchdog("closing during a continuous run on wave input");
  QTimer poll;
  QElapsedTimer waited;
  waited.start();
  QObject::connect(&poll, &QTimer::timeout, [&] {
    if (filled.Count() >= 1 || waited.hasExpired(10000)) {
      poll.stop();
      form->close();
    }
  });
  poll.start(5);
  probe->Button2()->click();
  EXPECT_GE(filled.Count(), 1);
  EXPECT_FALSE(probe->Running());
  ASSERT_EQ(boxes.Boxes().size(), 1u);
  EXPECT_EQ(boxes.Boxes()[0].caption, "Vireo");
  form.reset();
}

} // namespace
