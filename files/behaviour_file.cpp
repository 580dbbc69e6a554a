#include "files/behaviour_file.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <cmath>

#include "files/json_file.h"
#include "gait/waveform.h"

namespace gp::files {
namespace {

constexpr auto kFormat = "gaitpanel-behaviour";
constexpr int kVersion = 1;
// A day: a mistyped length should not run for weeks.
constexpr double kMostStepSeconds = 86400;

QString Num(double v) { return QString::number(v, 'g', QLocale::FloatingPointShortest); }

// A step's gait: a file beside the behaviour, else a file as given, else a preset's bare name.
QString FindStepGait(const QString& behaviourPath, const QString& given) {
  const QString beside = QFileInfo(behaviourPath).dir().filePath(given);
  if (QFileInfo(beside).isFile()) return beside;
  return FindGaitFile(given);
}

std::optional<JsonFault> ReadStep(const QString& path, const QJsonValue& entry, int i, BehaviourStep* step) {
  const QString prefix = QStringLiteral("steps[%1].").arg(i);
  if (auto f = ExpectJson(entry, QJsonValue::Object, QStringLiteral("steps[%1]").arg(i))) return f;
  const QJsonObject o = entry.toObject();
  static const QStringList kKeys{QStringLiteral("gait"), QStringLiteral("seconds"), QStringLiteral("periods"),
                                 QStringLiteral("blend_s")};
  if (auto f = UnknownJsonKey(o, kKeys, prefix)) return f;
  const QJsonValue gait = o.value(QLatin1String("gait"));
  if (auto f = ExpectJson(gait, QJsonValue::String, prefix + QStringLiteral("gait"))) return f;
  if (gait.toString().isEmpty()) return JsonFault{prefix + QStringLiteral("gait"), QStringLiteral("names no gait")};
  const QString gaitPath = FindStepGait(path, gait.toString());
  if (!QFileInfo(gaitPath).isFile()) {
    return JsonFault{prefix + QStringLiteral("gait"),
                     QStringLiteral("\"%1\" is neither a gait file (beside the behaviour or as given) nor a preset")
                         .arg(gait.toString())};
  }
  QString gaitError;
  if (!ReadGaitFile(gaitPath, &step->gait, &gaitError))
    return JsonFault{prefix + QStringLiteral("gait"), QStringLiteral("cannot be used: ") + gaitError};
  step->gaitPath = gaitPath;

  const QJsonValue seconds = o.value(QLatin1String("seconds"));
  const QJsonValue periods = o.value(QLatin1String("periods"));
  if (seconds.isUndefined() == periods.isUndefined()) {
    return JsonFault{prefix + QStringLiteral("seconds"),
                     QStringLiteral("a step runs for \"seconds\" or for \"periods\" of its gait: give one of them")};
  }
  const bool bySeconds = !seconds.isUndefined();
  const QString lengthField = prefix + (bySeconds ? QStringLiteral("seconds") : QStringLiteral("periods"));
  const QJsonValue length = bySeconds ? seconds : periods;
  if (auto f = ExpectJson(length, QJsonValue::Double, lengthField)) return f;
  const double periodS = kStepsPerPeriod * step->gait.intervalMs / 1000.0;
  step->seconds = bySeconds ? length.toDouble() : length.toDouble() * periodS;
  if (!(step->seconds > 0) || !std::isfinite(step->seconds))
    return JsonFault{lengthField, QStringLiteral("%1 gives the step no length; it must be above 0").arg(Num(length.toDouble()))};
  if (step->seconds > kMostStepSeconds)
    return JsonFault{lengthField, QStringLiteral("%1 s is longer than a day").arg(Num(step->seconds))};

  const QJsonValue blend = o.value(QLatin1String("blend_s"));
  if (!blend.isUndefined()) {
    if (auto f = ExpectJson(blend, QJsonValue::Double, prefix + QStringLiteral("blend_s"))) return f;
    step->blendS = blend.toDouble();
    if (!(step->blendS >= 0) || step->blendS > kMaxBlendS)
      return JsonFault{prefix + QStringLiteral("blend_s"),
                       QStringLiteral("%1 is outside 0 to %2 seconds").arg(Num(step->blendS)).arg(kMaxBlendS)};
  }
  return std::nullopt;
}

std::optional<JsonFault> ReadDocument(const QString& path, const QJsonObject& top, Behaviour* out) {
  const QJsonValue format = top.value(QLatin1String("format"));
  if (auto f = ExpectJson(format, QJsonValue::String, QStringLiteral("format"))) return f;
  if (format.toString() != QLatin1String(kFormat)) {
    return JsonFault{QStringLiteral("format"),
                     QStringLiteral("\"%1\" is not \"%2\"").arg(format.toString(), QLatin1String(kFormat))};
  }
  const QJsonValue version = top.value(QLatin1String("version"));
  if (auto f = ExpectJson(version, QJsonValue::Double, QStringLiteral("version"))) return f;
  if (version.toDouble() != kVersion) {
    return JsonFault{QStringLiteral("version"), QStringLiteral("version %1 is not supported (this program reads version %2)")
                                                    .arg(Num(version.toDouble()))
                                                    .arg(kVersion)};
  }
  static const QStringList kKeys{QStringLiteral("format"), QStringLiteral("version"), QStringLiteral("name"),
                                 QStringLiteral("notes"),  QStringLiteral("steps"),   QStringLiteral("repeat")};
  if (auto f = UnknownJsonKey(top, kKeys, QString())) return f;

  Behaviour b;
  const QJsonValue name = top.value(QLatin1String("name"));
  if (auto f = ExpectJson(name, QJsonValue::String, QStringLiteral("name"))) return f;
  b.name = name.toString();
  const QJsonValue notes = top.value(QLatin1String("notes"));
  if (!notes.isUndefined()) {
    if (auto f = ExpectJson(notes, QJsonValue::String, QStringLiteral("notes"))) return f;
    b.notes = notes.toString();
  }
  const QJsonValue repeat = top.value(QLatin1String("repeat"));
  if (!repeat.isUndefined()) {
    if (auto f = ExpectJson(repeat, QJsonValue::Bool, QStringLiteral("repeat"))) return f;
    b.repeat = repeat.toBool();
  }
  const QJsonValue steps = top.value(QLatin1String("steps"));
  if (auto f = ExpectJson(steps, QJsonValue::Array, QStringLiteral("steps"))) return f;
  const QJsonArray list = steps.toArray();
  if (list.isEmpty()) return JsonFault{QStringLiteral("steps"), QStringLiteral("lists no step; a behaviour has at least one")};
  for (int i = 0; i < list.size(); ++i) {
    BehaviourStep step;
    if (auto f = ReadStep(path, list.at(i), i, &step)) return f;
    b.steps.push_back(std::move(step));
  }
  *out = std::move(b);
  return std::nullopt;
}

}  // namespace

double Behaviour::seconds() const {
  double total = 0;
  for (const BehaviourStep& s : steps) total += s.seconds;
  return total;
}

bool IsBehaviourFile(const QString& path) {
  QJsonObject object;
  QString error;
  return ReadJsonObjectFile(path, QStringLiteral("a behaviour file"), &object, &error) &&
         object.value(QLatin1String("format")).toString() == QLatin1String(kFormat);
}

bool ReadBehaviourFile(const QString& path, Behaviour* behaviour, QString* error) {
  QJsonObject object;
  if (!ReadJsonObjectFile(path, QStringLiteral("a behaviour file"), &object, error)) return false;
  if (auto fault = ReadDocument(path, object, behaviour)) {
    *error = FaultLine(path, fault->field, fault->reason);
    return false;
  }
  return true;
}

bool ReadDriveScript(const QString& path, std::vector<SteeringRow>* out, QString* error) {
  QJsonArray list;
  if (!ReadJsonArrayFile(path, QStringLiteral("a drive script"), &list, error)) return false;
  const auto fail = [&](const QString& field, const QString& reason) {
    *error = FaultLine(path, field, reason);
    return false;
  };
  if (list.isEmpty()) return fail(QStringLiteral("document"), QStringLiteral("lists no row [t, speed, turn, amplitude]"));
  std::vector<SteeringRow> rows;
  for (int i = 0; i < list.size(); ++i) {
    const QString field = QStringLiteral("[%1]").arg(i);
    if (auto f = ExpectJson(list.at(i), QJsonValue::Array, field)) return fail(f->field, f->reason);
    const QJsonArray row = list.at(i).toArray();
    if (row.size() != 4)
      return fail(field, QStringLiteral("has %1 numbers; a row is [t, speed, turn, amplitude]").arg(row.size()));
    double v[4];
    static const char* const kNames[] = {"t", "speed", "turn", "amplitude"};
    for (int k = 0; k < 4; ++k) {
      const QString at = QStringLiteral("[%1][%2] (%3)").arg(i).arg(k).arg(QLatin1String(kNames[k]));
      if (auto f = ExpectJson(row.at(k), QJsonValue::Double, at)) return fail(f->field, f->reason);
      v[k] = row.at(k).toDouble();
      const double lo = k == 0 ? 0 : k == 3 ? 0 : -1;
      const double hi = k == 0 ? kMostStepSeconds : 1;
      if (!(v[k] >= lo && v[k] <= hi)) return fail(at, QStringLiteral("%1 is outside %2 to %3").arg(Num(v[k])).arg(lo).arg(hi));
    }
    if (i == 0 && v[0] != 0) return fail(field + QStringLiteral(" (t)"), QStringLiteral("the first row starts at 0 s, not %1").arg(Num(v[0])));
    if (i > 0 && !(v[0] > rows.back().t))
      return fail(field + QStringLiteral(" (t)"), QStringLiteral("%1 s does not come after the row before (%2 s)")
                                                      .arg(Num(v[0]), Num(rows.back().t)));
    rows.push_back({v[0], Steering{v[1], v[2], v[3]}});
  }
  *out = std::move(rows);
  return true;
}

}  // namespace gp::files
