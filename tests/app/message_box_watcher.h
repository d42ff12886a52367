#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include <string>
#include <vector>

// Answers every message box that appears while it lives, with the given button, and records
// each box's caption, text, button texts and width as shown.
class MessageBoxWatcher {
public:
  struct Seen {
    QString caption;
    QString text;
    bool hasParent;
    QStringList buttons;
    int width;
  };

  explicit MessageBoxWatcher(QMessageBox::StandardButton answer = QMessageBox::Ok)
      : answer(answer) {
    timer.setInterval(5);
    QObject::connect(&timer, &QTimer::timeout, [this] { Poll(); });
    timer.start();
  }

  const std::vector<Seen> &Boxes() const { return seen; }

private:
  void Poll() {
    for (QWidget *widget : QApplication::topLevelWidgets()) {
      auto *box = qobject_cast<QMessageBox *>(widget);
      if (box == nullptr || !box->isVisible() || box->property("answered").toBool()) {
        continue;
      }
      box->setProperty("answered", true);
      QStringList buttons;
      for (const QAbstractButton *button : box->buttons()) {
        buttons << button->text();
      }
      seen.push_back(
          {box->windowTitle(), box->text(), box->parentWidget() != nullptr, buttons, box->width()});
      QAbstractButton *button = box->button(answer);
      if (button == nullptr) {
        button = box->buttons().value(0);
      }
      button->click();
    }
  }

  QMessageBox::StandardButton answer;
  QTimer timer;
  std::vector<Seen> seen;
};
