#pragma once

#include <QDialog>

class QFrame;
class QLabel;
class QPushButton;

// The About box: product name, version, copyright and slogan beside the application's icon.
// A modeless dialog frame without title-bar buttons at a fixed place and size; closing it only
// hides it, and while it is open it never keeps the program running.
class TForm2 : public QDialog {
public:
  TForm2();

private:
  friend class TForm2Probe;

  void Button1Click();

  QPushButton *Button1 = nullptr;
  QFrame *Panel1 = nullptr;
  QLabel *Image1 = nullptr;
  QLabel *Label1 = nullptr;
  QLabel *Label2 = nullptr;
  QLabel *Label3 = nullptr;
  QLabel *Label4 = nullptr;
};
