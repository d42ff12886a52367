#pragma once

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QMenu>
#include <QPushButton>

#include "app/main_window.h"
#include "app/widgets/edit_box.h"
#include "app/widgets/image_control.h"
#include "app/widgets/radio_group.h"
#include "app/widgets/scroll_bar.h"

// Reads and drives the main window's private state for the window tests.
class TForm1Probe {
public:
  explicit TForm1Probe(TForm1 &form) : f(form) {}

  // Controls.
  ImageControl *Image1() { return f.Image1; }
  RadioGroup *RadioGroup1() { return f.RadioGroup1; }
  QComboBox *ComboBox1() { return f.ComboBox1; }
  EditBox *Edit1() { return f.Edit1; }
  QComboBox *ComboBox2() { return f.ComboBox2; }
  ScrollBar *ScrollBar1() { return f.ScrollBar1; }
  QPushButton *Button1() { return f.Button1; }
  QPushButton *Button2() { return f.Button2; }
  RadioGroup *RadioGroup2() { return f.RadioGroup2; }
  QCheckBox *CheckBox1() { return f.CheckBox1; }
  QCheckBox *CheckBox2() { return f.CheckBox2; }
  QLabel *Label6() { return f.Label6; }
  EditBox *Edit2() { return f.Edit2; }
  QLabel *StatusBar1() { return f.StatusBar1; }
  QFileDialog *SaveDialog1() { return f.SaveDialog1; }
  QAction *Action(const char *name) {
    const std::pair<const char *, QAction *> actions[] = {{"CDPLAYERC1", f.CDPLAYERC1},
                                                          {"EmptyItem", f.EmptyItem},
                                                          {"QuickSaveQ1", f.QuickSaveQ1},
                                                          {"A1", f.A1},
                                                          {"Exit1", f.Exit1},
                                                          {"I1", f.I1},
                                                          {"D1", f.D1},
                                                          {"S3", f.S3},
                                                          {"NIDAQN1", f.NIDAQN1},
                                                          {"M1", f.M1},
                                                          {"About1", f.About1}};
    for (const auto &[actionName, action] : actions) {
      if (std::string_view(actionName) == name) {
        return action;
      }
    }
    return nullptr;
  }

  // State.
  double &SampleRate() { return f.Run->sampleRate; }
  double &FrameTime() { return f.Run->view.frameTime; }
  const display::Palette &Palette() { return f.Run->Palette(); }
  std::int32_t &PatternParam() { return f.Run->patternParam; }
  std::int32_t &ViewOffset() { return f.Run->view.viewOffset; }
  bool &Running() { return f.Running; }
  bool &Busy() { return f.Busy; }
  const display::Canvas &Screen() { return f.Run->Picture(); }
  QString &AppDir() { return f.AppDir; }
  bool &AppDirPending() { return f.AppDirPending; }
  std::int32_t &QuickSaveNumber() { return f.Run->quickSaveNumber; }
  double &Gain() { return f.Run->gain; }
  analysis::TimeFrame &TimeData() { return f.Run->result.samples; }
  analysis::SpectrumFrame &SpectrumData() { return f.Run->result.spectrum; }
  void SpectrumChanged() { f.Run->SpectrumChanged(); }

  // Wave input.
  const sources::WaveFormat &WaveFormat() { return f.WaveFormat; }
  sources::WaveIn *WaveIn() { return f.WaveIn.get(); }
  sources::WaveHeader &WaveHeader(int index) { return *f.WaveHeaders[index]; }
  std::int32_t CurrentBuffer() { return f.CurrentBuffer; }
  const std::vector<TWaveInThread *> &WaveInThreads() { return f.WaveInThreads; }

  // Operations, for the cases a user cannot reach directly.
  void SaveData(const QString &path) { f.SaveData(path); }

private:
  TForm1 &f;
};
