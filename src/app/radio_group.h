#pragma once

#include <QGroupBox>
#include <QStringList>

#include <functional>

class QButtonGroup;

// A captioned group of radio buttons with one selected index (-1 for none). Changing the
// selection, by the user or by SetItemIndex, raises the click handler once; selecting the item
// that is already selected raises nothing.
class RadioGroup : public QGroupBox {
public:
  RadioGroup(const QString &caption, QWidget *parent);

  void SetItems(const QStringList &items);
  int ItemIndex() const { return itemIndex; }
  void SetItemIndex(int index);
  // The radio button of an item, for focus and tests.
  QWidget *Item(int index) const;
  QList<QWidget *> Items() const;
  // Gives the keyboard focus to the selected item (the first when none is selected).
  void FocusSelected();

  std::function<void()> OnClick;

private:
  void Select(int index);

  QButtonGroup *buttons;
  int itemIndex = -1;
};
