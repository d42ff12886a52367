#include <QComboBox>
#include <QCoreApplication>
#include <QDeadlineTimer>

#include <utility>

#include "app/main_window.h"
#include "app/message_boxes.h"
#include "app/wave_in_event.h"
#include "app/wave_in_thread.h"
#include "app/widgets/radio_group.h"

void TForm1::CreateWaveBuffers() {
  for (std::unique_ptr<sources::WaveHeader> &header : WaveHeaders) {
    header = std::make_unique<sources::WaveHeader>(analysis::kFrameLength);
  }
}

void TForm1::FreeWaveBuffers() {
  // A worker may still be waiting for its re-queue: serve it here (with the device closed the
  // re-queue does nothing) and let every worker end before the buffers go, so no thread
  // outlives the window or reaches freed state.
  for (TWaveInThread *thread : std::exchange(WaveInThreads, {})) {
    while (!thread->wait(QDeadlineTimer(10))) {
      QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
    }
    delete thread;
  }
  for (std::unique_ptr<sources::WaveHeader> &header : WaveHeaders) {
    header.reset();
  }
}

void TForm1::OpenWaveInput() {
  if (RadioGroup1->ItemIndex() != 1) {
    return;
  }
  const int entry = ComboBox1->currentIndex();
  if (entry >= 0 && entry < static_cast<int>(std::size(core::kFixedRates))) {
    Run->sampleRate = core::kFixedRates[entry].rate;
  }
  WaveFormat = sources::MonoPcm16(Run->sampleRate);
  if (WaveIn) {
    WaveIn->Reset();
  }
  CloseWaveInput();
  CheckWaveError(sources::WaveIn::Open(WaveIn, WaveFormat, [this](const sources::WaveNotice &n) {
    QCoreApplication::postEvent(this, new WaveInEvent(n));
  }));
  // After a failed open there is no device: registering, queueing and starting do nothing.
  if (WaveIn) {
    WaveIn->PrepareHeader(*WaveHeaders[0]);
    WaveIn->PrepareHeader(*WaveHeaders[1]);
  }
  CurrentBuffer = 0;
  if (WaveIn) {
    WaveIn->AddBuffer(*WaveHeaders[0]);
    WaveIn->Start();
  }
  ShowSampleRate();
  Run->UpdateFrameTime();
}

void TForm1::CloseWaveInput() {
  if (!WaveIn) {
    return;
  }
  WaveIn->Reset();
  const sources::WaveResult released[] = {WaveIn->UnprepareHeader(*WaveHeaders[0]),
                                          WaveIn->UnprepareHeader(*WaveHeaders[1])};
  // Destroying the device closes it. The boxes come after, so that the handlers they let run
  // never find a half-closed device.
  WaveIn.reset();
  for (const sources::WaveResult result : released) {
    CheckWaveError(result);
  }
}

void TForm1::CopyWaveFrame() {
  sources::ReadWaveFrame(*WaveHeaders[CurrentBuffer], Run->result.samples);
}

void TForm1::CheckWaveError(sources::WaveResult code) {
  if (code == 0) {
    return;
  }
  ShowApplicationMessage(this, QString::fromStdString(sources::WaveInErrorText(code)),
                         QStringLiteral("Wave In Error"));
}

void TForm1::OnWaveData() {
  auto *thread = new TWaveInThread(this);
  WaveInThreads.push_back(thread);
  connect(thread, &QObject::destroyed, this, [this, thread] { std::erase(WaveInThreads, thread); });
  thread->start();
}

void TForm1::OnWaveClose() {}

void TForm1::RequeueBuffer() {
  if (WaveIn) {
    WaveIn->AddBuffer(*WaveHeaders[0]);
  }
}

bool TForm1::event(QEvent *event) {
  if (event->type() != WaveInEvent::EventType()) {
    return QMainWindow::event(event);
  }
  const sources::WaveNotice &notice = static_cast<const WaveInEvent *>(event)->Notice;
  switch (notice.message) {
  case sources::WaveMessage::Data:
    OnWaveData();
    break;
  case sources::WaveMessage::Close:
    OnWaveClose();
    break;
  case sources::WaveMessage::Error:
    // The capture ended on its own (the audio server went away): say so once.
    CheckWaveError(notice.error);
    break;
  }
  return true;
}
