#include <QCheckBox>
#include <QComboBox>
#include <QLabel>

#include "analysis/tick_count.h"
#include "app/image_control.h"
#include "app/main_window.h"
#include "app/radio_group.h"
#include "core/frame_pass.h"
#include "display/layout.h"
#include "display/plot.h"
#include "display/scales.h"
#include "sources/test_patterns.h"

void TForm1::AcquireFrame() {
  switch (RadioGroup1->ItemIndex()) {
  case 1:
    CopyWaveFrame();
    break;
  case 2:
    sources::MakePattern(ComboBox1->currentIndex(), *TimeData, PatternParam);
    break;
  default:
    // The data-acquisition board delivers nothing: the frame keeps what it holds.
    break;
  }
}

void TForm1::ProcessFrame() {
  const std::uint32_t start = analysis::GetTickCount();
  core::AnalyseFrame(*TimeData, *SpectrumData, Gain, CheckBox2->isChecked());
  core::DrawFrame(*Screen, Palette, *TimeData, *SpectrumData, CurrentView());
  Image1->CopyRect(*Screen, display::kRawStripRect);
  Image1->CopyRect(*Screen, display::kSpectrumCopyRect);
  const std::uint32_t end = analysis::GetTickCount();
  Label6->setText(QString::number(analysis::ElapsedTicks(start, end)));
}

core::View TForm1::CurrentView() const {
  return {CheckBox1->isChecked(), BinsPerColumn(), ViewOffset, FrameTime};
}

void TForm1::DrawRunStart() {
  core::DrawRunStart(*Screen, Palette, CurrentView());
  CopyWholeSurface();
}

void TForm1::DrawSpectrum() {
  display::DrawSpectrum(*Screen, Palette, *SpectrumData, ViewOffset, BinsPerColumn(),
                        CheckBox1->isChecked());
  Image1->CopyRect(*Screen, display::kSpectrumCopyRect);
}

void TForm1::DrawLevelScale() {
  display::DrawLevelScale(*Screen, Palette, CheckBox1->isChecked());
  CopyWholeSurface();
}

void TForm1::DrawFrequencyAxis() {
  display::DrawFrequencyAxis(*Screen, Palette, BinsPerColumn(), ViewOffset, FrameTime);
  CopyWholeSurface();
}

void TForm1::CopyWholeSurface() {
  Image1->CopyRect(*Screen, display::kWholeSurface);
}
