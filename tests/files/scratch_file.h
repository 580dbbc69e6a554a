#pragma once
// Writing and reading whole scratch files in the format tests.

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTest>

namespace gp::testing {

inline void WriteRaw(const QString& path, const QByteArray& bytes) {
  QFile f(path);
  QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
  QCOMPARE(f.write(bytes), bytes.size());
}

inline QByteArray Contents(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

}  // namespace gp::testing
