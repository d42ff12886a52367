#include <QProcess>

#include "app/main_window.h"
#include "app/message_boxes.h"

namespace {

// Starts `program` on its own without waiting for it; when it cannot be started, shows
// `failureText` in the simple message dialog.
void StartProgram(const QString &program, const QString &failureText) {
  if (!QProcess::startDetached(program, {})) {
    ShowSimpleMessage(failureText);
  }
}

} // namespace

void TForm1::M1Click() {
  // The audio server's volume control plays the multimedia control panel.
  StartProgram(QStringLiteral("pavucontrol"),
               QStringLiteral("コントロールパネルを開く際に何らかの問題が発生しました。\n"));
}

void TForm1::CDPLAYERC1Click() {
  StartProgram(QStringLiteral("goobox"),
               QStringLiteral("ＣＤプレーヤーを開く際に何らかの問題が発生しました。\n"));
}
