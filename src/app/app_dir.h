#pragma once

#include <QString>

// The folder files are saved in by default (QuickSave names, the save dialog's first folder),
// with a trailing '/'. A copy run where it was built or unpacked saves beside its executable.
// An installed copy (its executable folder is installedBinDir) and a copy whose folder takes no
// new files save in documentsDir's "Vireo" subfolder, which is not created here; without a
// documents folder, in homeDir.
QString ResolveAppDir(const QString &executableDir, const QString &installedBinDir,
                      const QString &documentsDir, const QString &homeDir);

// Makes appDir when it does not exist yet and returns it; when it cannot be made, homeDir
// (with a trailing '/') is the folder to save in instead.
QString MakeSaveFolder(const QString &appDir, const QString &homeDir);
