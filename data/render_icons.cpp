// Writes the application's icon as hicolor theme files, ROOT/NxN/apps/ID.png for each size N
// given, from the same picture the window shows.
#include <QByteArray>
#include <QDir>
#include <QImage>

#include <iostream>

#include "app/app_icon.h"

int main(int argc, char *argv[]) {
  if (argc < 4) {
    std::cerr << "usage: render_icons ROOT ID SIZE...\n";
    return 2;
  }
  const QString root = QString::fromLocal8Bit(argv[1]);
  const QString id = QString::fromLocal8Bit(argv[2]);
  for (int i = 3; i < argc; ++i) {
    bool ok = false;
    const int size = QByteArray(argv[i]).toInt(&ok);
    if (!ok || size <= 0) {
      std::cerr << "render_icons: not a size: " << argv[i] << '\n';
      return 2;
    }
    const QString dir = QStringLiteral("%1/%2x%2/apps").arg(root).arg(size);
    const QString file = dir + QLatin1Char('/') + id + QStringLiteral(".png");
    if (!QDir().mkpath(dir) || !AppIconImage(size).save(file, "PNG")) {
      std::cerr << "render_icons: cannot write " << file.toStdString() << '\n';
      return 1;
    }
  }
  return 0;
}
