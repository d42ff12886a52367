#include "app/wave_in_thread.h"

#include "app/main_window.h"

TWaveInThread::TWaveInThread(TForm1 *form) : Form(form) {
  connect(this, &QThread::finished, this, &QObject::deleteLater);
}

void TWaveInThread::run() {
  Execute();
}

void TWaveInThread::Execute() {
  // Runs RequeueBuffer on the GUI thread the next time it serves its events, and blocks until
  // it has. A window being destroyed serves this call itself before it frees anything.
  TForm1 *const form = Form;
  QMetaObject::invokeMethod(
      form, [form] { form->RequeueBuffer(); }, Qt::BlockingQueuedConnection);
}
