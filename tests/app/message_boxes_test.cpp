// The application's message boxes: their width and the language of their buttons.
#include <gtest/gtest.h>

#include <QFontMetrics>
#include <QGuiApplication>

#include <functional>

#include "app/main_window.h"
#include "app/message_boxes.h"
#include "message_box_watcher.h"

namespace {

TEST(MessageBoxes, WideEnoughForTheirCaptions) {
  // A title bar needs room for its icon and three buttons besides the caption: 120 pixels.
  constexpr int kTitleBarButtons = 120;
  TForm1 form;
  const struct {
    QString caption, text;
    std::function<void(const QString &, const QString &)> show;
  } boxes[] = {
      {"Input error", QString::fromUtf8("無効な数値が入力されました"), ShowOwnerlessMessage},
      {"Wave In Error", "Connection refused",
       [&](const QString &text, const QString &caption) {
         ShowApplicationMessage(&form, text, caption);
       }},
      {"File write error", QString::fromUtf8("ファイルの書き込みに失敗しました"),
       [&](const QString &text, const QString &caption) {
         ShowApplicationMessage(&form, text, caption);
       }},
      {"Vireo", QString::fromUtf8("終了しますか"),
       [&](const QString &text, const QString &caption) { AskYesNo(&form, text, caption); }},
  };
  for (const auto &box : boxes) {
    MessageBoxWatcher watcher;
    box.show(box.text, box.caption);
    ASSERT_EQ(watcher.Boxes().size(), 1u) << box.caption.toStdString();
    const auto &seen = watcher.Boxes()[0];
    EXPECT_EQ(seen.caption, box.caption);
    EXPECT_EQ(seen.text, box.text);
    EXPECT_GE(seen.width,
              QFontMetrics(QApplication::font()).horizontalAdvance(box.caption) + kTitleBarButtons)
        << box.caption.toStdString();
  }
}

// The close question's buttons in the language of the locale the test command runs this test
// under (LANG), as the program finds it at start-up; the window's layout stays left to right.
TEST(MessageBoxes, ToolkitButtonsInTheUserLanguage) {
  const struct {
    QLocale::Language language;
    QStringList buttons;
  } languages[] = {
      {QLocale::C, {"&Yes", "&No"}},
      {QLocale::English, {"&Yes", "&No"}},
      {QLocale::Japanese, {QString::fromUtf8("はい(&Y)"), QString::fromUtf8("いいえ(&N)")}},
      {QLocale::Hebrew, {QString::fromUtf8("&כן"), QString::fromUtf8("&לא")}},
  };
  const auto *expected = std::find_if(std::begin(languages), std::end(languages), [](auto &l) {
    return l.language == QLocale::system().language();
  });
  if (expected == std::end(languages)) {
    GTEST_SKIP() << "no expected texts for " << QLocale::system().name().toStdString();
  }
  MessageBoxWatcher watcher(QMessageBox::No);
  EXPECT_FALSE(AskYesNo(nullptr, QString::fromUtf8("終了しますか"), "Vireo"));
  ASSERT_EQ(watcher.Boxes().size(), 1u);
  EXPECT_EQ(watcher.Boxes()[0].buttons, expected->buttons);
  EXPECT_EQ(watcher.Boxes()[0].caption, "Vireo");
  EXPECT_EQ(watcher.Boxes()[0].text, QString::fromUtf8("終了しますか"));
  EXPECT_EQ(QGuiApplication::layoutDirection(), Qt::LeftToRight);
}

} // namespace
