#include "app/widgets/edit_box.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMenuBar>

EditBox::EditBox(QWidget *parent) : QLineEdit(parent) {
  connect(qApp, &QApplication::focusChanged, this,
          [this](QWidget *, QWidget *now) { FocusChanged(now); });
}

void EditBox::keyPressEvent(QKeyEvent *event) {
  const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
  const QString text = event->text();
  const bool command =
      event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
  const bool character = enter || (!command && text.size() == 1 && text[0].isPrint());
  if (!character) {
    // Editing keys pass; a paste that would make the text longer than the limit is undone.
    const QString before = this->text();
    const int cursor = cursorPosition();
    QLineEdit::keyPressEvent(event);
    if (GrowsPastLimit(before.size(), this->text().size())) {
      setText(before);
      setCursorPosition(cursor);
    }
    return;
  }
  char16_t key = enter ? kEnter : text[0].unicode();
  if (OnKeyPress) {
    OnKeyPress(key);
  }
  if (key == 0 || enter ||
      GrowsPastLimit(this->text().size(), this->text().size() - selectedText().size() + 1)) {
    event->accept();
    return;
  }
  insert(QString(QChar(key)));
}

bool EditBox::GrowsPastLimit(qsizetype before, qsizetype after) const {
  return maxTypedLength > 0 && after > before && after > maxTypedLength;
}

void EditBox::focusOutEvent(QFocusEvent *event) {
  QLineEdit::focusOutEvent(event);
  // Only a move to another control of the same window counts, not a menu, a message box or
  // another window taking the focus: those give it back.
  switch (event->reason()) {
  case Qt::ActiveWindowFocusReason:
  case Qt::PopupFocusReason:
    break;
  case Qt::MenuBarFocusReason:
    // The menu bar returns the focus here when it is left by the keyboard; a click on another
    // control moves the focus there instead, which is then the exit.
    leftForMenuBar = true;
    break;
  default:
    RaiseExit();
  }
}

void EditBox::FocusChanged(QWidget *now) {
  if (!leftForMenuBar || now == nullptr || qobject_cast<QMenuBar *>(now) != nullptr) {
    return;
  }
  leftForMenuBar = false;
  if (now != this) {
    RaiseExit();
  }
}

void EditBox::RaiseExit() {
  if (OnExit) {
    OnExit();
  }
}
