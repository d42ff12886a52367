// What the X window system receives from the program: run on an X display (the test command
// starts a virtual one) with the xcb platform.
#include <gtest/gtest.h>

#include <QFile>
#include <QTest>
#include <QTimer>

#include <xcb/xcb.h>

#include <cstdlib>
#include <functional>
#include <memory>
#include <string_view>

#include "app/main_window.h"
#include "app/message_boxes.h"
#include "app/vireo_application.h"

namespace {

template <typename Reply> using Owned = std::unique_ptr<Reply, decltype(&std::free)>;

// The value of one of the window's properties on the X server.
QByteArray WindowProperty(const QWidget &window, std::string_view name) {
  xcb_connection_t *x = qApp->nativeInterface<QNativeInterface::QX11Application>()->connection();
  const Owned<xcb_intern_atom_reply_t> atom(
      xcb_intern_atom_reply(x, xcb_intern_atom(x, 0, name.size(), name.data()), nullptr),
      &std::free);
  const Owned<xcb_get_property_reply_t> reply(
      xcb_get_property_reply(x,
                             xcb_get_property(x, 0, window.winId(), atom ? atom->atom : 0,
                                              XCB_GET_PROPERTY_TYPE_ANY, 0, 256),
                             nullptr),
      &std::free);
  return reply ? QByteArray(static_cast<const char *>(xcb_get_property_value(reply.get())),
                            xcb_get_property_value_length(reply.get()))
               : QByteArray();
}

// The caption the window manager shows: the window's _NET_WM_NAME property.
QString WindowManagerName(const QWidget &window) {
  return QString::fromUtf8(WindowProperty(window, "_NET_WM_NAME"));
}

// The name of the modal box that `show` opens, read while it is open; the box is then closed.
QString ModalBoxName(const std::function<void()> &show) {
  QString name;
  QTimer::singleShot(50, [&] {
    if (QWidget *box = QApplication::activeModalWidget()) {
      name = WindowManagerName(*box);
      box->close();
    }
  });
  show();
  return name;
}

TEST(WindowSystem, CaptionsArriveExactlyAsSet) {
  TForm1 form;
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  EXPECT_EQ(WindowManagerName(form), "FFT");
  EXPECT_EQ(ModalBoxName([&] { ShowApplicationMessage(&form, "x", "File write error"); }),
            "File write error");
  // The simple message dialog's caption is the application title.
  EXPECT_EQ(ModalBoxName([] { ShowSimpleMessage("x"); }), "Vireo");
}

// Docks and task bars tie a window to its launcher entry by the entry's StartupWMClass, which
// must be the class half of the window's WM_CLASS, and by the application id.
TEST(WindowSystem, LauncherEntryMatchesTheWindow) {
  QFile entry(VIREO_DESKTOP_ENTRY);
  ASSERT_TRUE(entry.open(QIODevice::ReadOnly | QIODevice::Text));
  QByteArray startupClass;
  for (const QByteArray &line : entry.readAll().split('\n')) {
    if (line.startsWith("StartupWMClass=")) {
      startupClass = line.mid(line.indexOf('=') + 1);
    }
  }
  TForm1 form;
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  // WM_CLASS holds the instance name and the class, each ended by a zero byte.
  const QList<QByteArray> wmClass = WindowProperty(form, "WM_CLASS").split('\0');
  ASSERT_GE(wmClass.size(), 2);
  EXPECT_EQ(wmClass[1], startupClass);
  EXPECT_EQ(QGuiApplication::desktopFileName(), VIREO_APP_ID);
}

} // namespace

int main(int argc, char **argv) {
  ::testing::InitGoogleTest(&argc, argv);
  qputenv("QT_QPA_PLATFORM", "xcb");
  VireoApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
