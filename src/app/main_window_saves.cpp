#include <QAbstractItemView>
#include <QCheckBox>
#include <QCompleter>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>

#include "app/app_dir.h"
#include "app/main_window.h"
#include "app/message_boxes.h"
#include "app/widgets/edit_box.h"
#include "core/data_export.h"

namespace {

// The dialog's name box offers matching names in a completion list, a window of its own that
// closing the dialog leaves open: it would stay on screen, follow the folder's new files and
// hold the keyboard. Close it with the dialog, whether accepted or cancelled.
void EndNameCompletion(const QFileDialog &dialog) {
  const auto *nameBox = dialog.findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
  if (QCompleter *completer = nameBox != nullptr ? nameBox->completer() : nullptr) {
    completer->popup()->hide();
  }
}

} // namespace

void TForm1::SaveData(const QString &path) {
  // Both texts come from the same frame, whatever a message box in between lets happen.
  const std::string raw = Run->RawText();
  const std::string spectrum = Run->SpectrumText();
  // A file counts as written only when every byte reached it and it closed cleanly.
  const auto writeFile = [this](const QString &name, const std::string &text) {
    if (core::WriteExportFile(QFile::encodeName(name).toStdString(), text)) {
      SetStatusText(QStringLiteral("File ") + name + QStringLiteral(" has written"));
    } else {
      ShowApplicationMessage(this, QStringLiteral("ファイルの書き込みに失敗しました"),
                             QStringLiteral("File write error"));
    }
  };
  writeFile(path + QStringLiteral(".raw"), raw);
  writeFile(path + QStringLiteral(".spc"), spectrum);
}

void TForm1::A1Click() {
  // A save waits for the frame in progress to be complete.
  while (Busy) {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
  }
  PrepareAppDir();
  SaveDialog1->setWindowTitle(QStringLiteral("データの保存"));
  // The dialog itself accepts a name in a folder that does not exist: say so and ask again.
  for (;;) {
    OfferLastSaveName();
    const int result = SaveDialog1->exec();
    EndNameCompletion(*SaveDialog1);
    if (result != QDialog::Accepted) {
      return;
    }
    const QString name = SaveDialog1->selectedFiles().value(0);
    const QString folder = QFileInfo(name).absolutePath();
    if (QFileInfo(folder).isDir()) {
      LastSaveName = name;
      SaveData(name);
      return;
    }
    ShowApplicationMessage(this,
                           folder + QStringLiteral("\nフォルダが見つかりません。"
                                                   "フォルダ名を確認してください。"),
                           SaveDialog1->windowTitle());
  }
}

void TForm1::OfferLastSaveName() {
  // Whatever was typed into a cancelled or refused dialog is dropped.
  if (!LastSaveName.isEmpty()) {
    SaveDialog1->selectFile(LastSaveName);
    return;
  }
  // The dialog's name box; selecting an empty name leaves it as it is.
  if (auto *nameBox = SaveDialog1->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))) {
    nameBox->clear();
  }
}

// The documents subfolder of an installed copy is made when a save first needs it, so that
// starting the program leaves no trace in the user's folders.
void TForm1::PrepareAppDir() {
  if (!AppDirPending) {
    return;
  }
  AppDirPending = false;
  AppDir = MakeSaveFolder(AppDir, QDir::homePath());
  SaveDialog1->setDirectory(AppDir);
}

void TForm1::Edit2KeyPress(char16_t &key) {
  if (key != EditBox::kEnter) {
    return;
  }
  key = 0;
  PrepareAppDir();
  const QString path = AppDir + Edit2->text() + QString::number(Run->quickSaveNumber);
  ++Run->quickSaveNumber;
  SaveData(path);
}

void TForm1::QuickSaveQ1Click() {
  Edit2->setFocus(Qt::ShortcutFocusReason);
}
