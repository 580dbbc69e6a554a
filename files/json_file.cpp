#include "files/json_file.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QSet>
#include <optional>
#include <vector>

#include "files/file_access.h"

namespace gp::files {
namespace {

// Qt's reader takes the last of two equal keys and lets a raw control
// character through in a string; a file a person edits by hand must not
// mean something its owner did not see. The text is walked once more, after
// Qt has found it well formed, keeping the path of each value.
struct Frame {
  bool object = false;
  QString path;
  QSet<QByteArray> keys;
  QByteArray key;  // object: the key of the value now read
  int index = 0;   // array: the index of the value now read
};

QString ChildPath(const std::vector<Frame>& stack) {
  if (stack.empty()) return QStringLiteral("document");
  const Frame& f = stack.back();
  if (!f.object) return QStringLiteral("%1[%2]").arg(f.path).arg(f.index);
  const QString key = QString::fromUtf8(f.key);
  return f.path.isEmpty() ? key : f.path + QLatin1Char('.') + key;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return 0;
}

struct StrictFault {
  QString field;
  QString reason;
};

std::optional<StrictFault> CheckStrict(const QByteArray& text) {
  std::vector<Frame> stack;
  bool expectKey = false;
  int line = 1;
  qsizetype lineStart = 0;
  for (qsizetype i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\n') {
      ++line;
      lineStart = i + 1;
    } else if (c == '{' || c == '[') {
      Frame f;
      f.object = c == '{';
      f.path = stack.empty() ? QString() : ChildPath(stack);
      stack.push_back(std::move(f));
      expectKey = c == '{';
    } else if (c == '}' || c == ']') {
      if (!stack.empty()) stack.pop_back();
      expectKey = false;
    } else if (c == ',') {
      if (!stack.empty() && !stack.back().object) ++stack.back().index;
      expectKey = !stack.empty() && stack.back().object;
    } else if (c == '"') {
      // One string: its decoded bytes, to compare keys as the reader does.
      QByteArray decoded;
      qsizetype j = i + 1;
      for (; j < text.size() && text[j] != '"'; ++j) {
        const auto u = static_cast<unsigned char>(text[j]);
        if (u < 0x20) {
          const QString field = expectKey && !stack.empty() ? (stack.back().path.isEmpty() ? QStringLiteral("key")
                                                                                           : stack.back().path)
                                                            : ChildPath(stack);
          return StrictFault{field, QStringLiteral("holds a raw control character (0x%1) at line %2, column %3; "
                                                   "write it escaped, as \\n, \\t or \\u%4")
                                        .arg(u, 2, 16, QLatin1Char('0'))
                                        .arg(line)
                                        .arg(j - lineStart + 1)
                                        .arg(u, 4, 16, QLatin1Char('0'))};
        }
        if (text[j] != '\\' || j + 1 >= text.size()) {
          decoded += text[j];
          continue;
        }
        const char e = text[++j];
        switch (e) {
          case 'b': decoded += '\b'; break;
          case 'f': decoded += '\f'; break;
          case 'n': decoded += '\n'; break;
          case 'r': decoded += '\r'; break;
          case 't': decoded += '\t'; break;
          case 'u': {
            int code = 0;
            for (int k = 1; k <= 4 && j + k < text.size(); ++k) code = code * 16 + HexValue(text[j + k]);
            j += 4;
            decoded += QString(QChar(static_cast<char16_t>(code))).toUtf8();
            break;
          }
          default: decoded += e; break;
        }
      }
      if (expectKey && !stack.empty()) {
        Frame& f = stack.back();
        f.key = decoded;
        if (f.keys.contains(decoded))
          return StrictFault{ChildPath(stack), QStringLiteral("is given twice (again at line %1); each key may "
                                                              "appear once, or which one counts is not plain")
                                                   .arg(line)};
        f.keys.insert(decoded);
        expectKey = false;
      }
      i = j;
    }
  }
  return std::nullopt;
}

}  // namespace

QString FaultLine(const QString& path, const QString& field, const QString& reason) {
  return QDir::toNativeSeparators(path) + QStringLiteral(": ") + field + QStringLiteral(": ") + reason;
}

namespace {

// The whole file as one JSON document, with every check of a file a person keeps.
bool ReadJsonDocumentFile(const QString& path, const QString& kind, QJsonDocument* doc, QString* error) {
  QFile file;
  QString reason;
  if (!OpenRegularFile(file, path, &reason)) {
    *error = FaultLine(path, QStringLiteral("file"), reason);
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
  *doc = QJsonDocument::fromJson(bytes, &parse);
  if (parse.error != QJsonParseError::NoError) {
    const QByteArray before = bytes.left(parse.offset);
    const auto line = before.count('\n') + 1;
    const auto column = parse.offset - (before.lastIndexOf('\n') + 1) + 1;
    *error = FaultLine(path, QStringLiteral("JSON at line %1, column %2").arg(line).arg(column), parse.errorString());
    return false;
  }
  if (const auto fault = CheckStrict(bytes)) {
    *error = FaultLine(path, fault->field, fault->reason);
    return false;
  }
  return true;
}

}  // namespace

bool ReadJsonObjectFile(const QString& path, const QString& kind, QJsonObject* object, QString* error) {
  QJsonDocument doc;
  if (!ReadJsonDocumentFile(path, kind, &doc, error)) return false;
  if (!doc.isObject()) {
    *error = FaultLine(path, QStringLiteral("document"), QStringLiteral("must be a JSON object { ... }"));
    return false;
  }
  *object = doc.object();
  return true;
}

bool ReadJsonArrayFile(const QString& path, const QString& kind, QJsonArray* array, QString* error) {
  QJsonDocument doc;
  if (!ReadJsonDocumentFile(path, kind, &doc, error)) return false;
  if (!doc.isArray()) {
    *error = FaultLine(path, QStringLiteral("document"), QStringLiteral("must be a JSON list [ ... ]"));
    return false;
  }
  *array = doc.array();
  return true;
}

namespace {

QString JsonTypeName(QJsonValue::Type t) {
  switch (t) {
    case QJsonValue::Null: return QStringLiteral("null");
    case QJsonValue::Bool: return QStringLiteral("a true/false value");
    case QJsonValue::Double: return QStringLiteral("a number");
    case QJsonValue::String: return QStringLiteral("a text");
    case QJsonValue::Array: return QStringLiteral("a list");
    case QJsonValue::Object: return QStringLiteral("an object");
    case QJsonValue::Undefined: break;
  }
  return QStringLiteral("missing");
}

}  // namespace

std::optional<JsonFault> ExpectJson(const QJsonValue& v, QJsonValue::Type type, const QString& field) {
  if (v.type() == type) return std::nullopt;
  if (v.isUndefined()) return JsonFault{field, QStringLiteral("missing; must be %1").arg(JsonTypeName(type))};
  return JsonFault{field, QStringLiteral("must be %1, not %2").arg(JsonTypeName(type), JsonTypeName(v.type()))};
}

std::optional<JsonFault> UnknownJsonKey(const QJsonObject& object, const QStringList& known, const QString& prefix) {
  for (auto it = object.begin(); it != object.end(); ++it) {
    if (!known.contains(it.key()))
      return JsonFault{prefix + it.key(),
                       QStringLiteral("unknown field (known: %1)").arg(known.join(QStringLiteral(", ")))};
  }
  return std::nullopt;
}

}  // namespace gp::files
