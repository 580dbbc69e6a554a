#include "files/shared_files.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace gp::files {

QString SharedFolder(const QString& name) {
  const QString bin = QCoreApplication::instance()
                          ? QCoreApplication::applicationDirPath()
                          : QFileInfo(QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath()).path();
  return QDir::cleanPath(bin + QStringLiteral("/../share/gaitpanel/") + name);
}

}  // namespace gp::files
