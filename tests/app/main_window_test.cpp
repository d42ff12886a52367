// Start-up defaults, the layout's bindings and closing.
#include <gtest/gtest.h>

#include <QMenuBar>
#include <QRadioButton>
#include <QStatusBar>
#include <QStyle>
#include <QStyleOptionGroupBox>
#include <QTest>

#include "display/layout.h"
#include "form_probe.h"
#include "message_box_watcher.h"

namespace {

TEST(MainWindowStartup, SettingsAfterCreation) {
  TForm1 form;
  TForm1Probe probe(form);
  EXPECT_EQ(probe.SampleRate(), 44100.0);
  EXPECT_EQ(probe.FrameTime(), 4096 / 44100.0);
  EXPECT_EQ(probe.Gain(), 1.0);
  EXPECT_EQ(probe.PatternParam(), 4001);
  EXPECT_EQ(probe.ViewOffset(), 0);
  EXPECT_FALSE(probe.Running());
  EXPECT_FALSE(probe.Busy());
  EXPECT_EQ(probe.QuickSaveNumber(), 1);
  EXPECT_TRUE(probe.AppDir().endsWith('/'));
  EXPECT_EQ(probe.Edit1()->text(), "44100");
  EXPECT_EQ(probe.ComboBox2()->currentText(), "1.0");
  EXPECT_EQ(probe.ComboBox2()->count(), 10);
  EXPECT_TRUE(probe.CheckBox1()->isChecked());
  EXPECT_FALSE(probe.CheckBox2()->isChecked());
  EXPECT_EQ(probe.RadioGroup1()->ItemIndex(), 2);
  EXPECT_EQ(probe.RadioGroup2()->ItemIndex(), 0);
  ASSERT_EQ(probe.ComboBox1()->count(), 8);
  EXPECT_EQ(probe.ComboBox1()->currentIndex(), 1);
  EXPECT_EQ(probe.ComboBox1()->currentText(), QString::fromUtf8("正弦波"));
  // The page size stays 512 although the 256-bin range is selected; only a range choice
  // sets it from the range.
  EXPECT_EQ(probe.ScrollBar1()->PageSize(), 512);
  EXPECT_EQ(probe.ScrollBar1()->LargeChange(), 64);
  EXPECT_EQ(probe.ScrollBar1()->Maximum(), 2048);
  EXPECT_EQ(probe.Button2()->text(), QString::fromUtf8("連続FFT(&T)"));
  bool isNumber = false;
  probe.Label6()->text().toUInt(&isNumber);
  EXPECT_TRUE(isNumber);
  EXPECT_EQ(probe.StatusBar1()->text(), "");
}

TEST(MainWindowStartup, FirstPictureShowsTheSineAtBin96) {
  TForm1 form;
  TForm1Probe probe(form);
  const display::Color red = probe.Palette()[127];
  // Column 96 is x = 113 of the picture: one full-height bar; its neighbours are empty.
  for (int y = 9; y <= 136; ++y) {
    EXPECT_EQ(probe.Screen().Pixel(113, y), red) << y;
  }
  EXPECT_EQ(probe.Screen().Pixel(112, 136), display::kPlotGrey);
  EXPECT_EQ(probe.Screen().Pixel(114, 136), display::kPlotGrey);
  // The visible picture holds what was drawn.
  const QImage &picture = probe.Image1()->Picture();
  ASSERT_EQ(picture.size(), QSize(320, 240));
  EXPECT_EQ(picture, probe.Screen().Image().copy(0, 0, 320, 240));
}

TEST(MainWindowLayout, FixedSizeTopLeftAndNoMaximize) {
  TForm1 form;
  form.show();
  EXPECT_EQ(form.pos(), QPoint(0, 0));
  const QSize size = form.size();
  EXPECT_EQ(size.width(), 520);
  EXPECT_EQ(form.minimumSize(), form.maximumSize());
  form.resize(800, 600);
  EXPECT_EQ(form.size(), size);
  EXPECT_FALSE(form.windowFlags() & Qt::WindowMaximizeButtonHint);
  TForm1Probe probe(form);
  // Client positions below the menu bar.
  EXPECT_EQ(probe.Image1()->geometry(), QRect(8, 0, 320, 240));
  EXPECT_EQ(probe.Button1()->geometry(), QRect(8, 272, 75, 25));
  EXPECT_EQ(probe.Edit2()->geometry(), QRect(376, 332, 129, 20));
  EXPECT_EQ(form.statusBar()->height(), 19);
  EXPECT_EQ(form.centralWidget()->height() + form.statusBar()->height(), 384);
}

TEST(MainWindowLayout, TabOrderAndAccessKeys) {
  TForm1 form;
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
  TForm1Probe probe(form);
  QWidget *const order[] = {probe.RadioGroup1()->Item(2),
                            probe.ComboBox1(),
                            probe.Edit1(),
                            probe.Button1(),
                            probe.Button2(),
                            probe.RadioGroup2()->Item(0),
                            probe.ComboBox2(),
                            probe.CheckBox1(),
                            probe.CheckBox2(),
                            probe.ScrollBar1(),
                            probe.Edit2(),
                            probe.RadioGroup1()->Item(2)};
  order[0]->setFocus(Qt::TabFocusReason);
  for (std::size_t i = 1; i < std::size(order); ++i) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), order[i]) << i;
  }
  // A label's access key focuses its control.
  QTest::keyClick(&form, Qt::Key_D, Qt::AltModifier);
  EXPECT_EQ(QApplication::focusWidget(), probe.ComboBox1());
  QTest::keyClick(&form, Qt::Key_G, Qt::AltModifier);
  EXPECT_EQ(QApplication::focusWidget(), probe.ComboBox2());
  QTest::keyClick(&form, Qt::Key_Q, Qt::AltModifier);
  EXPECT_EQ(QApplication::focusWidget(), probe.Edit2());
}

TEST(MainWindowLayout, StartUpFocusAndRadioItemsInsideTheirFrames) {
  TForm1 form;
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
  TForm1Probe probe(form);
  EXPECT_EQ(QApplication::focusWidget(), probe.RadioGroup1()->Item(2));
  // The items keep their place in the tab order, backwards too.
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
  EXPECT_EQ(QApplication::focusWidget(), probe.RadioGroup1()->Item(2));
  for (RadioGroup *group : {probe.RadioGroup1(), probe.RadioGroup2()}) {
    QStyleOptionGroupBox option;
    option.initFrom(group);
    option.text = group->title();
    option.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
    // Inside the frame's lines, as the style draws them.
    const QRect inside = group->style()->subControlRect(QStyle::CC_GroupBox, &option,
                                                        QStyle::SC_GroupBoxContents, group);
    for (QWidget *item : group->Items()) {
      EXPECT_TRUE(inside.contains(item->geometry()))
          << group->title().toStdString() << ": " << item->y() << " in " << inside.y();
    }
  }
}

TEST(MainWindowMenus, CaptionsInOrder) {
  TForm1 form;
  QStringList menus;
  for (QAction *menu : form.menuBar()->actions()) {
    menus << menu->text();
    for (QAction *item : menu->menu()->actions()) {
      menus << "  " + (item->isSeparator() ? "-" : item->text());
      EXPECT_TRUE(item->shortcut().isEmpty());
    }
  }
  EXPECT_EQ(
      menus.join('|'),
      QString::fromUtf8("ファイル(&F)|  CD PLAYER(&C)|  |  QuickSave(&Q)|  すべて保存(&A)|  -|"
                        "  終了(&X)|設定(&S)|  入力ソース(&I)|  入力の詳細(&D)|"
                        "  サンプリング周波数(&S)|  NI-DAQの設定(&N)|  マルチメディア(&M)|"
                        "ヘルプ(&H)|  このソフトについて(&A)"));
}

TEST(MainWindowMenus, FocusCommandsAndEmptyItems) {
  TForm1 form;
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
  TForm1Probe probe(form);
  const auto before = probe.PatternParam();
  probe.Action("EmptyItem")->trigger();
  probe.Action("NIDAQN1")->trigger();
  EXPECT_EQ(probe.PatternParam(), before);
  probe.Action("D1")->trigger();
  EXPECT_TRUE(probe.ComboBox1()->hasFocus());
  probe.Action("S3")->trigger();
  EXPECT_TRUE(probe.Edit1()->hasFocus());
  probe.Action("I1")->trigger();
  EXPECT_TRUE(probe.RadioGroup1()->Item(2)->hasFocus());
}

TEST(MainWindowClose, IdleClosesWithoutQuestion) {
  TForm1 form;
  form.show();
  MessageBoxWatcher watcher(QMessageBox::No);
  EXPECT_TRUE(form.close());
  EXPECT_TRUE(watcher.Boxes().empty());
}

TEST(MainWindowClose, DuringRunAsksAndNoKeepsRunning) {
  TForm1 form;
  form.show();
  TForm1Probe probe(form);
  MessageBoxWatcher watcher(QMessageBox::No);
  bool closed = true;
  bool runningAfterNo = false;
  QTimer::singleShot(20, [&] {
    closed = form.close();
    runningAfterNo = probe.Running();
    probe.Button2()->click();
  });
  probe.Button2()->click();
  EXPECT_FALSE(closed);
  EXPECT_TRUE(runningAfterNo);
  ASSERT_EQ(watcher.Boxes().size(), 1u);
  EXPECT_EQ(watcher.Boxes()[0].caption, "Vireo");
  EXPECT_EQ(watcher.Boxes()[0].text, QString::fromUtf8("終了しますか"));
  EXPECT_TRUE(watcher.Boxes()[0].hasParent);
  EXPECT_TRUE(form.isVisible());
}

TEST(MainWindowClose, DuringRunYesEndsTheRunAfterItsFrame) {
  TForm1 form;
  form.show();
  TForm1Probe probe(form);
  MessageBoxWatcher watcher(QMessageBox::Yes);
  bool closed = false;
  std::int32_t paramAtClose = 0;
  QTimer::singleShot(20, [&] {
    paramAtClose = probe.PatternParam();
    closed = form.close();
  });
  probe.Button2()->click();
  EXPECT_TRUE(closed);
  EXPECT_FALSE(probe.Running());
  EXPECT_FALSE(form.isVisible());
  // The frame during which the close came is finished with its step.
  EXPECT_EQ(probe.PatternParam(), paramAtClose + 1);
  EXPECT_EQ(probe.Button2()->text(), QString::fromUtf8("連続FFT(&T)"));
  EXPECT_EQ(watcher.Boxes().size(), 1u);
}

TEST(MainWindowClose, AnAcceptedCloseEndsTheProgramWhileAnInputErrorIsShown) {
  TForm1 form;
  form.show();
  TForm1Probe probe(form);
  // During a run a bad rate shows its box, left open; the window is closed with Yes.
  QTimer::singleShot(0, probe.Button2(), &QPushButton::click);
  QTimer::singleShot(20, [&] {
    probe.Edit1()->setText("abc");
    QTest::keyClick(probe.Edit1(), Qt::Key_Return);
  });
  QTimer::singleShot(60, [&] {
    QTimer::singleShot(20, [] {
      if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
        box->button(QMessageBox::Yes)->click();
      }
    });
    form.close();
  });
  bool outlived = false;
  QTimer::singleShot(3000, [&] {
    outlived = true;
    QApplication::closeAllWindows();
    QApplication::quit();
  });
  QApplication::exec();
  EXPECT_FALSE(outlived) << "the program outlived its closed main window";
}

} // namespace
