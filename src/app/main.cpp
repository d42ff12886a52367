#include <QApplication>

#include <cstdlib>
#include <iostream>
#include <string_view>

#include "app/about_box.h"
#include "app/command_line.h"
#include "app/display_check.h"
#include "app/main_window.h"
#include "app/vireo_application.h"

namespace {

std::string_view Environment(const char *name) {
  const char *value = std::getenv(name);
  return value != nullptr ? value : "";
}

} // namespace

int main(int argc, char *argv[]) {
  // Before the application object, which needs a display.
  if (const auto exitCode =
          HandleCommandLine({argv, static_cast<size_t>(argc)}, std::cout, std::cerr)) {
    return *exitCode;
  }
  if (const auto missing = MissingDisplay(Environment("QT_QPA_PLATFORM"), Environment("DISPLAY"),
                                          Environment("WAYLAND_DISPLAY"))) {
    std::cerr << *missing << '\n';
    return 1;
  }
  VireoApplication app(argc, argv);
  return app.Run([] {
    TForm1 form1;
    TForm2 form2;
    form1.SetAboutBox(&form2);
    form1.show();
    return QApplication::exec();
  });
}
