#pragma once

#include <QScrollBar>

// A horizontal scroll bar over 0 ... Maximum() whose page size (the bins in view) and large
// change (the step of a click in the trough) are separate values. The thumb shows the page
// as its share of the whole range, so the position runs from 0 to Maximum() − page size. Every
// change of the position, by the user or by code, emits valueChanged. The keyboard focus shows
// as a frame around the thumb.
class ScrollBar : public QScrollBar {
public:
  explicit ScrollBar(QWidget *parent);

  int Maximum() const { return maximumValue; }
  void SetMaximum(int maximum);
  int PageSize() const { return pageStep(); }
  void SetPageSize(int size);
  int LargeChange() const { return largeChange; }
  void SetLargeChange(int change) { largeChange = change; }

protected:
  void paintEvent(QPaintEvent *event) override;

private:
  void UpdateRange();

  int maximumValue = 0;
  int largeChange = 1;
};
