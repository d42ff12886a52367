#include "app/message_boxes.h"

#include <QApplication>
#include <QEventLoop>
#include <QGuiApplication>
#include <QMessageBox>
#include <QScreen>

void ShowApplicationMessage(QWidget *owner, const QString &text, const QString &caption) {
  QMessageBox box(QMessageBox::NoIcon, caption, text, QMessageBox::Ok, owner);
  box.setWindowModality(Qt::ApplicationModal);
  box.exec();
}

bool AskYesNo(QWidget *owner, const QString &text, const QString &caption) {
  QMessageBox box(QMessageBox::NoIcon, caption, text, QMessageBox::Yes | QMessageBox::No, owner);
  box.setWindowModality(Qt::ApplicationModal);
  return box.exec() == QMessageBox::Yes;
}

void ShowOwnerlessMessage(const QString &text, const QString &caption) {
  QMessageBox box(QMessageBox::NoIcon, caption, text, QMessageBox::Ok);
  box.setWindowModality(Qt::NonModal);
  // The box does not keep the program alive: closing the main window ends the program, and
  // that quit ends this loop too.
  box.setAttribute(Qt::WA_QuitOnClose, false);
  QEventLoop loop;
  QObject::connect(&box, &QDialog::finished, &loop, &QEventLoop::quit);
  box.show();
  loop.exec();
}

void ShowSimpleMessage(const QString &text) {
  QMessageBox box(QMessageBox::NoIcon, QCoreApplication::applicationName(), text, QMessageBox::Ok);
  box.adjustSize();
  if (const QScreen *screen = QGuiApplication::primaryScreen()) {
    box.move(screen->geometry().center() - box.rect().center());
  }
  box.exec();
}
