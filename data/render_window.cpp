// Writes the main window as it opens, drawn off screen, to the PNG file named on the command
// line: the README's picture of the window (scripts/readme-pictures). The update time, the
// milliseconds that the start-up frame took on this machine, shows 0 so that the picture is
// the same on every run.
#include <QLabel>
#include <QPixmap>
#include <QRegularExpression>

#include <cstdio>
#include <cstdlib>

#include "app/main_window.h"
#include "app/vireo_application.h"

int main(int argc, char *argv[]) {
  if (argc != 2) {
    std::fputs("usage: render_window FILE.png\n", stderr);
    return 2;
  }
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  VireoApplication app(argc, argv);
  return app.Run([argv] {
    TForm1 form;
    form.show();
    QApplication::processEvents();
    for (QLabel *label : form.findChildren<QLabel *>()) {
      if (QRegularExpression(QStringLiteral("^\\d+$")).match(label->text()).hasMatch()) {
        label->setText(QStringLiteral("0"));
      }
    }
    return form.grab().save(QString::fromLocal8Bit(argv[1]), "PNG") ? 0 : 1;
  });
}
