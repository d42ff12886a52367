// Runs the display tests inside a QGuiApplication (text needs the font database), on the
// offscreen platform, with the C numeric locale that the application forces.
#include <QGuiApplication>

#include <gtest/gtest.h>

#include <clocale>

int main(int argc, char **argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
  }
  QGuiApplication app(argc, argv);
  std::setlocale(LC_NUMERIC, "C");
  return RUN_ALL_TESTS();
}
