// The status bar follows the mouse over the plot with the window's current settings.
#include <gtest/gtest.h>

#include <QMouseEvent>

#include "form_probe.h"

namespace {

void MoveMouse(ImageControl *image, int x, int y) {
  const QPointF position(x, y);
  QMouseEvent move(QEvent::MouseMove, position, image->mapToGlobal(position), Qt::NoButton,
                   Qt::NoButton, Qt::NoModifier);
  QCoreApplication::sendEvent(image, &move);
}

TEST(CursorReadoutHandler, StatusFollowsTheMouseInsideThePlot) {
  TForm1 form;
  TForm1Probe probe(form);
  MoveMouse(probe.Image1(), 58, 60);
  EXPECT_EQ(probe.StatusBar1()->text(), QString::fromUtf8(" 441.4Hz: オクターブ4 ラ"));
  // Outside the plot the last text stays.
  MoveMouse(probe.Image1(), 16, 60);
  MoveMouse(probe.Image1(), 100, 138);
  EXPECT_EQ(probe.StatusBar1()->text(), QString::fromUtf8(" 441.4Hz: オクターブ4 ラ"));

  // The scroll position moves the frequency by whole bins.
  probe.ScrollBar1()->setValue(512);
  ASSERT_EQ(probe.ViewOffset(), 512);
  MoveMouse(probe.Image1(), 18, 9);
  EXPECT_EQ(probe.StatusBar1()->text(), QString::fromUtf8("5523.3Hz: オクターブ8 ファ"));

  // The whole range: eight bins per column.
  probe.RadioGroup2()->SetItemIndex(3);
  probe.ScrollBar1()->setValue(0);
  ASSERT_EQ(probe.ViewOffset(), 0);
  MoveMouse(probe.Image1(), 273, 137);
  EXPECT_EQ(probe.StatusBar1()->text(), QString::fromUtf8("22050.0Hz: ファ"));
}

} // namespace
