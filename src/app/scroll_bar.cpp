#include "app/scroll_bar.h"

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
