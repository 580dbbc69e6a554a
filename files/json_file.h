#pragma once
// What the strict readers of people's JSON files share: a size limit, one
// way of naming a fault (file: field: reason), and reading a whole file into
// one JSON object, with the line and column of a syntax error.
#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <QStringList>
#include <optional>

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

// The same for a file that is one JSON list [ ... ].
bool ReadJsonArrayFile(const QString& path, const QString& kind, QJsonArray* array, QString* error);

// Why a value cannot be used: the field as the file names it and the reason.
struct JsonFault {
  QString field;
  QString reason;
};

// A value of the expected JSON type, or the fault naming the field ("missing;
// must be a number", "must be a number, not a text").
std::optional<JsonFault> ExpectJson(const QJsonValue& value, QJsonValue::Type type, const QString& field);
// The first key of `object` not among `known`, named with `prefix`.
std::optional<JsonFault> UnknownJsonKey(const QJsonObject& object, const QStringList& known, const QString& prefix);

}  // namespace gp::files
