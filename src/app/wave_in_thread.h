#pragma once

#include <QThread>

class TForm1;

// A short-lived worker made for each filled capture buffer: its body hands the re-queueing of
// the buffer to the GUI thread and waits until it has run. It is started after set-up and
// deletes itself (deleteLater) when its body ends; the window deletes any that are left.
class TWaveInThread : public QThread {
public:
  explicit TWaveInThread(TForm1 *form);

  TForm1 *const Form;

protected:
  void run() override;

private:
  void Execute();
};
