// The About box, the application's icon and the commands that start other programs.
#include <gtest/gtest.h>

#include <QFile>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <set>

#include "app/about_box.h"
#include "app/app_icon.h"
#include "form_probe.h"
#include "message_box_watcher.h"

// Reads the About box's controls for the tests.
class TForm2Probe {
public:
  explicit TForm2Probe(TForm2 &form) : f(form) {}
  QPushButton *Button1() { return f.Button1; }
  QFrame *Panel1() { return f.Panel1; }
  QLabel *Image1() { return f.Image1; }
  QLabel *Label2() { return f.Label2; }

private:
  TForm2 &f;
};

namespace {

// The standard 16-colour palette.
const QList<QRgb> kSixteenColours = {
    0xFF000000, 0xFF800000, 0xFF008000, 0xFF808000, 0xFF000080, 0xFF800080, 0xFF008080, 0xFFC0C0C0,
    0xFF808080, 0xFFFF0000, 0xFF00FF00, 0xFFFFFF00, 0xFF0000FF, 0xFFFF00FF, 0xFF00FFFF, 0xFFFFFFFF};

TEST(AppIcon, SixteenColourPicture) {
  const QImage icon = AppIconImage();
  ASSERT_EQ(icon.size(), QSize(32, 32));
  EXPECT_EQ(icon.colorTable(), kSixteenColours);
  std::set<QRgb> used;
  for (int y = 0; y < 32; ++y) {
    for (int x = 0; x < 32; ++x) {
      used.insert(icon.pixel(x, y));
    }
  }
  // Navy frame, silver panel with fuchsia and purple lettering, bars on black.
  EXPECT_EQ(used, (std::set<QRgb>{0xFF000080, 0xFFC0C0C0, 0xFFFF00FF, 0xFF800080, 0xFF000000,
                                  0xFFFF0000, 0xFFFFFF00, 0xFF00FF00, 0xFF0000FF}));
  for (int i = 0; i < 32; ++i) {
    EXPECT_EQ(icon.pixel(i, 0), 0xFF000080u);
    EXPECT_EQ(icon.pixel(0, i), 0xFF000080u);
    EXPECT_EQ(icon.pixel(i, 31), 0xFF000080u);
    EXPECT_EQ(icon.pixel(31, i), 0xFF000080u);
  }
  EXPECT_EQ(icon.pixel(2, 2), 0xFFC0C0C0u);
  EXPECT_EQ(icon.pixel(2, 29), 0xFF000000u);
}

// Every pixel of the 32 x 32 picture repeated factor x factor times.
void ExpectIconScaledByWholePixels(const QImage &shown, int factor) {
  const QImage icon = AppIconImage();
  ASSERT_EQ(shown.size(), icon.size() * factor);
  for (int y = 0; y < shown.height(); ++y) {
    for (int x = 0; x < shown.width(); ++x) {
      ASSERT_EQ(shown.pixel(x, y), icon.pixel(x / factor, y / factor)) << x << ", " << y;
    }
  }
}

// The theme icons rendered at build time: whole multiples are the picture scaled, the other
// sizes smoothed pictures of their size.
TEST(AppIcon, ThemeFilesAtEverySize) {
  for (const int size : {16, 32, 48, 64, 128, 256}) {
    const QImage file(QStringLiteral(VIREO_ICON_ROOT "/%1x%1/apps/" VIREO_APP_ID ".png").arg(size));
    ASSERT_EQ(file.size(), QSize(size, size)) << size;
    if (size % 32 == 0) {
      ExpectIconScaledByWholePixels(file, size / 32);
    }
  }
}

TEST(AppIcon, IsTheMainWindowIcon) {
  TForm1 form;
  const QImage shown = form.windowIcon().pixmap(32, 32).toImage();
  EXPECT_EQ(shown.convertToFormat(QImage::Format_RGB32),
            AppIconImage().convertToFormat(QImage::Format_RGB32));
}

TEST(AboutBox, FixedModelessDialogWithoutTitleBarButtons) {
  TForm2 form2;
  TForm2Probe probe(form2);
  EXPECT_EQ(form2.windowTitle(), QString::fromUtf8("バージョン情報"));
  const Qt::WindowFlags flags = form2.windowFlags();
  EXPECT_TRUE(flags.testFlag(Qt::CustomizeWindowHint));
  EXPECT_TRUE(flags.testFlag(Qt::WindowTitleHint));
  for (const Qt::WindowType button :
       {Qt::WindowCloseButtonHint, Qt::WindowSystemMenuHint, Qt::WindowMinimizeButtonHint,
        Qt::WindowMaximizeButtonHint, Qt::WindowContextHelpButtonHint}) {
    EXPECT_FALSE(flags.testFlag(button)) << button;
  }
  EXPECT_EQ(form2.size(), QSize(300, 148));
  EXPECT_EQ(form2.minimumSize(), form2.maximumSize());
  EXPECT_EQ(form2.pos(), QPoint(246, 265));
  EXPECT_FALSE(form2.isVisible());
  EXPECT_FALSE(form2.isModal());
  EXPECT_FALSE(form2.testAttribute(Qt::WA_QuitOnClose));
  EXPECT_FALSE(form2.testAttribute(Qt::WA_DeleteOnClose));

  // Enter and Space close the box from its first showing.
  EXPECT_TRUE(probe.Button1()->isDefault());
  EXPECT_EQ(form2.focusWidget(), probe.Button1());
  EXPECT_EQ(probe.Panel1()->frameShadow(), QFrame::Sunken);
  EXPECT_EQ(probe.Label2()->text(), "Version 0.7.0");
}

TEST(AboutBox, ImageIsTheIconStretchedByWholePixels) {
  TForm2 form2;
  ExpectIconScaledByWholePixels(TForm2Probe(form2).Image1()->pixmap().toImage(), 2);
}

class AboutCommandTest : public ::testing::Test {
protected:
  void SetUp() override {
    form.SetAboutBox(&form2);
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
  }
  void About() { TForm1Probe(form).Action("About1")->trigger(); }
  bool WaitHidden() {
    return QTest::qWaitFor([this] { return !form2.isVisible(); }, 1000);
  }
  int AboutBoxesShown() const {
    int shown = 0;
    for (const QWidget *widget : QApplication::topLevelWidgets()) {
      shown += widget->isVisible() && widget->windowTitle() == form2.windowTitle();
    }
    return shown;
  }

  TForm1 form;
  TForm2 form2;
};

TEST_F(AboutCommandTest, ModelessAndSingle) {
  About();
  ASSERT_TRUE(form2.isVisible());
  About();
  EXPECT_EQ(AboutBoxesShown(), 1);
  // The main window stays usable.
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
  EXPECT_TRUE(form.isEnabled());
  TForm1Probe(form).Button1()->click();
  EXPECT_TRUE(form2.isVisible());
}

TEST_F(AboutCommandTest, ClosingHidesAndTheBoxComesBack) {
  TForm2Probe probe(form2);
  About();
  probe.Button1()->click();
  EXPECT_TRUE(WaitHidden());

  About();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&form2));
  EXPECT_EQ(QApplication::focusWidget(), probe.Button1());
  QTest::keyClick(&form2, Qt::Key_Return);
  EXPECT_TRUE(WaitHidden());

  About();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&form2));
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
  EXPECT_TRUE(WaitHidden());

  About();
  EXPECT_TRUE(form2.isVisible());
  EXPECT_EQ(form2.pos(), QPoint(246, 265));
}

// The commands that start other programs, with a search path that holds only what a test puts
// there.
class ExternalToolTest : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(bin.isValid());
    qputenv("PATH", QFile::encodeName(bin.path()));
  }
  void TearDown() override { qputenv("PATH", savedPath); }

  // Runs the command and waits a while for anything late; returns the boxes shown.
  std::vector<MessageBoxWatcher::Seen> Run(const char *action) {
    MessageBoxWatcher watcher;
    TForm1Probe(form).Action(action)->trigger();
    QTest::qWait(100);
    return watcher.Boxes();
  }

  QTemporaryDir bin;
  const QByteArray savedPath = qgetenv("PATH");
  TForm1 form;
};

TEST_F(ExternalToolTest, MissingProgramsShowTheirMessageOnce) {
  const std::pair<const char *, QString> commands[] = {
      {"M1", QString::fromUtf8("コントロールパネルを開く際に何らかの問題が発生しました。\n")},
      {"CDPLAYERC1", QString::fromUtf8("ＣＤプレーヤーを開く際に何らかの問題が発生しました。\n")}};
  for (const auto &[action, text] : commands) {
    const auto boxes = Run(action);
    ASSERT_EQ(boxes.size(), 1u) << action;
    EXPECT_EQ(boxes[0].text, text);
    EXPECT_EQ(boxes[0].caption, "Vireo");
    EXPECT_FALSE(boxes[0].hasParent);
  }
}

TEST_F(ExternalToolTest, StartsTheVolumeControlWithoutWaiting) {
  const QString marker = bin.filePath("started");
  QFile script(bin.filePath("pavucontrol"));
  ASSERT_TRUE(script.open(QIODevice::WriteOnly));
  script.write("#!/bin/sh\n/bin/sleep 1\n: >'" + QFile::encodeName(marker) + "'\n");
  script.close();
  script.setPermissions(QFile::ReadOwner | QFile::ExeOwner);

  EXPECT_TRUE(Run("M1").empty());
  EXPECT_FALSE(QFile::exists(marker)) << "the command waited for the program";
  EXPECT_TRUE(QTest::qWaitFor([&] { return QFile::exists(marker); }, 5000));
}

} // namespace
