#include "app/message_boxes.h"

#include <QApplication>
#include <QEventLoop>
#include <QFontMetrics>
#include <QGridLayout>
#include <QGuiApplication>
#include <QMessageBox>
#include <QScreen>
#include <QSpacerItem>
#include <QWindow>

namespace {

// Room a title bar needs besides its caption: the window icon and the minimise, maximise and
// close buttons (about 24 pixels each under the usual window managers) with the frame's padding.
constexpr int kTitleBarButtonsRoom = 120;
// Title bars usually set their caption in a bold face larger than the 12-pixel application
// font: about 16 pixels (12 points at 96 dots per inch).
constexpr int kTitleFontPixelSize = 16;

// Under Wayland the program cannot place its windows, and the title bar (the toolkit's own
// where the compositor draws none) centres the caption on the window's whole width.
bool OnWayland() {
  return QGuiApplication::platformName().startsWith(QStringLiteral("wayland"));
}

// Widens the box so that its whole caption fits in the title bar. The box sizes itself from
// its layout's minimum width whenever its contents change, so the width is asked of the
// layout: an empty row-0 item across all columns, which adds no height.
void FitCaption(QMessageBox &box) {
  QFont titleFont = QApplication::font();
  titleFont.setBold(true);
  titleFont.setPixelSize(kTitleFontPixelSize);
  auto *grid = static_cast<QGridLayout *>(box.layout());
  const QMargins margins = grid->contentsMargins();
  // A centred caption needs the buttons' room on either side.
  const int buttonsRoom = OnWayland() ? 2 * kTitleBarButtonsRoom : kTitleBarButtonsRoom;
  const int width = QFontMetrics(titleFont).horizontalAdvance(box.windowTitle()) + buttonsRoom -
                    margins.left() - margins.right();
  grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Fixed, QSizePolicy::Fixed), 0, 0, 1,
                grid->columnCount());
}

} // namespace

void KeepOverActiveWindow(QWidget &box) {
  // A window that belongs to no other goes wherever the compositor puts it, and move() does
  // nothing. Under X11 such a box stays a window of its own at its place.
  QWidget *active = QApplication::activeWindow();
  if (!OnWayland() || active == nullptr || active == &box) {
    return;
  }
  box.winId();
  box.windowHandle()->setTransientParent(active->windowHandle());
}

void ShowApplicationMessage(QWidget *owner, const QString &text, const QString &caption) {
  QMessageBox box(QMessageBox::NoIcon, caption, text, QMessageBox::Ok, owner);
  box.setWindowModality(Qt::ApplicationModal);
  FitCaption(box);
  box.exec();
}

bool AskYesNo(QWidget *owner, const QString &text, const QString &caption) {
  QMessageBox box(QMessageBox::NoIcon, caption, text, QMessageBox::Yes | QMessageBox::No, owner);
  box.setWindowModality(Qt::ApplicationModal);
  FitCaption(box);
  return box.exec() == QMessageBox::Yes;
}

void ShowOwnerlessMessage(const QString &text, const QString &caption) {
  QMessageBox box(QMessageBox::NoIcon, caption, text, QMessageBox::Ok);
  box.setWindowModality(Qt::NonModal);
  FitCaption(box);
  // The box does not keep the program alive: closing the main window ends the program, and
  // that quit ends this loop too.
  box.setAttribute(Qt::WA_QuitOnClose, false);
  KeepOverActiveWindow(box);
  QEventLoop loop;
  QObject::connect(&box, &QDialog::finished, &loop, &QEventLoop::quit);
  box.show();
  loop.exec();
}

void ShowSimpleMessage(const QString &text) {
  QMessageBox box(QMessageBox::NoIcon, QCoreApplication::applicationName(), text, QMessageBox::Ok);
  FitCaption(box);
  box.adjustSize();
  if (const QScreen *screen = QGuiApplication::primaryScreen()) {
    box.move(screen->geometry().center() - box.rect().center());
  }
  KeepOverActiveWindow(box);
  box.exec();
}
