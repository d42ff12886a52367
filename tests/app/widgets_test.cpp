// The window's controls on their own: what the handlers rely on them to do.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QSignalSpy>
#include <QTest>

#include <string>

#include "app/widgets/edit_box.h"
#include "app/widgets/image_control.h"
#include "app/widgets/radio_group.h"
#include "app/widgets/scroll_bar.h"
#include "display/canvas.h"

TEST(EditBoxTest, KeyHandlerSeesEveryCharacterAndTheLimitHoldsOnlyForTyping) {
  EditBox box(nullptr);
  box.SetMaxTypedLength(3);
  std::u16string seen;
  box.OnKeyPress = [&seen](char16_t &key) {
    seen += key;
    if (key == u'x') {
      key = 0;
    }
  };
  QTest::keyClicks(&box, "abxcd");
  QTest::keyClick(&box, Qt::Key_Return);
  EXPECT_EQ(seen, u"abxcd\r") << "Enter arrives as 13, after every typed character";
  EXPECT_EQ(box.text(), "abc") << "x swallowed by the handler, d refused by the limit";
  box.setText("longer than three");
  EXPECT_EQ(box.text(), "longer than three");
}

TEST(ScrollBarTest, PositionsEndWhereTheLastPageStartsAndAClickStepsTheLargeChange) {
  ScrollBar bar(nullptr);
  bar.resize(300, 16);
  bar.SetMaximum(2048);
  bar.SetPageSize(256);
  bar.SetLargeChange(64);
  QSignalSpy changes(&bar, &QAbstractSlider::valueChanged);
  bar.setValue(5000);
  EXPECT_EQ(bar.value(), 2048 - 256);
  bar.setValue(100);
  bar.triggerAction(QAbstractSlider::SliderPageStepAdd);
  EXPECT_EQ(bar.value(), 164);
  // A wider page pulls the position back, and that is a change too.
  bar.setValue(2048 - 256);
  const qsizetype before = changes.size();
  bar.SetPageSize(1024);
  EXPECT_EQ(bar.value(), 1024);
  EXPECT_EQ(changes.size(), before + 1);
}

TEST(RadioGroupTest, OnlyAChangedSelectionRaisesTheHandler) {
  RadioGroup group("Source", nullptr);
  group.SetItems({"a", "b", "c"});
  int clicks = 0;
  group.OnClick = [&clicks] { ++clicks; };
  EXPECT_EQ(group.ItemIndex(), -1);
  group.SetItemIndex(1);
  group.SetItemIndex(1);
  EXPECT_EQ(clicks, 1);
  qobject_cast<QAbstractButton *>(group.Item(2))->click(); // as a click by the user
  EXPECT_EQ(group.ItemIndex(), 2);
  EXPECT_EQ(clicks, 2);
  group.SetItems({"d", "e"});
  EXPECT_EQ(group.ItemIndex(), -1);
  EXPECT_EQ(clicks, 2) << "replacing the items raises nothing";
}

TEST(ImageControlTest, CopiesOnlyTheRectangleAndKeepsTheRest) {
  ImageControl image(nullptr);
  image.resize(40, 30);
  display::Canvas canvas(40, 30);
  canvas.SetBrushColor(0x0000ff); // red
  canvas.FillRect({0, 0, 40, 30});
  image.CopyRect(canvas, {10, 5, 20, 15});
  ASSERT_EQ(image.Picture().size(), QSize(40, 30));
  EXPECT_EQ(image.Picture().pixelColor(10, 5), QColor(255, 0, 0));
  EXPECT_EQ(image.Picture().pixelColor(19, 14), QColor(255, 0, 0));
  EXPECT_EQ(image.Picture().pixelColor(20, 14), QColor(Qt::white)) << "right edge outside";
  EXPECT_EQ(image.Picture().pixelColor(9, 5), QColor(Qt::white));
}
