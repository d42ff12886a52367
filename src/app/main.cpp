#include <QApplication>

#include "app/about_box.h"
#include "app/main_window.h"
#include "app/vireo_application.h"

int main(int argc, char *argv[]) {
  VireoApplication app(argc, argv);
  return app.Run([] {
    TForm1 form1;
    TForm2 form2;
    form1.SetAboutBox(&form2);
    form1.show();
    return QApplication::exec();
  });
}
