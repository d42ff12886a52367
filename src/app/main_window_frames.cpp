#include <QCheckBox>
#include <QComboBox>
#include <QLabel>

#include "analysis/tick_count.h"
#include "app/main_window.h"
#include "app/widgets/image_control.h"
#include "app/widgets/radio_group.h"
#include "display/layout.h"

void TForm1::AcquireFrame() {
  switch (RadioGroup1->ItemIndex()) {
  case 1:
    CopyWaveFrame();
    break;
  case 2:
    Run->MakePattern(ComboBox1->currentIndex());
    break;
  default:
    // The data-acquisition board delivers nothing: the frame keeps what it holds.
    break;
  }
}

void TForm1::ProcessFrame() {
  const std::uint32_t start = analysis::GetTickCount();
  Run->window = CheckBox2->isChecked();
  Run->ProcessFrame();
  Image1->CopyRect(Run->Picture(), display::kRawStripRect);
  Image1->CopyRect(Run->Picture(), display::kSpectrumCopyRect);
  const std::uint32_t end = analysis::GetTickCount();
  Label6->setText(QString::number(analysis::ElapsedTicks(start, end)));
}

void TForm1::DrawRunStart() {
  Run->StartRun();
  CopyWholeSurface();
}

void TForm1::DrawSpectrum() {
  Run->DrawSpectrum();
  Image1->CopyRect(Run->Picture(), display::kSpectrumCopyRect);
}

void TForm1::DrawLevelScale() {
  Run->DrawLevelScale();
  CopyWholeSurface();
}

void TForm1::DrawFrequencyAxis() {
  Run->DrawFrequencyAxis();
  CopyWholeSurface();
}

void TForm1::CopyWholeSurface() {
  Image1->CopyRect(Run->Picture(), display::kWholeSurface);
}
