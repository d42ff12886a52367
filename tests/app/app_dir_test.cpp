// Where files are saved: beside a copy run where it was built, else in the user's documents.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include "app/app_dir.h"
#include "form_probe.h"

namespace {

TEST(AppDir, BuildTreeInstalledAndUnwritableFolders) {
  QTemporaryDir root;
  ASSERT_TRUE(root.isValid());
  const QString build = root.filePath("build");
  const QString bin = root.filePath("usr/bin");
  const QString documents = root.filePath("Documents");
  ASSERT_TRUE(QDir().mkpath(build) && QDir().mkpath(bin));
  const QString home = root.path() + '/';
  const QString saveDir = documents + "/Vireo/";
  // /proc takes no new files, not even from root.
  const struct {
    QString executable, installedBin, documents, expected;
  } cases[] = {
      {build, bin, documents, build + '/'},
      {bin, bin, documents, saveDir},
      {bin, root.filePath("usr/./bin/"), documents, saveDir},
      {"/proc", bin, documents, saveDir},
      {bin, bin, "/proc/Documents", home},
      {bin, bin, "", home},
  };
  for (const auto &c : cases) {
    // Resolving makes no folder; the first save makes it.
    const QString appDir = ResolveAppDir(c.executable, c.installedBin, c.documents, root.path());
    EXPECT_FALSE(QDir(saveDir).exists());
    const QString made = MakeSaveFolder(appDir, root.path());
    EXPECT_EQ(made, c.expected) << c.executable.toStdString() << " " << c.documents.toStdString();
    EXPECT_TRUE(QFileInfo(made).isDir());
    QDir(saveDir).removeRecursively();
  }
  EXPECT_EQ(QDir(build).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
            QStringList());
}

TEST(AppDir, WindowInTheBuildTreeSavesBesideItsExecutable) {
  TForm1 form;
  EXPECT_EQ(TForm1Probe(form).AppDir(), QCoreApplication::applicationDirPath() + '/');
}

} // namespace
