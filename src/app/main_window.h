#pragma once

#include <QMainWindow>
#include <QString>

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "core/measurement.h"
#include "sources/wave_in.h"

class EditBox;
class ImageControl;
class QAction;
class QCheckBox;
class QComboBox;
class QFileDialog;
class QLabel;
class QMenu;
class QPushButton;
class RadioGroup;
class ScrollBar;
class TForm2;
class TWaveInThread;

// The main window: owns the measurement, the run flags and the wave input, and carries the
// operations of the analyser. Each handler reads its controls into the measurement and calls
// the measurement's steps.
class TForm1 : public QMainWindow {
public:
  TForm1();
  ~TForm1() override;

  // The About box that the help menu shows; owned by the program entry.
  void SetAboutBox(TForm2 *aboutBox) { Form2 = aboutBox; }

protected:
  void closeEvent(QCloseEvent *event) override;
  void resizeEvent(QResizeEvent *event) override;
  // Routes the wave-input notifications; everything else goes to the base window.
  bool event(QEvent *event) override;

private:
  friend class TForm1Probe;
  friend class TWaveInThread;

  // Start-up and shutdown.
  void CreateControls();
  void CreateMenus();
  void SetTabOrder();
  void FormCreate();
  void FormResize();
  void FormCloseQuery(bool &canClose);
  void FormDestroy();

  // Measurement control.
  void Button1Click();
  void Button2Click();
  void RadioGroup1Click();
  void ComboBox1Change();
  void Edit1KeyPress(char16_t &key);
  void Edit1Exit();
  void ComboBox2Change();
  void RadioGroup2Click();
  void ScrollBar1Change();
  void CheckBox1Click();
  void I1Click();
  void D1Click();
  void S3Click();
  void NIDAQN1Click();
  void Exit1Click();
  void ShowSampleRate();

  // One frame.
  void AcquireFrame();
  void ProcessFrame();

  // Drawing into the measurement's picture and copying to Image1.
  void DrawRunStart();
  void DrawSpectrum();
  void DrawLevelScale();
  void DrawFrequencyAxis();
  void CopyWholeSurface();

  // Wave input.
  void CreateWaveBuffers();
  void FreeWaveBuffers();
  void OpenWaveInput();
  void CloseWaveInput();
  void CopyWaveFrame();
  void CheckWaveError(sources::WaveResult code);
  void OnWaveData();
  void OnWaveClose();
  void RequeueBuffer();

  // Cursor readout, export, About box and external tools.
  void Image1MouseMove(int x, int y);
  void SaveData(const QString &path);
  void A1Click();
  void OfferLastSaveName();
  void PrepareAppDir();
  void Edit2KeyPress(char16_t &key);
  void QuickSaveQ1Click();
  void About1Click();
  void M1Click();
  void CDPLAYERC1Click();
  void SetStatusText(const QString &text);

  // Controls.
  ImageControl *Image1 = nullptr;
  RadioGroup *RadioGroup1 = nullptr;
  QLabel *Label4 = nullptr;
  QComboBox *ComboBox1 = nullptr;
  QLabel *Label2 = nullptr;
  EditBox *Edit1 = nullptr;
  QLabel *Label3 = nullptr;
  QLabel *Label9 = nullptr;
  QComboBox *ComboBox2 = nullptr;
  ScrollBar *ScrollBar1 = nullptr;
  QLabel *Label1 = nullptr;
  QPushButton *Button1 = nullptr;
  QPushButton *Button2 = nullptr;
  RadioGroup *RadioGroup2 = nullptr;
  QCheckBox *CheckBox1 = nullptr;
  QCheckBox *CheckBox2 = nullptr;
  QLabel *Label7 = nullptr;
  QLabel *Label6 = nullptr;
  QLabel *Label8 = nullptr;
  QLabel *Label5 = nullptr;
  EditBox *Edit2 = nullptr;
  QLabel *StatusBar1 = nullptr;
  QFileDialog *SaveDialog1 = nullptr;
  // The name the last save through SaveDialog1 used; the dialog offers it again.
  QString LastSaveName;

  // Menus.
  QMenu *File1 = nullptr;
  QAction *CDPLAYERC1 = nullptr;
  QAction *EmptyItem = nullptr;
  QAction *QuickSaveQ1 = nullptr;
  QAction *A1 = nullptr;
  QAction *N2 = nullptr;
  QAction *Exit1 = nullptr;
  QMenu *S2 = nullptr;
  QAction *I1 = nullptr;
  QAction *D1 = nullptr;
  QAction *S3 = nullptr;
  QAction *NIDAQN1 = nullptr;
  QAction *M1 = nullptr;
  QMenu *Help1 = nullptr;
  QAction *About1 = nullptr;

  // Run-time state.
  std::unique_ptr<core::Measurement> Run;
  bool Running = false;
  bool Busy = false;
  int FixedWidth = 0;
  int FixedHeight = 0;
  QString AppDir;
  // True while AppDir is a folder still to be made by the first save.
  bool AppDirPending = false;
  sources::WaveFormat WaveFormat{};
  std::unique_ptr<sources::WaveIn> WaveIn;
  std::array<std::unique_ptr<sources::WaveHeader>, 2> WaveHeaders;
  std::int32_t CurrentBuffer = 0;
  std::vector<TWaveInThread *> WaveInThreads; // started and not yet deleted
  TForm2 *Form2 = nullptr;
};
