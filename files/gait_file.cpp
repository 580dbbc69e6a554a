#include "files/gait_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <QJsonParseError>
#include <QLocale>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "core/conversions.h"
#include "core/json_writer.h"
#include "files/file_access.h"
#include "files/json_file.h"
#include "files/shared_files.h"
#include "gait/module_table.h"

namespace gp::files {
namespace {

constexpr auto kFormat = "gaitpanel-gait";
constexpr int kVersion = 1;
// Why a gait cannot be kept: the field as the file names it and the reason.
using Fault = JsonFault;

QString ModuleField(int index, const char* key) {
  return QStringLiteral("modules[%1].%2").arg(index).arg(QLatin1String(key));
}

QString ModuleWord(int index) { return QStringLiteral("module %1").arg(index + 1); }

// The checks the panel's own boxes make, and what a JSON number can carry.
std::optional<Fault> CheckValues(const Gait& gait) {
  if (gait.intervalMs < kMinIntervalMs || gait.intervalMs > kMaxIntervalMs) {
    return Fault{QStringLiteral("interval_ms"),
                 QStringLiteral("%1 is outside %2").arg(gait.intervalMs).arg(QString::fromStdString(IntervalRangeText()))};
  }
  for (int i = 0; i < kModules; ++i) {
    const GaitModule& m = gait.modules[static_cast<std::size_t>(i)];
    for (const auto& [key, value] : {std::pair{"amplitude", m.amplitude}, std::pair{"phase", m.phase},
                                     std::pair{"centre", m.centre}}) {
      if (!std::isfinite(value)) {
        return Fault{ModuleField(i, key), QStringLiteral("%1's %2 is not a finite number").arg(ModuleWord(i), QLatin1String(key))};
      }
    }
    // The amplitude box refuses what rounds to more than 90 in size (90.5 stands as 90).
    const auto amp = NearestInt16(m.amplitude);
    if (!amp || std::abs(*amp) > kAmpLimit) {
      return Fault{ModuleField(i, "amplitude"),
                   QStringLiteral("%1's amplitude %2 is above 90 in size")
                       .arg(ModuleWord(i), QString::number(m.amplitude, 'g', QLocale::FloatingPointShortest))};
    }
    // The initial-angle box holds a 16-bit whole number; beyond that a value would be cut.
    if (!NearestInt16(m.centre)) {
      return Fault{ModuleField(i, "centre"),
                   QStringLiteral("%1's centre %2 is outside -32768 to 32767")
                       .arg(ModuleWord(i), QString::number(m.centre, 'g', QLocale::FloatingPointShortest))};
    }
  }
  return std::nullopt;
}

// The type checks and unknown keys of every file people keep, said alike.
std::optional<Fault> Expect(const QJsonValue& v, QJsonValue::Type type, const QString& field) {
  return ExpectJson(v, type, field);
}

std::optional<Fault> UnknownKey(const QJsonObject& object, const QStringList& known, const QString& prefix) {
  return UnknownJsonKey(object, known, prefix);
}

std::optional<Fault> ReadModule(const QJsonValue& entry, int i, GaitModule* m) {
  const QString prefix = QStringLiteral("modules[%1].").arg(i);
  if (auto f = Expect(entry, QJsonValue::Object, QStringLiteral("modules[%1]").arg(i))) return f;
  const QJsonObject o = entry.toObject();
  static const QStringList kKeys{QStringLiteral("amplitude"), QStringLiteral("phase"), QStringLiteral("centre"),
                                 QStringLiteral("enabled")};
  if (auto f = UnknownKey(o, kKeys, prefix)) return f;
  for (const char* key : {"amplitude", "phase", "centre"}) {
    if (auto f = Expect(o.value(QLatin1String(key)), QJsonValue::Double, prefix + QLatin1String(key))) return f;
  }
  if (auto f = Expect(o.value(QLatin1String("enabled")), QJsonValue::Bool, prefix + QStringLiteral("enabled"))) return f;
  m->amplitude = o.value(QLatin1String("amplitude")).toDouble();
  m->phase = o.value(QLatin1String("phase")).toDouble();
  m->centre = o.value(QLatin1String("centre")).toDouble();
  m->enabled = o.value(QLatin1String("enabled")).toBool();
  return std::nullopt;
}

std::optional<Fault> ReadDocument(const QJsonObject& top, Gait* out) {
  static const QStringList kKeys{QStringLiteral("format"),      QStringLiteral("version"), QStringLiteral("name"),
                                 QStringLiteral("notes"),       QStringLiteral("interval_ms"),
                                 QStringLiteral("modules")};
  // The format and version first: a file of another kind should say so, not trip on its fields.
  const QJsonValue format = top.value(QLatin1String("format"));
  if (auto f = Expect(format, QJsonValue::String, QStringLiteral("format"))) return f;
  if (format.toString() != QLatin1String(kFormat)) {
    return Fault{QStringLiteral("format"), QStringLiteral("\"%1\" is not \"%2\"").arg(format.toString(), QLatin1String(kFormat))};
  }
  const QJsonValue version = top.value(QLatin1String("version"));
  if (auto f = Expect(version, QJsonValue::Double, QStringLiteral("version"))) return f;
  if (version.toDouble() != kVersion) {
    return Fault{QStringLiteral("version"),
                 QStringLiteral("version %1 is not supported (this program reads version %2)")
                     .arg(QString::number(version.toDouble(), 'g', QLocale::FloatingPointShortest))
                     .arg(kVersion)};
  }
  if (auto f = UnknownKey(top, kKeys, QString())) return f;

  Gait gait;
  const QJsonValue name = top.value(QLatin1String("name"));
  if (auto f = Expect(name, QJsonValue::String, QStringLiteral("name"))) return f;
  gait.name = name.toString();
  const QJsonValue notes = top.value(QLatin1String("notes"));
  if (!notes.isUndefined()) {
    if (auto f = Expect(notes, QJsonValue::String, QStringLiteral("notes"))) return f;
    gait.notes = notes.toString();
  }
  const QJsonValue interval = top.value(QLatin1String("interval_ms"));
  if (auto f = Expect(interval, QJsonValue::Double, QStringLiteral("interval_ms"))) return f;
  const double ms = interval.toDouble();
  if (ms != std::floor(ms)) {
    return Fault{QStringLiteral("interval_ms"), QStringLiteral("must be a whole number of milliseconds, not %1")
                                                    .arg(QString::number(ms, 'g', QLocale::FloatingPointShortest))};
  }
  if (ms < kMinIntervalMs || ms > kMaxIntervalMs) {
    return Fault{QStringLiteral("interval_ms"), QStringLiteral("%1 is outside %2")
                                                    .arg(QString::number(ms, 'g', QLocale::FloatingPointShortest),
                                                         QString::fromStdString(IntervalRangeText()))};
  }
  gait.intervalMs = static_cast<int>(ms);

  const QJsonValue modules = top.value(QLatin1String("modules"));
  if (auto f = Expect(modules, QJsonValue::Array, QStringLiteral("modules"))) return f;
  const QJsonArray list = modules.toArray();
  if (list.size() != kModules) {
    return Fault{QStringLiteral("modules"), QStringLiteral("has %1 %2; a gait has exactly 8")
                                                .arg(list.size())
                                                .arg(list.size() == 1 ? QStringLiteral("entry") : QStringLiteral("entries"))};
  }
  for (int i = 0; i < kModules; ++i) {
    if (auto f = ReadModule(list.at(i), i, &gait.modules[static_cast<std::size_t>(i)])) return f;
  }
  if (auto f = CheckValues(gait)) return f;
  *out = std::move(gait);
  return std::nullopt;
}


// Laid out for people: one member a line, one module a line.
QByteArray GaitJson(const Gait& gait) {
  using Layout = JsonWriter::Layout;
  JsonWriter j;
  j.BeginObject(Layout::Lines);
  j.Key("format").String(kFormat);
  j.Key("version").Integer(kVersion);
  j.Key("name").String(gait.name.toStdString());
  j.Key("notes").String(gait.notes.toStdString());
  j.Key("interval_ms").Integer(gait.intervalMs);
  j.Key("modules").BeginArray(Layout::Lines);
  for (const GaitModule& m : gait.modules) {
    j.BeginObject(Layout::Padded);
    j.Key("amplitude").Number(m.amplitude);
    j.Key("phase").Number(m.phase);
    j.Key("centre").Number(m.centre);
    j.Key("enabled").Bool(m.enabled);
    j.EndObject();
  }
  j.EndArray();
  j.EndObject();
  return QByteArray::fromStdString(j.text() + "\n");
}

}  // namespace

bool ReadGaitFile(const QString& path, Gait* gait, QString* error) {
  QJsonObject object;
  if (!ReadJsonObjectFile(path, QStringLiteral("a gait file"), &object, error)) return false;
  if (auto fault = ReadDocument(object, gait)) {
    *error = FaultLine(path, fault->field, fault->reason);
    return false;
  }
  return true;
}

bool WriteGaitFile(const QString& path, const Gait& gait, QString* error) {
  if (auto fault = CheckValues(gait)) {
    *error = FaultLine(path, fault->field, fault->reason);
    return false;
  }
  QString reason;
  if (!WriteFileAtomically(path, GaitJson(gait), &reason)) {
    *error = FaultLine(path, QStringLiteral("file"), QStringLiteral("cannot be written: ") + reason);
    return false;
  }
  return true;
}

ModuleTable GaitTable(const Gait& gait) {
  ModuleTable table;
  for (int n = kFirstModule; n <= kLastModule; ++n) {
    const GaitModule& m = gait.modules[static_cast<std::size_t>(n - 1)];
    table.Amp[n] = NearestInt16(m.amplitude).value_or(0);
    table.Phase[n] = m.phase;
    table.InitAngle[n] = NearestInt16(m.centre).value_or(0);
    table.ServoEnabled[n] = m.enabled ? kTrue : kFalse;
  }
  return table;
}

Gait GaitFromTable(const ModuleTable& table, int intervalMs) {
  Gait gait;
  gait.intervalMs = intervalMs;
  for (int n = kFirstModule; n <= kLastModule; ++n) {
    GaitModule& m = gait.modules[static_cast<std::size_t>(n - 1)];
    m.amplitude = table.Amp[n];
    m.phase = table.Phase[n];
    m.centre = table.InitAngle[n];
    m.enabled = IsTrue(table.ServoEnabled[n]);
  }
  return gait;
}

QStringList PresetFolders() { return {SharedFolder(QStringLiteral("gaits"))}; }

QString FindGaitFile(const QString& given) {
  if (given.isEmpty() || QFileInfo::exists(given) || given.contains(QLatin1Char('/')) ||
      given.contains(QDir::separator()))
    return given;
  const QString file = given.endsWith(QLatin1String(".json")) ? given : given + QStringLiteral(".json");
  if (file == QLatin1String("gait.schema.json")) return given;
  for (const QString& folder : PresetFolders()) {
    const QString path = QDir(folder).filePath(file);
    if (QFileInfo(path).isFile()) return path;
  }
  return given;
}

}  // namespace gp::files
