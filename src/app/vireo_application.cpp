#include "app/vireo_application.h"

#include <QFont>
#include <QLibraryInfo>
#include <QLocale>
#include <QMessageBox>

#include <clocale>
#include <exception>

#include "app/message_boxes.h"

VireoApplication::VireoApplication(int &argc, char **argv) : QApplication(argc, argv) {
  // The application object set the locale from the environment; numbers in texts and files
  // always use a decimal point.
  std::setlocale(LC_NUMERIC, "C");
  // The application title. It is deliberately not set as the display name too: the window
  // system would then append it to every window's caption.
  setApplicationName(QStringLiteral("Vireo"));
  // Ties the windows to the launcher entry of that name (the window's application id).
  setDesktopFileName(QStringLiteral(VIREO_APP_ID));
  // The toolkit's own dialogs and standard buttons in the user's language where it has a
  // translation, otherwise in English; the program's own texts stay as they are. The window's
  // controls sit at fixed positions drawn left to right, in every language.
  setLayoutDirection(Qt::LeftToRight);
  if (toolkitTranslation.load(QLocale::system(), QStringLiteral("qtbase"), QStringLiteral("_"),
                              QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    installTranslator(&toolkitTranslation);
  }
  QFont font(QStringLiteral("IPAPGothic"));
  font.setPixelSize(12);
  setFont(font);
}

bool VireoApplication::notify(QObject *receiver, QEvent *event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (const std::exception &error) {
    ShowError(error.what());
  }
  return false;
}

int VireoApplication::Run(const std::function<int()> &body) {
  try {
    body();
  } catch (const std::exception &error) {
    ShowError(error.what());
  }
  return 0;
}

void VireoApplication::ShowError(const char *text) {
  QMessageBox box(QMessageBox::Critical, applicationName(), QString::fromLocal8Bit(text),
                  QMessageBox::Ok);
  KeepOverActiveWindow(box);
  box.exec();
}
