// The README's pictures in docs/ are those that scripts/readme-pictures makes with the programs
// of this build: pixel for pixel.
#include <gtest/gtest.h>

#include <QDir>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>

TEST(ReadmePictures, AreCurrent) {
  const QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  QProcess script;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(QStringLiteral("VIREO_BUILD"), QStringLiteral(VIREO_BUILD_DIR));
  script.setProcessEnvironment(env);
  script.start(QStringLiteral(VIREO_SOURCE_DIR "/scripts/readme-pictures"), {dir.path()});
  // 16384 frames of a test pattern take minutes under the sanitizers: CTest's limit holds.
  ASSERT_TRUE(script.waitForFinished(-1));
  ASSERT_EQ(script.exitCode(), 0) << script.readAllStandardError().toStdString();
  const QDir docs(QStringLiteral(VIREO_SOURCE_DIR "/docs"));
  const QStringList pictures = QDir(dir.path()).entryList({QStringLiteral("*.png")});
  EXPECT_EQ(pictures, docs.entryList({QStringLiteral("*.png")}));
  for (const QString &name : pictures) {
    SCOPED_TRACE(name.toStdString());
    const QImage made =
        QImage(QDir(dir.path()).filePath(name)).convertToFormat(QImage::Format_ARGB32);
    EXPECT_FALSE(made.isNull());
    EXPECT_EQ(made, QImage(docs.filePath(name)).convertToFormat(QImage::Format_ARGB32))
        << "run scripts/readme-pictures and commit docs/" << name.toStdString();
  }
}
