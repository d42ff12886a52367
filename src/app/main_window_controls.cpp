#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>

#include <optional>

#include "analysis/frame_scaling.h"
#include "app/main_window.h"
#include "app/message_boxes.h"
#include "app/widgets/edit_box.h"
#include "app/widgets/image_control.h"
#include "app/widgets/radio_group.h"
#include "app/widgets/scroll_bar.h"
#include "core/sample_rate_text.h"
#include "core/settings.h"
#include "display/layout.h"
#include "sources/test_patterns.h"

namespace {

const QString kContinuousCaption = QStringLiteral("連続FFT(&T)");
const QString kStopCaption = QStringLiteral("停止(&T)");

QStringList ChannelItems() {
  QStringList items;
  for (int channel = 0; channel < 16; ++channel) {
    items << QStringLiteral("Analog input Ch.%1").arg(channel);
  }
  return items;
}

QStringList RateItems() {
  QStringList items;
  for (const core::RateEntry &entry : core::kFixedRates) {
    items << entry.text;
  }
  return items << QStringLiteral("任意周波数-16bit");
}

QStringList PatternItems() {
  QStringList items;
  for (const sources::Pattern &pattern : sources::kPatterns) {
    items << QString::fromUtf8(pattern.label);
  }
  return items;
}

void FillList(QComboBox *box, const QStringList &items, int selected) {
  box->clear();
  box->addItems(items);
  box->setCurrentIndex(selected);
}

} // namespace

void TForm1::Button1Click() {
  if (Running) {
    Running = false;
    return;
  }
  DrawRunStart();
  OpenWaveInput();
  Busy = true;
  AcquireFrame();
  ProcessFrame();
  Busy = false;
  Button2->setText(kContinuousCaption);
  Image1->repaint();
  Run->StepPatternParam();
}

void TForm1::Button2Click() {
  if (Running) {
    Running = false;
    return;
  }
  Button2->setText(kStopCaption);
  DrawRunStart();
  OpenWaveInput();
  Running = true;
  while (Running) {
    Busy = true;
    AcquireFrame();
    ProcessFrame();
    Busy = false;
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    Run->StepPatternParam();
  }
  Button2->setText(kContinuousCaption);
  Running = false;
}

void TForm1::RadioGroup1Click() {
  switch (RadioGroup1->ItemIndex()) {
  case 0:
    FillList(ComboBox1, ChannelItems(), 0);
    break;
  case 1:
    FillList(ComboBox1, RateItems(), 0);
    OpenWaveInput();
    break;
  case 2:
    FillList(ComboBox1, PatternItems(), 1);
    break;
  default:
    break;
  }
  Run->patternParam = core::kInitialPatternParam;
}

void TForm1::ComboBox1Change() {
  if (RadioGroup1->ItemIndex() == 1) {
    OpenWaveInput();
  }
  Run->patternParam = core::kInitialPatternParam;
  DrawFrequencyAxis();
}

void TForm1::Edit1KeyPress(char16_t &key) {
  if (key != EditBox::kEnter) {
    return;
  }
  if (const std::optional<double> rate = core::ParseSampleRate(Edit1->text())) {
    Run->sampleRate = *rate;
  } else {
    ShowOwnerlessMessage(QStringLiteral("無効な数値が入力されました"),
                         QStringLiteral("Input error"));
    ShowSampleRate();
  }
  if (RadioGroup1->ItemIndex() == 1) {
    OpenWaveInput();
  }
  key = 0;
  Run->UpdateFrameTime();
  DrawFrequencyAxis();
}

void TForm1::Edit1Exit() {
  char16_t key = EditBox::kEnter;
  Edit1KeyPress(key);
}

void TForm1::ShowSampleRate() {
  Edit1->setText(core::FormatSampleRate(Run->sampleRate));
}

void TForm1::ComboBox2Change() {
  const int index = ComboBox2->currentIndex();
  if (index >= 0 && index < static_cast<int>(std::size(analysis::kGains))) {
    Run->gain = analysis::kGains[index].value;
  }
}

void TForm1::RadioGroup2Click() {
  const int index = RadioGroup2->ItemIndex();
  if (index >= 0 && index < static_cast<int>(std::size(display::kBinsPerColumn))) {
    Run->view.binsPerColumn = display::kBinsPerColumn[index];
    ScrollBar1->SetPageSize(core::PageSize(Run->view.binsPerColumn));
  }
  ScrollBar1->SetLargeChange(ScrollBar1->Maximum() / 8);
  // The rest is what a change of the position does: take it, clamp it, redraw.
  ScrollBar1Change();
}

void TForm1::ScrollBar1Change() {
  Run->view.viewOffset = ScrollBar1->value();
  if (const int clamped = core::ClampViewOffset(Run->view.viewOffset, ScrollBar1->PageSize());
      clamped != Run->view.viewOffset) {
    ScrollBar1->setValue(clamped);
  }
  DrawFrequencyAxis();
  DrawSpectrum();
}

void TForm1::CheckBox1Click() {
  Run->view.decibel = CheckBox1->isChecked();
  DrawLevelScale();
  DrawSpectrum();
}

void TForm1::I1Click() {
  RadioGroup1->FocusSelected();
}

void TForm1::D1Click() {
  ComboBox1->setFocus();
}

void TForm1::S3Click() {
  Edit1->setFocus();
}

void TForm1::NIDAQN1Click() {}

void TForm1::Exit1Click() {
  close();
}
