#pragma once
// What the strict readers of people's JSON files share: a size limit, one
// way of naming a fault (file: field: reason), and reading a whole file into
// one JSON object, with the line and column of a syntax error.
#include <QJsonObject>
#include <QString>

namespace gp::files {

// No file a person keeps for this program comes near this; a larger one is
// refused before it is read into memory.
constexpr qint64 kMaxJsonFileBytes = 1 << 20;

// "<file>: <field>: <reason>", the file in the system's own spelling.
QString FaultLine(const QString& path, const QString& field, const QString& reason);

// Reads `path` whole as one JSON object. It must be a regular file; a key
// given twice in one object and a raw control character in a string are
// refused with the field, as any other fault. On failure nothing is set and
// *error names the file, the place and the reason; `kind` ("a gait file")
// says what the file was meant to be.
bool ReadJsonObjectFile(const QString& path, const QString& kind, QJsonObject* object, QString* error);

}  // namespace gp::files
