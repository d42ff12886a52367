#include "app/main_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QStandardPaths>
#include <QStatusBar>

#include "analysis/frame_scaling.h"
#include "app/app_dir.h"
#include "app/app_icon.h"
#include "app/message_boxes.h"
#include "app/widgets/edit_box.h"
#include "app/widgets/image_control.h"
#include "app/widgets/radio_group.h"
#include "app/widgets/scroll_bar.h"
#include "core/sample_rate_text.h"
#include "core/settings.h"
#include "display/layout.h"

namespace {

// The window frame of the system the layout was designed on adds 8 pixels to the width and
// 46 to the height (caption, menu bar and borders) around the 520 x 384 client area; here the
// window system draws the frame and the menu bar is part of the window.
constexpr int kFrameExtraWidth = 8;
constexpr int kFrameExtraHeight = 46;
constexpr int kStatusBarHeight = 19;

// A label at least `width` wide and as wide as its text; its mnemonic, if any, focuses `buddy`.
QLabel *MakeLabel(const QString &text, QWidget *parent, int left, int top, int width, int height,
                  QWidget *buddy = nullptr) {
  auto *label = new QLabel(text, parent);
  label->setGeometry(left, top, std::max(width, label->sizeHint().width()), height);
  if (buddy != nullptr) {
    label->setBuddy(buddy);
  }
  return label;
}

} // namespace

TForm1::TForm1() {
  setWindowTitle(QStringLiteral("FFT"));
  setWindowIcon(QPixmap::fromImage(AppIconImage()));
  setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
  CreateControls();
  CreateMenus();
  SetTabOrder();

  Run = std::make_unique<core::Measurement>();

  FormCreate();
  // The window opens with the focus on the first control of the tab order.
  RadioGroup1->FocusSelected();
}

TForm1::~TForm1() {
  FormDestroy();
}

void TForm1::CreateControls() {
  auto *client = new QWidget(this);
  client->setFixedSize(520, 384 - kStatusBarHeight);
  setCentralWidget(client);

  Image1 = new ImageControl(client);
  Image1->setGeometry(8, 0, 320, 240);
  Image1->OnMouseMove = [this](int x, int y) { Image1MouseMove(x, y); };

  RadioGroup1 = new RadioGroup(QStringLiteral("入力ソース(&I)"), client);
  RadioGroup1->setGeometry(336, 8, 161, 73);
  RadioGroup1->SetItems({"NI-DAQ", "Wave audio input", QStringLiteral("テストパターン")});
  RadioGroup1->SetItemIndex(2);
  RadioGroup1->OnClick = [this] { RadioGroup1Click(); };

  ComboBox1 = new QComboBox(client);
  ComboBox1->setGeometry(336, 104, 177, 20);
  connect(ComboBox1, &QComboBox::activated, this, [this] { ComboBox1Change(); });
  Label4 = MakeLabel(QStringLiteral("詳細設定(&D)"), client, 336, 88, 64, 12, ComboBox1);

  Edit1 = new EditBox(client);
  Edit1->setGeometry(424, 152, 65, 20);
  Edit1->setText(core::FormatSampleRate(core::kDefaultSampleRate));
  Edit1->SetMaxTypedLength(6);
  Edit1->OnKeyPress = [this](char16_t &key) { Edit1KeyPress(key); };
  Edit1->OnExit = [this] { Edit1Exit(); };
  Label2 = MakeLabel(QStringLiteral("サンプリング周波数(&P)"), client, 336, 136, 114, 12, Edit1);
  Label3 = MakeLabel(QStringLiteral("Hz"), client, 496, 160, 13, 12);

  ComboBox2 = new QComboBox(client);
  ComboBox2->setGeometry(448, 224, 65, 20);
  for (const analysis::GainEntry &gain : analysis::kGains) {
    ComboBox2->addItem(gain.text);
  }
  ComboBox2->setCurrentIndex(analysis::kDefaultGainIndex);
  connect(ComboBox2, &QComboBox::activated, this, [this] { ComboBox2Change(); });
  Label9 = MakeLabel(QStringLiteral("計算ゲイン(&G)"), client, 360, 228, 72, 12, ComboBox2);

  ScrollBar1 = new ScrollBar(client);
  ScrollBar1->setGeometry(16, 248, 288, 16);
  ScrollBar1->setFocusPolicy(Qt::StrongFocus);
  ScrollBar1->SetMaximum(core::kScrollMaximum);
  ScrollBar1->SetPageSize(512);
  ScrollBar1->SetLargeChange(64);
  connect(ScrollBar1, &QScrollBar::valueChanged, this, [this] { ScrollBar1Change(); });
  Label1 = MakeLabel(QStringLiteral("← 表示範囲"), client, 312, 248, 64, 12);

  Button1 = new QPushButton(QStringLiteral("ワンショット(&O)"), client);
  Button1->setGeometry(8, 272, 75, 25);
  connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
  Button2 = new QPushButton(QStringLiteral("連続FFT(&T)"), client);
  Button2->setGeometry(96, 272, 75, 25);
  connect(Button2, &QPushButton::clicked, this, [this] { Button2Click(); });

  RadioGroup2 = new RadioGroup(QStringLiteral("表示範囲(&V)"), client);
  RadioGroup2->setGeometry(200, 272, 145, 81);
  RadioGroup2->SetItems({QStringLiteral("(&8) もっとも拡大"), QStringLiteral("(&4) 1/4"),
                         QStringLiteral("(&2) 1/2"), QStringLiteral("(&1) 周波数全域表示")});
  RadioGroup2->SetItemIndex(0);
  RadioGroup2->OnClick = [this] { RadioGroup2Click(); };

  CheckBox1 = new QCheckBox(QStringLiteral("dB表示(&L)"), client);
  CheckBox1->setGeometry(368, 272, 81, 17);
  CheckBox1->setChecked(true);
  connect(CheckBox1, &QCheckBox::toggled, this, [this] { CheckBox1Click(); });
  CheckBox2 = new QCheckBox(QStringLiteral("窓関数(&W)"), client);
  CheckBox2->setGeometry(368, 288, 97, 17);

  Label7 = MakeLabel(QStringLiteral("更新時間"), client, 48, 320, 48, 12);
  Label6 = MakeLabel(QString(), client, 64, 336, 33, 12);
  Label8 = MakeLabel(QStringLiteral("[ms]"), client, 112, 336, 23, 12);

  Edit2 = new EditBox(client);
  Edit2->setGeometry(376, 332, 129, 20);
  Edit2->setText(QStringLiteral("Filename"));
  Edit2->OnKeyPress = [this](char16_t &key) { Edit2KeyPress(key); };
  Label5 = MakeLabel(QStringLiteral("QuickSave(&Q)"), client, 352, 320, 70, 12, Edit2);

  auto *bar = new QStatusBar(this);
  bar->setSizeGripEnabled(false);
  bar->setFixedHeight(kStatusBarHeight);
  StatusBar1 = new QLabel(bar);
  bar->addPermanentWidget(StatusBar1, 1);
  setStatusBar(bar);

  SaveDialog1 = new QFileDialog(this);
  SaveDialog1->setAcceptMode(QFileDialog::AcceptSave);
  SaveDialog1->setFileMode(QFileDialog::AnyFile);
  SaveDialog1->setOptions(QFileDialog::DontConfirmOverwrite | QFileDialog::DontUseNativeDialog);
  SaveDialog1->setSizeGripEnabled(true);
}

void TForm1::CreateMenus() {
  File1 = menuBar()->addMenu(QStringLiteral("ファイル(&F)"));
  CDPLAYERC1 =
      File1->addAction(QStringLiteral("CD PLAYER(&C)"), this, [this] { CDPLAYERC1Click(); });
  EmptyItem = File1->addAction(QString());
  QuickSaveQ1 =
      File1->addAction(QStringLiteral("QuickSave(&Q)"), this, [this] { QuickSaveQ1Click(); });
  A1 = File1->addAction(QStringLiteral("すべて保存(&A)"), this, [this] { A1Click(); });
  N2 = File1->addSeparator();
  Exit1 = File1->addAction(QStringLiteral("終了(&X)"), this, [this] { Exit1Click(); });

  S2 = menuBar()->addMenu(QStringLiteral("設定(&S)"));
  I1 = S2->addAction(QStringLiteral("入力ソース(&I)"), this, [this] { I1Click(); });
  D1 = S2->addAction(QStringLiteral("入力の詳細(&D)"), this, [this] { D1Click(); });
  S3 = S2->addAction(QStringLiteral("サンプリング周波数(&S)"), this, [this] { S3Click(); });
  NIDAQN1 = S2->addAction(QStringLiteral("NI-DAQの設定(&N)"), this, [this] { NIDAQN1Click(); });
  M1 = S2->addAction(QStringLiteral("マルチメディア(&M)"), this, [this] { M1Click(); });

  Help1 = menuBar()->addMenu(QStringLiteral("ヘルプ(&H)"));
  About1 =
      Help1->addAction(QStringLiteral("このソフトについて(&A)"), this, [this] { About1Click(); });
}

void TForm1::SetTabOrder() {
  // A radio group takes its place in the order with all its items; Tab stops at the selected
  // one.
  const QList<QWidget *> order =
      RadioGroup1->Items() + QList<QWidget *>{ComboBox1, Edit1, Button1, Button2} +
      RadioGroup2->Items() + QList<QWidget *>{ComboBox2, CheckBox1, CheckBox2, ScrollBar1, Edit2};
  for (qsizetype i = 0; i + 1 < order.size(); ++i) {
    QWidget::setTabOrder(order[i], order[i + 1]);
  }
  Image1->setFocusPolicy(Qt::NoFocus);
  StatusBar1->setFocusPolicy(Qt::NoFocus);
}

void TForm1::FormCreate() {
  AppDir = ResolveAppDir(
      QCoreApplication::applicationDirPath(), QStringLiteral(VIREO_INSTALL_BINDIR),
      QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation), QDir::homePath());
  AppDirPending = !QFileInfo(AppDir).isDir();
  SaveDialog1->setDirectory(AppDir);
  FixedWidth = 528;
  FixedHeight = 430;
  FormResize();
  move(0, 0);
  // The measurement starts with the default rate, gain and save number.
  ShowSampleRate();
  ComboBox2->setCurrentIndex(analysis::kDefaultGainIndex);
  ScrollBar1->SetLargeChange(ScrollBar1->PageSize() / 8);
  Run->OpenPicture();
  CopyWholeSurface();
  CreateWaveBuffers();
  RadioGroup1->SetItems({"NI-DAQ", "Wave audio input", QStringLiteral("テストパターン")});
  RadioGroup1->SetItemIndex(2);
  Button1Click();
}

void TForm1::FormResize() {
  if (FixedWidth == 0) {
    return;
  }
  const int menuHeight = menuBar()->sizeHint().height();
  setFixedSize(FixedWidth - kFrameExtraWidth, FixedHeight - kFrameExtraHeight + menuHeight);
}

void TForm1::resizeEvent(QResizeEvent *event) {
  QMainWindow::resizeEvent(event);
  FormResize();
}

void TForm1::closeEvent(QCloseEvent *event) {
  bool canClose = true;
  FormCloseQuery(canClose);
  event->setAccepted(canClose);
}

void TForm1::FormCloseQuery(bool &canClose) {
  if (!Running) {
    return;
  }
  canClose = AskYesNo(this, QStringLiteral("終了しますか"), QStringLiteral("Vireo"));
  if (canClose) {
    Running = false;
  }
}

void TForm1::FormDestroy() {
  // The controls outlive this step; none of their handlers may reach the freed state.
  Edit1->OnExit = nullptr;
  Image1->OnMouseMove = nullptr;
  CloseWaveInput();
  FreeWaveBuffers();
  Run.reset();
}

void TForm1::SetStatusText(const QString &text) {
  StatusBar1->setText(text);
}
