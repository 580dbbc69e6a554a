#include "files/json_file.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonParseError>

namespace gp::files {

QString FaultLine(const QString& path, const QString& field, const QString& reason) {
  return QDir::toNativeSeparators(path) + QStringLiteral(": ") + field + QStringLiteral(": ") + reason;
}

bool ReadJsonObjectFile(const QString& path, const QString& kind, QJsonObject* object, QString* error) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    *error = FaultLine(path, QStringLiteral("file"), QStringLiteral("cannot be read: ") + file.errorString());
    return false;
  }
  if (file.size() > kMaxJsonFileBytes) {
    *error = FaultLine(path, QStringLiteral("file"),
                       QStringLiteral("is %1 bytes; %2 is at most %3").arg(file.size()).arg(kind).arg(kMaxJsonFileBytes));
    return false;
  }
  const QByteArray bytes = file.read(kMaxJsonFileBytes + 1);
  if (file.error() != QFileDevice::NoError) {
    *error = FaultLine(path, QStringLiteral("file"), QStringLiteral("cannot be read: ") + file.errorString());
    return false;
  }
  QJsonParseError parse{};
  const QJsonDocument doc = QJsonDocument::fromJson(bytes, &parse);
  if (parse.error != QJsonParseError::NoError) {
    const QByteArray before = bytes.left(parse.offset);
    const auto line = before.count('\n') + 1;
    const auto column = parse.offset - (before.lastIndexOf('\n') + 1) + 1;
    *error = FaultLine(path, QStringLiteral("JSON at line %1, column %2").arg(line).arg(column), parse.errorString());
    return false;
  }
  if (!doc.isObject()) {
    *error = FaultLine(path, QStringLiteral("document"), QStringLiteral("must be a JSON object { ... }"));
    return false;
  }
  *object = doc.object();
  return true;
}

}  // namespace gp::files
