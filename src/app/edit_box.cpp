#include "app/edit_box.h"

#include <QKeyEvent>

namespace {
constexpr char16_t kEnter = 13;
}

void EditBox::keyPressEvent(QKeyEvent *event) {
  const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
  const QString text = event->text();
  const bool character = enter || (text.size() == 1 && text[0].isPrint());
  if (!character) {
    QLineEdit::keyPressEvent(event);
    return;
  }
  char16_t key = enter ? kEnter : text[0].unicode();
  if (OnKeyPress) {
    OnKeyPress(key);
  }
  if (key == 0 || enter) {
    event->accept();
    return;
  }
  if (maxTypedLength > 0 && this->text().size() - selectedText().size() + 1 > maxTypedLength) {
    event->accept();
    return;
  }
  insert(QString(QChar(key)));
}

void EditBox::focusOutEvent(QFocusEvent *event) {
  QLineEdit::focusOutEvent(event);
  // Only a move to another control of the same window counts, not a menu, a message box or
  // another window taking the focus.
  const Qt::FocusReason reason = event->reason();
  if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason && OnExit) {
    OnExit();
  }
}
