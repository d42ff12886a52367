#pragma once

#include <QGroupBox>
#include <QStringList>

#include <functional>

class QButtonGroup;

// A captioned group of radio buttons with one selected index (-1 for none). Changing the
// selection, by the user or by SetItemIndex, raises the click handler once; selecting the item
// that is already selected raises nothing. The items lie in one column inside the frame and
// keep their place in the tab order when the list is replaced.
class RadioGroup : public QGroupBox {
public:
  RadioGroup(const QString &caption, QWidget *parent);

  // Replaces the item texts and clears the selection without raising the click handler.
  void SetItems(const QStringList &items);
  int ItemIndex() const { return itemIndex; }
  void SetItemIndex(int index);
  // The radio button of an item, for focus and tests.
  QWidget *Item(int index) const;
  QList<QWidget *> Items() const;
  // Gives the keyboard focus to the selected item (the first when none is selected).
  void FocusSelected();

  std::function<void()> OnClick;

protected:
  void resizeEvent(QResizeEvent *event) override;

private:
  // Checks the item's button, or no button for an index outside the items; raises nothing.
  void Check(int index);
  void Select(int index);
  void LayOutItems();

  QButtonGroup *buttons;
  int itemIndex = -1;
};
