#include "app/widgets/scroll_bar.h"

#include <QPainter>
#include <QStyleOptionFocusRect>
#include <QStyleOptionSlider>

ScrollBar::ScrollBar(QWidget *parent) : QScrollBar(Qt::Horizontal, parent) {
  // Qt steps a page by the slider's length; move by the large change instead. The slider
  // position may still be adjusted here, before the new value is taken.
  connect(this, &QAbstractSlider::actionTriggered, this, [this](int action) {
    if (action == SliderPageStepAdd) {
      setSliderPosition(qMin(value() + largeChange, maximum()));
    } else if (action == SliderPageStepSub) {
      setSliderPosition(qMax(value() - largeChange, minimum()));
    }
  });
}

void ScrollBar::SetMaximum(int maximum) {
  maximumValue = maximum;
  UpdateRange();
}

void ScrollBar::SetPageSize(int size) {
  setPageStep(size);
  UpdateRange();
}

void ScrollBar::UpdateRange() {
  // Qt draws the page beside the range, so the range it is given ends where the last page
  // starts; a position beyond is pulled back, which emits valueChanged.
  setRange(0, qMax(0, maximumValue - pageStep()));
}

void ScrollBar::paintEvent(QPaintEvent *event) {
  QScrollBar::paintEvent(event);
  if (!hasFocus()) {
    return;
  }
  QStyleOptionSlider slider;
  initStyleOption(&slider);
  QStyleOptionFocusRect focus;
  focus.initFrom(this);
  // Shown however the focus came, so that the arrow keys have a visible target.
  focus.state |= QStyle::State_KeyboardFocusChange;
  focus.rect =
      style()->subControlRect(QStyle::CC_ScrollBar, &slider, QStyle::SC_ScrollBarSlider, this);
  QPainter painter(this);
  style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &painter, this);
}
