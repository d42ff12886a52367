// The application's message boxes are wide enough for their captions.
#include <gtest/gtest.h>

#include <QFontMetrics>

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

} // namespace
