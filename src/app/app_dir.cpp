#include "app/app_dir.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryFile>

namespace {

QString WithSlash(const QString &dir) {
  return dir.endsWith(QLatin1Char('/')) ? dir : dir + QLatin1Char('/');
}

bool SameFolder(const QString &a, const QString &b) {
  const QString canonical = QFileInfo(a).canonicalFilePath();
  return !canonical.isEmpty() && canonical == QFileInfo(b).canonicalFilePath();
}

// Tried rather than judged from the permission bits, which say nothing certain for root, for
// read-only mounts or for access control lists.
bool TakesNewFiles(const QString &dir) {
  QTemporaryFile probe(WithSlash(dir) + QStringLiteral(".vireo-XXXXXX"));
  return probe.open();
}

} // namespace

QString ResolveAppDir(const QString &executableDir, const QString &installedBinDir,
                      const QString &documentsDir, const QString &homeDir) {
  if (!SameFolder(executableDir, installedBinDir) && TakesNewFiles(executableDir)) {
    return WithSlash(executableDir);
  }
  // Without a documents folder there is no place for the subfolder (not the file system root).
  if (documentsDir.isEmpty()) {
    return WithSlash(homeDir);
  }
  return WithSlash(documentsDir) + QStringLiteral("Vireo/");
}

QString MakeSaveFolder(const QString &appDir, const QString &homeDir) {
  return QDir().mkpath(appDir) ? appDir : WithSlash(homeDir);
}
