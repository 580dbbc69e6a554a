#include "files/robot_profile.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QLocale>
#include <QSaveFile>
#include <cmath>
#include <optional>

#include "core/json_writer.h"
#include "files/json_file.h"
#include "files/shared_files.h"

namespace gp::files {
namespace {

constexpr auto kFormat = "gaitpanel-robot";
constexpr int kVersion = 1;

using Fault = JsonFault;

QString Num(double v) { return QString::number(v, 'g', QLocale::FloatingPointShortest); }

// The type checks and unknown keys of every file people keep, said alike.
std::optional<Fault> Expect(const QJsonValue& v, QJsonValue::Type type, const QString& field) {
  return ExpectJson(v, type, field);
}

std::optional<Fault> UnknownKey(const QJsonObject& object, const QStringList& known, const QString& prefix) {
  return UnknownJsonKey(object, known, prefix);
}

std::optional<Fault> ReadModule(const QJsonValue& entry, int i, ModuleProfile* m) {
  const QString prefix = QStringLiteral("modules[%1].").arg(i);
  const QString who = QStringLiteral("module %1's ").arg(i + 1);
  if (auto f = Expect(entry, QJsonValue::Object, QStringLiteral("modules[%1]").arg(i))) return f;
  const QJsonObject o = entry.toObject();
  static const QStringList kKeys{QStringLiteral("min"), QStringLiteral("max"), QStringLiteral("trim"),
                                 QStringLiteral("reversed"), QStringLiteral("max_speed_deg_s")};
  if (auto f = UnknownKey(o, kKeys, prefix)) return f;
  for (const char* key : {"min", "max", "trim"}) {
    if (auto f = Expect(o.value(QLatin1String(key)), QJsonValue::Double, prefix + QLatin1String(key))) return f;
  }
  if (auto f = Expect(o.value(QLatin1String("reversed")), QJsonValue::Bool, prefix + QStringLiteral("reversed")))
    return f;
  ModuleProfile out;
  out.min = o.value(QLatin1String("min")).toDouble();
  out.max = o.value(QLatin1String("max")).toDouble();
  out.trim = o.value(QLatin1String("trim")).toDouble();
  out.reversed = o.value(QLatin1String("reversed")).toBool();
  for (const auto& [key, value] : {std::pair{"min", out.min}, std::pair{"max", out.max}}) {
    if (std::abs(value) > kProfileAngleLimit)
      return Fault{prefix + QLatin1String(key),
                   who + QStringLiteral("%1 %2 is outside -90 to 90 degrees").arg(QLatin1String(key), Num(value))};
  }
  if (out.min > out.max)
    return Fault{prefix + QStringLiteral("min"),
                 who + QStringLiteral("min %1 is above its max %2").arg(Num(out.min), Num(out.max))};
  // What reaches the servo is the limit, perhaps negated, plus the trim.
  const double low = (out.reversed ? -out.max : out.min) + out.trim;
  const double high = (out.reversed ? -out.min : out.max) + out.trim;
  if (std::abs(low) > kProfileAngleLimit || std::abs(high) > kProfileAngleLimit)
    return Fault{prefix + QStringLiteral("trim"),
                 who + QStringLiteral("trim %1 takes its limits to %2 .. %3, past -90 to 90 degrees")
                           .arg(Num(out.trim), Num(low), Num(high))};
  const QJsonValue speed = o.value(QLatin1String("max_speed_deg_s"));
  if (!speed.isUndefined()) {
    if (auto f = Expect(speed, QJsonValue::Double, prefix + QStringLiteral("max_speed_deg_s"))) return f;
    const double s = speed.toDouble();
    if (!(s > 0) || !std::isfinite(s))
      return Fault{prefix + QStringLiteral("max_speed_deg_s"),
                   who + QStringLiteral("max_speed_deg_s %1 must be above 0 degrees a second").arg(Num(s))};
    out.maxSpeedDegS = s;
  }
  *m = out;
  return std::nullopt;
}

std::optional<Fault> ReadDocument(const QJsonObject& top, RobotProfile* result) {
  static const QStringList kKeys{QStringLiteral("format"), QStringLiteral("version"), QStringLiteral("name"),
                                 QStringLiteral("notes"), QStringLiteral("soft_start_s"), QStringLiteral("modules")};
  const QJsonValue format = top.value(QLatin1String("format"));
  if (auto f = Expect(format, QJsonValue::String, QStringLiteral("format"))) return f;
  if (format.toString() != QLatin1String(kFormat))
    return Fault{QStringLiteral("format"), QStringLiteral("\"%1\" is not \"%2\"").arg(format.toString(), QLatin1String(kFormat))};
  const QJsonValue version = top.value(QLatin1String("version"));
  if (auto f = Expect(version, QJsonValue::Double, QStringLiteral("version"))) return f;
  if (version.toDouble() != kVersion)
    return Fault{QStringLiteral("version"), QStringLiteral("version %1 is not supported (this program reads version %2)")
                                                .arg(Num(version.toDouble()))
                                                .arg(kVersion)};
  if (auto f = UnknownKey(top, kKeys, QString())) return f;

  RobotProfile profile;
  const QJsonValue name = top.value(QLatin1String("name"));
  if (auto f = Expect(name, QJsonValue::String, QStringLiteral("name"))) return f;
  profile.name = name.toString().toStdString();
  const QJsonValue notes = top.value(QLatin1String("notes"));
  if (!notes.isUndefined()) {
    if (auto f = Expect(notes, QJsonValue::String, QStringLiteral("notes"))) return f;
    profile.notes = notes.toString().toStdString();
  }
  const QJsonValue soft = top.value(QLatin1String("soft_start_s"));
  if (!soft.isUndefined()) {
    if (auto f = Expect(soft, QJsonValue::Double, QStringLiteral("soft_start_s"))) return f;
    const double s = soft.toDouble();
    if (!(s >= 0 && s <= kMaxSoftStartS))
      return Fault{QStringLiteral("soft_start_s"), QStringLiteral("%1 is outside 0 to 10 seconds").arg(Num(s))};
    profile.softStartS = s;
  }
  const QJsonValue modules = top.value(QLatin1String("modules"));
  if (auto f = Expect(modules, QJsonValue::Array, QStringLiteral("modules"))) return f;
  const QJsonArray list = modules.toArray();
  if (list.size() != kModules)
    return Fault{QStringLiteral("modules"), QStringLiteral("has %1 %2; a robot has exactly 8")
                                                .arg(list.size())
                                                .arg(list.size() == 1 ? QStringLiteral("entry") : QStringLiteral("entries"))};
  for (int i = 0; i < kModules; ++i) {
    if (auto f = ReadModule(list.at(i), i, &profile.modules[static_cast<std::size_t>(i)])) return f;
  }
  *result = std::move(profile);
  return std::nullopt;
}

QByteArray ProfileJson(const RobotProfile& profile) {
  using Layout = JsonWriter::Layout;
  JsonWriter j;
  j.BeginObject(Layout::Lines);
  j.Key("format").String(kFormat);
  j.Key("version").Integer(kVersion);
  j.Key("name").String(profile.name);
  j.Key("notes").String(profile.notes);
  j.Key("soft_start_s").Number(profile.softStartS);
  j.Key("modules").BeginArray(Layout::Lines);
  for (const ModuleProfile& m : profile.modules) {
    j.BeginObject(Layout::Padded);
    j.Key("min").Number(m.min);
    j.Key("max").Number(m.max);
    j.Key("trim").Number(m.trim);
    j.Key("reversed").Bool(m.reversed);
    if (m.maxSpeedDegS) j.Key("max_speed_deg_s").Number(*m.maxSpeedDegS);
    j.EndObject();
  }
  j.EndArray();
  j.EndObject();
  return QByteArray::fromStdString(j.text() + "\n");
}

}  // namespace

bool WriteRobotProfile(const QString& path, const RobotProfile& profile, QString* error) {
  const QByteArray text = ProfileJson(profile);
  // The reader's own rules, on the very text about to be written.
  RobotProfile check;
  if (auto fault = ReadDocument(QJsonDocument::fromJson(text).object(), &check)) {
    *error = FaultLine(path, fault->field, fault->reason);
    return false;
  }
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit()) {
    *error = FaultLine(path, QStringLiteral("file"), QStringLiteral("cannot be written: ") + file.errorString());
    return false;
  }
  return true;
}

bool ReadRobotProfile(const QString& path, RobotProfile* profile, QString* error) {
  QJsonObject object;
  if (!ReadJsonObjectFile(path, QStringLiteral("a robot profile"), &object, error)) return false;
  if (auto fault = ReadDocument(object, profile)) {
    *error = FaultLine(path, fault->field, fault->reason);
    return false;
  }
  return true;
}

QStringList RobotProfileFolders() { return {SharedFolder(QStringLiteral("robots"))}; }

}  // namespace gp::files
