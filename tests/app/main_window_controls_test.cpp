// The measurement commands, the run state machine and the settings controls, driven as a user
// drives them.
#include <gtest/gtest.h>

#include <QClipboard>
#include <QGuiApplication>
#include <QMenuBar>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTest>

#include "form_probe.h"
#include "message_box_watcher.h"

namespace {

const QString kContinuous = QString::fromUtf8("連続FFT(&T)");
const QString kStop = QString::fromUtf8("停止(&T)");

class MeasurementControl : public ::testing::Test {
protected:
  MeasurementControl() : probe(form) {
    form.show();
    EXPECT_TRUE(QTest::qWaitForWindowActive(&form));
  }

  void TypeRate(const QString &text) {
    probe.Edit1()->clear();
    QTest::keyClicks(probe.Edit1(), text);
    QTest::keyClick(probe.Edit1(), Qt::Key_Return);
  }

  // Clicks a radio item on its indicator.
  static void ClickItem(RadioGroup *group, int index) {
    QWidget *item = group->Item(index);
    QTest::mouseClick(item, Qt::LeftButton, {}, QPoint(6, item->height() / 2));
  }

  // Picks a drop-down entry the way a user does.
  static void Pick(QComboBox *box, int index) {
    box->setCurrentIndex(index);
    emit box->activated(index);
  }

  TForm1 form;
  TForm1Probe probe;
};

TEST_F(MeasurementControl, OneShotStepsThePatternParameterThroughTheWrap) {
  for (int i = 0; i < 95; ++i) {
    probe.Button1()->click();
  }
  EXPECT_EQ(probe.PatternParam(), 4096);
  probe.Button1()->click();
  EXPECT_EQ(probe.PatternParam(), 1);
  // The measurement used 4096: the sine has 4096 periods, i.e. is all zero.
  EXPECT_LT(std::abs(probe.TimeData()[1000]), 1e-6f);
  EXPECT_EQ(probe.Button2()->text(), kContinuous);
  EXPECT_FALSE(probe.Running());
}

TEST_F(MeasurementControl, ContinuousRunStopsByEitherButton) {
  for (QPushButton *stopper : {probe.Button2(), probe.Button1()}) {
    const auto start = probe.PatternParam();
    QString captionDuringRun;
    bool busyBetweenFrames = true;
    QTimer::singleShot(30, [&] {
      captionDuringRun = probe.Button2()->text();
      busyBetweenFrames = probe.Busy();
      stopper->click();
    });
    probe.Button2()->click();
    EXPECT_EQ(captionDuringRun, kStop);
    EXPECT_FALSE(busyBetweenFrames);
    EXPECT_EQ(probe.Button2()->text(), kContinuous);
    EXPECT_FALSE(probe.Running());
    // At least one frame, each with its step; a stop by Button1 makes no extra measurement.
    // Fast frames may step past 4096, where the parameter wraps to 1.
    EXPECT_NE(probe.PatternParam(), start);
  }
}

TEST_F(MeasurementControl, StopAndRestartInOneBatchNestsARun) {
  bool nestedRunMadeFrames = false;
  QTimer::singleShot(20, [&] {
    probe.Button2()->click(); // stop request
    const auto before = probe.PatternParam();
    QTimer::singleShot(20, [&] { probe.Button2()->click(); });
    probe.Button2()->click(); // a new run inside the old one's message service
    // Fast frames may step past 4096, where the parameter wraps to 1.
    nestedRunMadeFrames = probe.PatternParam() != before;
  });
  probe.Button2()->click();
  EXPECT_TRUE(nestedRunMadeFrames);
  EXPECT_FALSE(probe.Running());
  EXPECT_EQ(probe.Button2()->text(), kContinuous);
}

TEST_F(MeasurementControl, SourceSelectionFillsTheDetailList) {
  probe.RadioGroup1()->SetItemIndex(0);
  ASSERT_EQ(probe.ComboBox1()->count(), 16);
  EXPECT_EQ(probe.ComboBox1()->itemText(0), "Analog input Ch.0");
  EXPECT_EQ(probe.ComboBox1()->itemText(15), "Analog input Ch.15");
  EXPECT_EQ(probe.ComboBox1()->currentIndex(), 0);
  EXPECT_EQ(probe.PatternParam(), 4000);

  // The same selection again raises nothing.
  probe.PatternParam() = 17;
  probe.RadioGroup1()->SetItemIndex(0);
  EXPECT_EQ(probe.PatternParam(), 17);

  // A user's click on another item raises the click handler too.
  ClickItem(probe.RadioGroup1(), 2);
  EXPECT_EQ(probe.RadioGroup1()->ItemIndex(), 2);
  EXPECT_EQ(probe.ComboBox1()->count(), 8);
  EXPECT_EQ(probe.ComboBox1()->currentIndex(), 1);
  EXPECT_EQ(probe.PatternParam(), 4000);
}

TEST_F(MeasurementControl, DetailSelectedFromCodeRaisesNothingButAUserPickDoes) {
  probe.PatternParam() = 17;
  probe.ComboBox1()->setCurrentIndex(5);
  EXPECT_EQ(probe.PatternParam(), 17);
  Pick(probe.ComboBox1(), 6);
  EXPECT_EQ(probe.PatternParam(), 4000);
}

TEST_F(MeasurementControl, DataAcquisitionBoardRescalesTheLastFrame) {
  probe.RadioGroup1()->SetItemIndex(0);
  probe.TimeData().fill(0.5f);
  probe.Button1()->click();
  EXPECT_EQ(probe.TimeData()[7], 0.5f / 2048);
  probe.Button1()->click();
  EXPECT_EQ(probe.TimeData()[7], 0.5f / 2048 / 2048);
}

TEST_F(MeasurementControl, RateEntryWithTheTestPattern) {
  TypeRate("8000");
  EXPECT_EQ(probe.SampleRate(), 8000.0);
  EXPECT_EQ(probe.FrameTime(), 4096 / 8000.0);
  EXPECT_EQ(probe.Edit1()->text(), "8000");

  TypeRate("0");
  EXPECT_EQ(probe.SampleRate(), 0.0);
  EXPECT_EQ(probe.FrameTime(), 1.0);

  TypeRate("-4096");
  EXPECT_EQ(probe.FrameTime(), -1.0);

  // Six typed characters at most.
  TypeRate("1234567");
  EXPECT_EQ(probe.Edit1()->text(), "123456");
  EXPECT_EQ(probe.SampleRate(), 123456.0);
}

TEST_F(MeasurementControl, TheTypingLimitLeavesTextFromCodeAndDeletionAlone) {
  probe.Edit1()->setText("0.333333333333333");
  EXPECT_EQ(probe.Edit1()->text(), "0.333333333333333");
  probe.Edit1()->setFocus();
  probe.Edit1()->end(false);
  QTest::keyClick(probe.Edit1(), Qt::Key_4);
  EXPECT_EQ(probe.Edit1()->text(), "0.333333333333333");
  QTest::keyClick(probe.Edit1(), Qt::Key_Backspace);
  EXPECT_EQ(probe.Edit1()->text(), "0.33333333333333");

  // Pasting is typing too.
  probe.Edit1()->clear();
  QGuiApplication::clipboard()->setText("1234567");
  QTest::keyClick(probe.Edit1(), Qt::Key_V, Qt::ControlModifier);
  EXPECT_EQ(probe.Edit1()->text(), "");
  QGuiApplication::clipboard()->setText("8000");
  QTest::keyClick(probe.Edit1(), Qt::Key_V, Qt::ControlModifier);
  EXPECT_EQ(probe.Edit1()->text(), "8000");
}

TEST_F(MeasurementControl, InvalidRatesAreRefusedWithAnOwnerlessBox) {
  for (const char *text : {"abc", "", "1e999", "inf", "nan", "0x10", "1,5"}) {
    MessageBoxWatcher watcher;
    TypeRate("22050");
    probe.Edit1()->setText(text);
    QTest::keyClick(probe.Edit1(), Qt::Key_Return);
    ASSERT_EQ(watcher.Boxes().size(), 1u) << text;
    EXPECT_EQ(watcher.Boxes()[0].caption, "Input error");
    EXPECT_EQ(watcher.Boxes()[0].text, QString::fromUtf8("無効な数値が入力されました"));
    EXPECT_FALSE(watcher.Boxes()[0].hasParent);
    EXPECT_EQ(probe.SampleRate(), 22050.0) << text;
    EXPECT_EQ(probe.Edit1()->text(), "22050") << text;
  }
}

TEST_F(MeasurementControl, MainWindowStaysUsableWhileTheInputErrorIsShown) {
  MessageBoxWatcher *watcher = nullptr;
  std::int32_t paramWhileShown = 0;
  QTimer::singleShot(30, [&] {
    probe.Button1()->click();
    paramWhileShown = probe.PatternParam();
    watcher = new MessageBoxWatcher;
  });
  probe.Edit1()->setText("x");
  QTest::keyClick(probe.Edit1(), Qt::Key_Return);
  EXPECT_EQ(paramWhileShown, 4002);
  ASSERT_NE(watcher, nullptr);
  EXPECT_EQ(watcher->Boxes().size(), 1u);
  delete watcher;
}

TEST_F(MeasurementControl, LeavingTheRateBoxRereadsIt) {
  probe.Edit1()->setFocus();
  probe.Edit1()->setText("11025");
  probe.Button1()->setFocus(Qt::TabFocusReason);
  EXPECT_EQ(probe.SampleRate(), 11025.0);
}

TEST_F(MeasurementControl, MenusAreNotAnotherControl) {
  MessageBoxWatcher watcher;
  probe.Edit1()->setFocus(Qt::MouseFocusReason);
  probe.Edit1()->setText("abc");
  QTest::keyClick(probe.Edit1(), Qt::Key_Alt);
  QTest::keyClick(form.menuBar(), Qt::Key_Escape);
  QTest::keyClick(probe.Edit1(), Qt::Key_F, Qt::AltModifier);
  ASSERT_EQ(QApplication::activePopupWidget(), form.menuBar()->actions()[0]->menu());
  QApplication::activePopupWidget()->close();
  EXPECT_TRUE(watcher.Boxes().empty());
  // From the menu bar to another control is leaving the box.
  QTest::keyClick(probe.Edit1(), Qt::Key_Alt);
  probe.Button1()->setFocus(Qt::MouseFocusReason);
  EXPECT_EQ(watcher.Boxes().size(), 1u);
}

TEST_F(MeasurementControl, TheScrollBarShowsTheVisibleBinsAndItsFocus) {
  ScrollBar *bar = probe.ScrollBar1();
  // The thumb and the trough as the style draws them from the bar's settings.
  const auto thumbAndTrough = [bar] {
    QStyleOptionSlider option;
    option.initFrom(bar);
    option.orientation = Qt::Horizontal;
    option.maximum = bar->maximum();
    option.sliderPosition = bar->value();
    option.pageStep = bar->pageStep();
    const auto rect = [&](auto part) {
      return bar->style()->subControlRect(QStyle::CC_ScrollBar, &option, part, bar);
    };
    return std::pair{rect(QStyle::SC_ScrollBarSlider), rect(QStyle::SC_ScrollBarGroove)};
  };
  ClickItem(probe.RadioGroup2(), 3);
  auto [thumb, trough] = thumbAndTrough();
  EXPECT_EQ(thumb, trough) << "the whole range fills the trough";
  // A quarter of the range dragged to the end ends with the trough and stays there.
  ClickItem(probe.RadioGroup2(), 1);
  bar->setSliderPosition(2048);
  std::tie(thumb, trough) = thumbAndTrough();
  EXPECT_EQ(probe.ViewOffset(), 1536);
  EXPECT_EQ(thumb.right(), trough.right());
  EXPECT_NEAR(thumb.width(), trough.width() / 4.0, 1);

  const QImage unfocused = bar->grab().toImage();
  bar->setFocus(Qt::TabFocusReason);
  EXPECT_NE(bar->grab().toImage(), unfocused);
}

TEST_F(MeasurementControl, GainAppliesFromTheNextFrame) {
  Pick(probe.ComboBox2(), 9);
  EXPECT_EQ(probe.Gain(), 100.0);
  const QImage before = probe.Image1()->Picture();
  EXPECT_EQ(probe.Image1()->Picture(), before);
  Pick(probe.ComboBox2(), 0);
  EXPECT_EQ(probe.Gain(), 0.1);
}

TEST_F(MeasurementControl, RangeAndScrollClamp) {
  ClickItem(probe.RadioGroup2(), 1);
  EXPECT_EQ(probe.ScrollBar1()->PageSize(), 512);
  EXPECT_EQ(probe.ScrollBar1()->LargeChange(), 256);
  probe.ScrollBar1()->setValue(1536);
  EXPECT_EQ(probe.ViewOffset(), 1536);
  // The position past the last page is pulled back at once, with the nested change.
  probe.ScrollBar1()->setValue(2000);
  EXPECT_EQ(probe.ScrollBar1()->value(), 1536);
  EXPECT_EQ(probe.ViewOffset(), 1536);

  ClickItem(probe.RadioGroup2(), 2);
  EXPECT_EQ(probe.ScrollBar1()->value(), 1024);
  EXPECT_EQ(probe.ViewOffset(), 1024);

  ClickItem(probe.RadioGroup2(), 3);
  EXPECT_EQ(probe.ScrollBar1()->value(), 0);
  EXPECT_EQ(probe.ViewOffset(), 0);
}

TEST_F(MeasurementControl, PageStepMovesByTheLargeChange) {
  probe.ScrollBar1()->triggerAction(QAbstractSlider::SliderPageStepAdd);
  EXPECT_EQ(probe.ScrollBar1()->value(), 64);
  EXPECT_EQ(probe.ViewOffset(), 64);
  probe.ScrollBar1()->triggerAction(QAbstractSlider::SliderPageStepSub);
  EXPECT_EQ(probe.ViewOffset(), 0);
}

TEST_F(MeasurementControl, ScaleSwitchRedrawsWithoutANewFrame) {
  const auto param = probe.PatternParam();
  const QImage before = probe.Image1()->Picture();
  QTest::mouseClick(probe.CheckBox1(), Qt::LeftButton);
  EXPECT_FALSE(probe.CheckBox1()->isChecked());
  EXPECT_NE(probe.Image1()->Picture(), before);
  EXPECT_EQ(probe.PatternParam(), param);
}

} // namespace
