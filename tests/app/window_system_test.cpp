// What the X window system receives from the program: run on an X display (the test command
// starts a virtual one) with the xcb platform.
#include <gtest/gtest.h>

#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>

#include "app/about_box.h"
#include "app/main_window.h"
#include "app/message_boxes.h"
#include "app/vireo_application.h"

namespace {

xcb_atom_t Atom(xcb_connection_t *connection, const char *name) {
  const std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
      xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, std::strlen(name), name),
                            nullptr),
      &std::free);
  return reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
}

// The caption the window manager shows: the window's _NET_WM_NAME property.
QString WindowManagerName(const QWidget &window) {
  auto *x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
  xcb_connection_t *connection = x11->connection();
  const auto id = static_cast<xcb_window_t>(window.winId());
  const std::unique_ptr<xcb_get_property_reply_t, decltype(&std::free)> reply(
      xcb_get_property_reply(connection,
                             xcb_get_property(connection, 0, id, Atom(connection, "_NET_WM_NAME"),
                                              Atom(connection, "UTF8_STRING"), 0, 256),
                             nullptr),
      &std::free);
  if (!reply) {
    return "(no property)";
  }
  return QString::fromUtf8(static_cast<const char *>(xcb_get_property_value(reply.get())),
                           xcb_get_property_value_length(reply.get()));
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
  TForm2 about;
  form.show();
  about.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  EXPECT_EQ(WindowManagerName(form), "FFT");
  EXPECT_EQ(WindowManagerName(about), QString::fromUtf8("バージョン情報"));
  EXPECT_EQ(ModalBoxName([&] { ShowApplicationMessage(&form, "x", "File write error"); }),
            "File write error");
  // The simple message dialog's caption is the application title.
  EXPECT_EQ(ModalBoxName([] { ShowSimpleMessage("x"); }), "Vireo");
}

} // namespace

int main(int argc, char **argv) {
  ::testing::InitGoogleTest(&argc, argv);
  qputenv("QT_QPA_PLATFORM", "xcb");
  VireoApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
