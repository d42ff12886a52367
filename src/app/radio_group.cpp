#include "app/radio_group.h"

#include <QButtonGroup>
#include <QRadioButton>

namespace {
constexpr int kItemLeft = 8;
constexpr int kFirstItemTop = 16;
} // namespace

RadioGroup::RadioGroup(const QString &caption, QWidget *parent)
    : QGroupBox(caption, parent), buttons(new QButtonGroup(this)) {
  buttons->setExclusive(true);
  connect(buttons, &QButtonGroup::idClicked, this, [this](int id) { Select(id); });
}

void RadioGroup::SetItems(const QStringList &items) {
  for (QAbstractButton *button : buttons->buttons()) {
    buttons->removeButton(button);
    delete button;
  }
  itemIndex = -1;
  // Items share the height below the caption evenly, one column.
  const int count = static_cast<int>(items.size());
  const int step = count > 0 ? (height() - kFirstItemTop - 4) / count : 0;
  for (int i = 0; i < count; ++i) {
    auto *button = new QRadioButton(items[i], this);
    button->setGeometry(kItemLeft, kFirstItemTop + i * step, width() - 2 * kItemLeft, step);
    buttons->addButton(button, i);
    button->show();
  }
}

QWidget *RadioGroup::Item(int index) const {
  return buttons->button(index);
}

QList<QWidget *> RadioGroup::Items() const {
  QList<QWidget *> items;
  for (QAbstractButton *button : buttons->buttons()) {
    items << button;
  }
  return items;
}

void RadioGroup::FocusSelected() {
  if (QAbstractButton *button = buttons->checkedButton()) {
    button->setFocus(Qt::OtherFocusReason);
  } else if (QWidget *first = Item(0)) {
    first->setFocus(Qt::OtherFocusReason);
  }
}

void RadioGroup::SetItemIndex(int index) {
  if (QAbstractButton *button = buttons->button(index)) {
    button->setChecked(true);
  } else if (QAbstractButton *checked = buttons->checkedButton()) {
    buttons->setExclusive(false);
    checked->setChecked(false);
    buttons->setExclusive(true);
  }
  Select(buttons->button(index) ? index : -1);
}

void RadioGroup::Select(int index) {
  if (index == itemIndex) {
    return;
  }
  itemIndex = index;
  if (OnClick) {
    OnClick();
  }
}
