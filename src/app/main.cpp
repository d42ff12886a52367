#include <QApplication>

#include <iostream>

#include "app/about_box.h"
#include "app/command_line.h"
#include "app/main_window.h"
#include "app/vireo_application.h"

int main(int argc, char *argv[]) {
  // Before the application object, which needs a display.
  if (const auto exitCode =
          HandleCommandLine({argv, static_cast<size_t>(argc)}, std::cout, std::cerr)) {
    return *exitCode;
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
