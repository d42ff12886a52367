#pragma once

#include <QScrollBar>

// A horizontal scroll bar whose page size (the slider's length) and large change (the step of
// a click in the trough) are separate values. Every change of the position, by the user or by
// code, emits valueChanged.
class ScrollBar : public QScrollBar {
public:
  explicit ScrollBar(QWidget *parent);

  int PageSize() const { return pageStep(); }
  void SetPageSize(int size) { setPageStep(size); }
  int LargeChange() const { return largeChange; }
  void SetLargeChange(int change) { largeChange = change; }

private:
  int largeChange = 1;
};
