// The window as a client of a Wayland compositor (a weston of its own, started by
// in_weston.sh): what the compositor shows and knows of it, read through weston's screenshooter
// and its scene graph.
#include <gtest/gtest.h>

#include <QDir>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>
#include <optional>
#include <vector>

#include "app/about_box.h"
#include "app/main_window.h"
#include "app/message_boxes.h"
#include "app/vireo_application.h"
#include "form_probe.h"

namespace {

// A surface the compositor shows: its role, its description (for a top-level window "top-level
// window 'CAPTION' of APP_ID") and where it is on the output.
struct View {
  QString role;
  QString description;
  QRect rect;
};

// The compositor's views, the topmost first.
std::vector<View> Scene() {
  QProcess debug;
  debug.start(QStringLiteral("weston-debug"), {QStringLiteral("scene-graph")});
  debug.waitForFinished(10000);
  static const QRegularExpression kView(
      QStringLiteral(R"(View \d+ \(role ([^,]+), PID \d+, surface ID \d+, (.*), 0x[0-9a-f]+\):)"
                     R"(\s*position: \((-?\d+), (-?\d+)\) -> \((-?\d+), (-?\d+)\))"));
  std::vector<View> views;
  for (const QRegularExpressionMatch &m :
       kView.globalMatch(QString::fromUtf8(debug.readAllStandardOutput()))) {
    const auto number = [&](int i) { return m.captured(i).toInt(); };
    views.push_back({m.captured(1), m.captured(2),
                     QRect(QPoint(number(3), number(4)), QPoint(number(5) - 1, number(6) - 1))});
  }
  return views;
}

// The place in the scene of the top-level window with this caption.
std::optional<std::size_t> Window(const std::vector<View> &scene, const QString &caption) {
  for (std::size_t i = 0; i < scene.size(); ++i) {
    if (scene[i].role == "xdg_toplevel" &&
        scene[i].description.startsWith(QStringLiteral("top-level window '%1'").arg(caption))) {
      return i;
    }
  }
  return std::nullopt;
}

// The whole output as the compositor's screenshooter takes it.
QImage Screenshot() {
  QTemporaryDir dir;
  QProcess shooter;
  shooter.setWorkingDirectory(dir.path());
  shooter.start(QStringLiteral("weston-screenshooter"), {});
  shooter.waitForFinished(10000);
  const QStringList files = QDir(dir.path()).entryList({QStringLiteral("*.png")});
  return files.size() == 1 ? QImage(dir.filePath(files[0])).convertToFormat(QImage::Format_RGB888)
                           : QImage();
}

// The window's start-up picture appears on the output exactly as the picture that the window
// draws under X11 and off screen, which vireo-analyse draws too (the command-line tests compare
// the two); it lies where the window's picture control is, below the title bar the toolkit
// draws itself. The compositor knows the window by the launcher entry's name.
TEST(WaylandWindow, ShowsTheStartupPictureUnderTheLauncherEntrysName) {
  QTemporaryDir dir;
  QProcess analyse;
  analyse.setWorkingDirectory(dir.path());
  analyse.start(QStringLiteral(VIREO_ANALYSE), {"--pattern", "1", "--out", "X", "--png"});
  ASSERT_TRUE(analyse.waitForFinished(60000));
  const QImage reference = QImage(dir.filePath("X1.png")).convertToFormat(QImage::Format_RGB888);
  ASSERT_EQ(reference.size(), QSize(320, 240));

  TForm1 form;
  TForm1Probe probe(form);
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  // The first screenshots may be taken before the compositor has shown the window's first frame.
  QString description;
  QImage shown;
  for (int attempt = 0; attempt < 20 && shown != reference; ++attempt) {
    QTest::qWait(250);
    const std::vector<View> scene = Scene();
    if (const auto view = Window(scene, form.windowTitle())) {
      description = scene[*view].description;
      // The picture control's place in the window, below the title bar and the menu bar.
      const QMargins frame = form.windowHandle()->frameMargins();
      shown =
          Screenshot().copy(QRect(scene[*view].rect.topLeft() + QPoint(frame.left(), frame.top()) +
                                      probe.Image1()->mapTo(&form, QPoint()),
                                  reference.size()));
    }
  }
  EXPECT_EQ(description, QStringLiteral("top-level window 'FFT' of " VIREO_APP_ID));
  EXPECT_EQ(shown, reference);
}

TEST(WaylandBoxes, EveryBoxOpensOverTheMainWindowWithTheFocus) {
  TForm1 form;
  TForm2 about;
  form.SetAboutBox(&about);
  TForm1Probe probe(form);
  form.show();
  const auto focused = [&](const QWidget *window) {
    return QTest::qWaitFor([&] { return QApplication::activeWindow() == window; });
  };
  ASSERT_TRUE(focused(&form));
  const struct {
    const char *name;
    std::function<void()> open;
  } boxes[] = {
      {"application message", [&] { ShowApplicationMessage(&form, "x", "File write error"); }},
      {"question", [&] { AskYesNo(&form, "x", "Question"); }},
      {"ownerless message", [] { ShowOwnerlessMessage("x", "Input error"); }},
      {"simple message", [] { ShowSimpleMessage("x"); }},
      {"error", [] { VireoApplication::ShowError("x"); }},
      {"about box", [&] { probe.Action("About1")->trigger(); }},
      {"save dialog", [&] { probe.Action("A1")->trigger(); }},
  };
  for (const auto &box : boxes) {
    SCOPED_TRACE(box.name);
    bool checked = false;
    QTimer::singleShot(0, [&] {
      QWidget *shown = nullptr;
      EXPECT_TRUE(QTest::qWaitFor([&] {
        shown = QApplication::activeWindow();
        return shown != nullptr && shown != &form;
      })) << "the box did not take the focus";
      if (shown != nullptr && shown != &form) {
        EXPECT_EQ(shown->windowHandle()->transientParent(), form.windowHandle());
        const std::vector<View> scene = Scene();
        const auto boxView = Window(scene, shown->windowTitle());
        const auto formView = Window(scene, form.windowTitle());
        EXPECT_TRUE(boxView && formView && *boxView < *formView) << "not above the main window";
      }
      for (QWidget *window : QApplication::topLevelWidgets()) {
        if (auto *dialog = qobject_cast<QDialog *>(window); dialog && dialog->isVisible()) {
          dialog->reject();
        }
      }
      checked = true;
    });
    box.open();
    EXPECT_TRUE(QTest::qWaitFor([&] { return checked; }));
    EXPECT_TRUE(focused(&form));
  }
}

} // namespace

int main(int argc, char **argv) {
  ::testing::InitGoogleTest(&argc, argv);
  qputenv("QT_QPA_PLATFORM", "wayland");
  VireoApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
