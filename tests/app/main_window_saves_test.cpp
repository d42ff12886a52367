// The window's save commands: QuickSave, the save dialog and every failure.
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <string>

#include "core/export_text.h"
#include "form_probe.h"
#include "message_box_watcher.h"

namespace {

const QString kWriteFailed = QString::fromUtf8("ファイルの書き込みに失敗しました");
const QString kWriteFailedCaption = QStringLiteral("File write error");

// ---------------------------------------------------------------------------------------------
// The main window's save commands.

// Calls `answer` with the dialog and the number of its showing (1, 2, ...) each time the dialog
// is shown, inside the modal loop that shows it.
class DialogAnswerer {
public:
  using Answer = std::function<void(QFileDialog *dialog, int showing)>;
  DialogAnswerer(QFileDialog *dialog, Answer answer) : answer(std::move(answer)) {
    timer.setInterval(5);
    QObject::connect(&timer, &QTimer::timeout, [this, dialog] {
      if (dialog->isVisible() && !wasVisible) {
        this->answer(dialog, ++showings);
      }
      wasVisible = dialog->isVisible();
    });
    timer.start();
  }

private:
  Answer answer;
  QTimer timer;
  bool wasVisible = false;
  int showings = 0;
};

class SaveCommandTest : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    probe.AppDir() = dir.path() + '/';
  }

  QString Path(const QString &name) const { return dir.filePath(name); }
  QString Written(const QString &name) const {
    return QStringLiteral("File ") + Path(name) + QStringLiteral(" has written");
  }
  void QuickSave() { QTest::keyClick(probe.Edit2(), Qt::Key_Return); }
  // Chooses the save command and answers its dialog with `answer`.
  void SaveThroughDialog(const DialogAnswerer::Answer &answer) {
    DialogAnswerer answerer(probe.SaveDialog1(), answer);
    probe.Action("A1")->trigger();
  }
  // Types the name into the dialog's name box and presses the save button.
  static void Choose(QFileDialog *dialog, const QString &path) {
    dialog->findChild<QLineEdit *>("fileNameEdit")->setText(path);
    PressSave(dialog);
  }
  // Presses the save button: QDialog's accept runs the file dialog's own checks. A row selected
  // in the dialog's list is taken before the name box, and a folder row only opens that folder,
  // leaving the dialog up; the list is filled on the dialog's own thread and may select a row
  // while a busy machine is still reading the folder. A user who types a name has the name box's
  // focus, which drops such a selection, so the test drops it too.
  static void PressSave(QFileDialog *dialog) {
    dialog->findChild<QAbstractItemView *>("listView")->clearSelection();
    static_cast<QDialog *>(dialog)->accept();
  }

  QTemporaryDir dir;
  TForm1 form;
  TForm1Probe probe{form};
};

TEST_F(SaveCommandTest, QuickSaveWritesTheStartUpFrame) {
  ASSERT_EQ(probe.Edit2()->text(), "Filename");
  MessageBoxWatcher watcher;
  QuickSave();
  EXPECT_TRUE(watcher.Boxes().empty());
  EXPECT_EQ(probe.StatusBar1()->text(), Written("Filename1.spc"));
  EXPECT_EQ(probe.QuickSaveNumber(), 2);
  EXPECT_EQ(probe.Edit2()->text(), "Filename");

  // The processed sine at 2000 periods per frame: samples 2/4096 × sin(i × 2000 × 2π / 4096).
  const auto raw = Lines(ReadFile(Path("Filename1.raw")));
  ASSERT_EQ(raw.size(), 4096u);
  EXPECT_EQ(raw[0], "0\t0.000000");
  EXPECT_EQ(raw[1], "1\t-0.000072");
  EXPECT_EQ(raw[4095], "4095\t0.000072");

  // Its power sits in bins 96 and 4000 at magnitude 1, 0 dB.
  const auto spectrum = Lines(ReadFile(Path("Filename1.spc")));
  ASSERT_EQ(spectrum.size(), 4096u);
  EXPECT_EQ(spectrum[96], "1033.593750\t0.000000");
  EXPECT_EQ(spectrum[4000], "43066.406250\t0.000000");
  // Elsewhere only the rounding noise of single precision remains.
  EXPECT_EQ(spectrum[95].substr(0, 12), "1022.827148\t");
  EXPECT_LT(std::stod(spectrum[95].substr(12)), -100);
  EXPECT_EQ(spectrum[4095].substr(0, 13), "44089.233398\t");

  // The next QuickSave takes the next number; the linear scale changes only the .spc file.
  probe.CheckBox1()->setChecked(false);
  QuickSave();
  EXPECT_EQ(probe.StatusBar1()->text(), Written("Filename2.spc"));
  EXPECT_EQ(ReadFile(Path("Filename2.raw")), ReadFile(Path("Filename1.raw")));
  const auto amplitudes = Lines(ReadFile(Path("Filename2.spc")));
  EXPECT_EQ(amplitudes[96], "1033.593750\t1.000000");

  // Every byte of the three files, the same on every machine: FNV-1a digests.
  const auto digest = [](const std::string &text) {
    std::uint64_t h = 0xcbf29ce484222325u;
    for (const unsigned char c : text) {
      h = (h ^ c) * 0x100000001b3u;
    }
    return h;
  };
  EXPECT_EQ(digest(ReadFile(Path("Filename1.raw"))), 0xc91b2c8cf80beba2u);
  EXPECT_EQ(digest(ReadFile(Path("Filename1.spc"))), 0x9720a2963e94ab76u);
  EXPECT_EQ(digest(ReadFile(Path("Filename2.spc"))), 0xcd7cfe55aa403ce3u);
}

TEST_F(SaveCommandTest, ZeroPowerBins) {
  probe.SpectrumData().fill(0.0f);
  probe.SpectrumChanged();
  probe.SaveData(Path("zero"));
  EXPECT_EQ(Lines(ReadFile(Path("zero.spc")))[7], "75.366211\t-999.000000");
  probe.CheckBox1()->setChecked(false);
  probe.SaveData(Path("zero"));
  EXPECT_EQ(Lines(ReadFile(Path("zero.spc")))[7], "75.366211\t0.000000");
}

TEST_F(SaveCommandTest, QuickSaveWithEmptyTextUsesTheNumberAlone) {
  probe.Edit2()->clear();
  QuickSave();
  EXPECT_TRUE(QFile::exists(Path("1.raw")));
  EXPECT_EQ(probe.StatusBar1()->text(), Written("1.spc"));
}

TEST_F(SaveCommandTest, QuickSaveMenuFocusesTheEditBox) {
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
  probe.Button1()->setFocus();
  probe.Action("QuickSaveQ1")->trigger();
  EXPECT_EQ(QApplication::focusWidget(), probe.Edit2());
}

TEST_F(SaveCommandTest, DialogSavesUnderTheChosenNameAndOffersItAgain) {
  QString title;
  QString firstDirectory;
  SaveThroughDialog([&](QFileDialog *dialog, int) {
    title = dialog->windowTitle();
    firstDirectory = dialog->directory().absolutePath();
    Choose(dialog, Path("test.txt"));
  });
  EXPECT_EQ(title, QString::fromUtf8("データの保存"));
  EXPECT_EQ(firstDirectory, QCoreApplication::applicationDirPath());
  EXPECT_TRUE(QFile::exists(Path("test.txt.raw")));
  EXPECT_EQ(probe.StatusBar1()->text(), Written("test.txt.spc"));

  // Saving again under the offered name overwrites without a question.
  QFile::resize(Path("test.txt.raw"), 0);
  MessageBoxWatcher watcher;
  QString offered;
  SaveThroughDialog([&](QFileDialog *dialog, int) {
    offered = dialog->selectedFiles().value(0);
    PressSave(dialog);
  });
  EXPECT_EQ(offered, Path("test.txt"));
  EXPECT_TRUE(watcher.Boxes().empty());
  EXPECT_EQ(Lines(ReadFile(Path("test.txt.raw"))).size(), 4096u);
}

TEST_F(SaveCommandTest, TheDialogOffersTheLastNameUsedForASave) {
  // Typed and cancelled, then saved, then refused: each showing offers the last saved name.
  QStringList offers;
  const auto offer = [&](QFileDialog *dialog) {
    offers << dialog->findChild<QLineEdit *>("fileNameEdit")->text();
  };
  SaveThroughDialog([&](QFileDialog *dialog, int) {
    dialog->findChild<QLineEdit *>("fileNameEdit")->setText("typed");
    dialog->reject();
  });
  SaveThroughDialog([&](QFileDialog *dialog, int) {
    offer(dialog);
    Choose(dialog, Path("saved"));
  });
  MessageBoxWatcher watcher;
  SaveThroughDialog([&](QFileDialog *dialog, int showing) {
    offer(dialog);
    showing == 1 ? Choose(dialog, Path("missing/name")) : dialog->reject();
  });
  EXPECT_EQ(offers, QStringList({"", "saved", "saved"}));
}

TEST_F(SaveCommandTest, CancelledDialogWritesNothing) {
  SaveThroughDialog([](QFileDialog *dialog, int) { dialog->reject(); });
  EXPECT_TRUE(QDir(dir.path()).isEmpty());
  EXPECT_EQ(probe.StatusBar1()->text(), "");
}

TEST_F(SaveCommandTest, NoCompletionListOutlivesTheDialog) {
  // The user types, through the window system, the start of a saved name and accepts while
  // the dialog's completion list offers that name.
  QFile(Path("abc.raw")).open(QIODevice::WriteOnly);
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
  bool listShown = false;
  SaveThroughDialog([&](QFileDialog *dialog, int) {
    dialog->setDirectory(dir.path());
    // The list can only offer names once the dialog's file model has read the folder, which
    // it does on its own thread: a busy machine may take a while.
    const auto *model = dialog->findChild<QFileSystemModel *>();
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return model->rowCount(model->index(dir.path())) > 0; }, 30000));
    for (const char key : {'a', 'b'}) {
      QTest::keyClick(dialog->windowHandle(), key);
    }
    listShown = QTest::qWaitFor([] { return QApplication::activePopupWidget() != nullptr; });
    QTest::keyClick(dialog->windowHandle(), Qt::Key_Return);
  });
  ASSERT_TRUE(listShown);
  ASSERT_TRUE(QFile::exists(Path("ab.spc")));
  for (const QWidget *widget : QApplication::topLevelWidgets()) {
    EXPECT_FALSE(widget->isVisible() && widget->windowType() == Qt::Popup) << widget;
  }
  probe.Edit2()->setFocus();
  QTest::keyClick(form.windowHandle(), 'x');
  EXPECT_EQ(probe.Edit2()->text(), "Filenamex");
}

TEST_F(SaveCommandTest, DialogRefusesAMissingFolder) {
  MessageBoxWatcher watcher;
  int showings = 0;
  SaveThroughDialog([&](QFileDialog *dialog, int showing) {
    showings = showing;
    if (showing == 1) {
      Choose(dialog, Path("missing/name"));
    } else {
      // After the refusal the dialog comes back; this time the user gives up.
      dialog->reject();
    }
  });
  EXPECT_EQ(showings, 2);
  ASSERT_EQ(watcher.Boxes().size(), 1u);
  EXPECT_TRUE(watcher.Boxes()[0].text.startsWith(Path("missing") + '\n'));
  EXPECT_TRUE(QDir(dir.path()).isEmpty());
  EXPECT_EQ(probe.StatusBar1()->text(), "");
}

TEST_F(SaveCommandTest, DialogWaitsForTheFrameInProgress) {
  probe.Busy() = true;
  bool dialogShownWhileBusy = false;
  QTimer::singleShot(30, [&] {
    dialogShownWhileBusy = probe.SaveDialog1()->isVisible();
    probe.Busy() = false;
  });
  SaveThroughDialog([&](QFileDialog *dialog, int) { Choose(dialog, Path("after")); });
  EXPECT_FALSE(dialogShownWhileBusy);
  EXPECT_TRUE(QFile::exists(Path("after.spc")));
}

TEST_F(SaveCommandTest, FilesThatCannotBeCreated) {
  probe.AppDir() = Path("missing") + '/';
  MessageBoxWatcher watcher;
  QuickSave();
  ASSERT_EQ(watcher.Boxes().size(), 2u);
  for (const auto &box : watcher.Boxes()) {
    EXPECT_EQ(box.text, kWriteFailed);
    EXPECT_EQ(box.caption, kWriteFailedCaption);
    EXPECT_TRUE(box.hasParent);
  }
  EXPECT_EQ(probe.StatusBar1()->text(), "");
  // The number advances although nothing was written.
  EXPECT_EQ(probe.QuickSaveNumber(), 2);
}

TEST_F(SaveCommandTest, TheFirstSaveMakesThePendingSaveFolder) {
  // An installed copy's documents subfolder: the dialog opens in it, QuickSave writes into it.
  probe.AppDir() = Path("Documents/Vireo") + '/';
  probe.AppDirPending() = true;
  SaveThroughDialog([&](QFileDialog *dialog, int) {
    EXPECT_EQ(dialog->directory().absolutePath(), Path("Documents/Vireo"));
    dialog->reject();
  });
  QuickSave();
  EXPECT_TRUE(QFile::exists(Path("Documents/Vireo/Filename1.spc")));
}

TEST_F(SaveCommandTest, OneFileFailingDoesNotStopTheOther) {
  // A directory in the way of the .raw file: the .spc file is still written.
  ASSERT_TRUE(QDir(dir.path()).mkdir("blocked.raw"));
  MessageBoxWatcher watcher;
  probe.SaveData(Path("blocked"));
  ASSERT_EQ(watcher.Boxes().size(), 1u);
  EXPECT_EQ(watcher.Boxes()[0].text, kWriteFailed);
  EXPECT_EQ(probe.StatusBar1()->text(), Written("blocked.spc"));
}

TEST_F(SaveCommandTest, WriteErrorsAreReportedNotClaimedAsWritten) {
  // Both names lead to a full device: each open succeeds and each write fails.
  ASSERT_TRUE(QFile::link("/dev/full", Path("full.raw")));
  ASSERT_TRUE(QFile::link("/dev/full", Path("full.spc")));
  {
    MessageBoxWatcher watcher;
    probe.SaveData(Path("full"));
    ASSERT_EQ(watcher.Boxes().size(), 2u);
    EXPECT_EQ(watcher.Boxes()[1].text, kWriteFailed);
    EXPECT_EQ(watcher.Boxes()[1].caption, kWriteFailedCaption);
  }
  EXPECT_EQ(probe.StatusBar1()->text(), "");

  // The .raw file written, the .spc file failing: the status keeps the .raw message.
  ASSERT_TRUE(QFile::link("/dev/full", Path("half.spc")));
  MessageBoxWatcher watcher;
  probe.SaveData(Path("half"));
  EXPECT_EQ(watcher.Boxes().size(), 1u);
  EXPECT_EQ(probe.StatusBar1()->text(), Written("half.raw"));
}

TEST_F(SaveCommandTest, SavedNumbersKeepTheDecimalPointInAnyLocale) {
  GermanLocale german;
  if (!german.Active()) {
    GTEST_SKIP() << kNoGermanLocale;
  }
  QuickSave();
  EXPECT_EQ(Lines(ReadFile(Path("Filename1.raw")))[1], "1\t-0.000072");
  EXPECT_EQ(Lines(ReadFile(Path("Filename1.spc")))[1].substr(0, 10), "10.766602\t");
}

} // namespace
