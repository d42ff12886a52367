#include "app/about_box.h"

#include <QFrame>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>

#include "app/app_icon.h"
#include "app/main_window.h"
#include "app/message_boxes.h"

namespace {

constexpr int kLabelHeight = 12;
constexpr int kImageSize = 64;

// A label as wide as its text.
QLabel *MakeLabel(const QString &text, QWidget *parent, int left, int top) {
  auto *label = new QLabel(text, parent);
  label->setGeometry(left, top, label->sizeHint().width(), kLabelHeight);
  return label;
}

} // namespace

TForm2::TForm2() {
  setWindowTitle(QStringLiteral("バージョン情報"));
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
  setAttribute(Qt::WA_QuitOnClose, false);
  setFixedSize(300, 148);
  move(246, 265);
  setBackgroundRole(QPalette::Button);
  setAutoFillBackground(true);

  Button1 = new QPushButton(QStringLiteral("閉じる"), this);
  Button1->setGeometry(104, 120, 75, 25);
  Button1->setDefault(true);
  connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });

  Panel1 = new QFrame(this);
  Panel1->setGeometry(8, 0, 289, 113);
  // Two lowered bevels, outer and inner.
  Panel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  Panel1->setLineWidth(2);

  Image1 = new QLabel(Panel1);
  Image1->setGeometry(8, 8, kImageSize, kImageSize);
  // Stretched by whole pixels, without smoothing.
  Image1->setPixmap(QPixmap::fromImage(AppIconImage(kImageSize)));

  Label1 = MakeLabel(QStringLiteral("Vireo for Windows"), Panel1, 80, 16);
  Label2 = MakeLabel(QStringLiteral("Version " VIREO_VERSION), Panel1, 80, 32);
  Label3 = MakeLabel(QStringLiteral("Copyright (C) 2026 Vireo developers"), Panel1, 80, 56);
  Label4 = MakeLabel(QStringLiteral("フーリエ変換をお手軽に楽しもう！"), Panel1, 56, 80);

  Button1->setFocus();
}

void TForm2::Button1Click() {
  close();
}

void TForm1::About1Click() {
  // The program entry hands the box over; a window without one has nothing to show.
  if (Form2 == nullptr) {
    return;
  }
  KeepOverActiveWindow(*Form2);
  Form2->show();
  Form2->raise();
  Form2->activateWindow();
}
