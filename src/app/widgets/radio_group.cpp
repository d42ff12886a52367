#include "app/widgets/radio_group.h"

#include <QButtonGroup>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionGroupBox>

namespace {
// Space between the frame and the items on the left and right.
constexpr int kItemInset = 6;
} // namespace

RadioGroup::RadioGroup(const QString &caption, QWidget *parent)
    : QGroupBox(caption, parent), buttons(new QButtonGroup(this)) {
  buttons->setExclusive(true);
  connect(buttons, &QButtonGroup::idClicked, this, [this](int id) { Select(id); });
}

void RadioGroup::SetItems(const QStringList &items) {
  // The buttons are kept and renamed, so that their place in the tab order stays; only a
  // longer list adds buttons, each after the one before it.
  Check(-1);
  itemIndex = -1;
  const int count = static_cast<int>(items.size());
  while (buttons->buttons().size() > count) {
    delete buttons->buttons().takeLast();
  }
  for (int i = 0; i < count; ++i) {
    if (QAbstractButton *button = buttons->button(i)) {
      button->setText(items[i]);
      continue;
    }
    auto *button = new QRadioButton(items[i], this);
    buttons->addButton(button, i);
    if (QWidget *previous = Item(i - 1)) {
      setTabOrder(previous, button);
    }
    button->show();
  }
  LayOutItems();
}

void RadioGroup::resizeEvent(QResizeEvent *event) {
  QGroupBox::resizeEvent(event);
  LayOutItems();
}

void RadioGroup::LayOutItems() {
  // One column inside the frame, below its caption, the items sharing the height evenly.
  QStyleOptionGroupBox option;
  initStyleOption(&option);
  const QRect inside =
      style()
          ->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxContents, this)
          .adjusted(kItemInset, 0, -kItemInset, 0);
  const QList<QAbstractButton *> items = buttons->buttons();
  const int step = items.isEmpty() ? 0 : inside.height() / static_cast<int>(items.size());
  for (int i = 0; i < items.size(); ++i) {
    items[i]->setGeometry(inside.left(), inside.top() + i * step, inside.width(), step);
  }
}

QWidget *RadioGroup::Item(int index) const {
  return buttons->button(index);
}

QList<QWidget *> RadioGroup::Items() const {
  const QList<QAbstractButton *> items = buttons->buttons();
  return QList<QWidget *>(items.begin(), items.end());
}

void RadioGroup::FocusSelected() {
  if (QAbstractButton *button = buttons->checkedButton()) {
    button->setFocus(Qt::OtherFocusReason);
  } else if (QWidget *first = Item(0)) {
    first->setFocus(Qt::OtherFocusReason);
  }
}

void RadioGroup::SetItemIndex(int index) {
  Check(index);
  Select(buttons->button(index) ? index : -1);
}

void RadioGroup::Check(int index) {
  if (QAbstractButton *button = buttons->button(index)) {
    button->setChecked(true);
  } else if (QAbstractButton *checked = buttons->checkedButton()) {
    buttons->setExclusive(false);
    checked->setChecked(false);
    buttons->setExclusive(true);
  }
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
