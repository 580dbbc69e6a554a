#include "files/floors_file.h"

#include <QJsonArray>
#include <QJsonObject>
#include <cmath>

#include "files/json_file.h"

namespace gp::files {

bool ReadFloorsFile(const QString& path, std::vector<FloorGrip>* floors, QString* error) {
  QJsonObject top;
  if (!ReadJsonObjectFile(path, QStringLiteral("a floors file"), &top, error)) return false;
  const auto fault = [&](const QString& field, const QString& reason) {
    *error = FaultLine(path, field, reason);
    return false;
  };
  for (auto it = top.begin(); it != top.end(); ++it)
    if (it.key() != QLatin1String("floors") && it.key() != QLatin1String("notes"))
      return fault(it.key(), QStringLiteral("is not a field of a floors file (floors, notes)"));
  const QJsonValue list = top.value(QLatin1String("floors"));
  if (!list.isArray()) return fault(QStringLiteral("floors"), QStringLiteral("must be a list [ ... ] of floors"));
  const QJsonArray entries = list.toArray();
  if (entries.isEmpty() || entries.size() > kMaxFloors)
    return fault(QStringLiteral("floors"), QStringLiteral("has %1 floors; 1 to %2 are allowed").arg(entries.size()).arg(kMaxFloors));
  std::vector<FloorGrip> read;
  for (qsizetype i = 0; i < entries.size(); ++i) {
    const QString at = QStringLiteral("floors[%1]").arg(i);
    if (!entries.at(i).isObject()) return fault(at, QStringLiteral("must be an object { \"along\": ..., \"across\": ... }"));
    const QJsonObject entry = entries.at(i).toObject();
    for (auto it = entry.begin(); it != entry.end(); ++it)
      if (it.key() != QLatin1String("along") && it.key() != QLatin1String("across"))
        return fault(at + QLatin1Char('.') + it.key(), QStringLiteral("is not a field of a floor (along, across)"));
    FloorGrip grip;
    for (const auto& [name, value] : {std::pair{"along", &grip.along}, std::pair{"across", &grip.across}}) {
      const QJsonValue v = entry.value(QLatin1String(name));
      const QString field = at + QLatin1Char('.') + QLatin1String(name);
      if (!v.isDouble()) return fault(field, QStringLiteral("must be a number"));
      *value = v.toDouble();
      if (!(*value > 0) || *value > kMaxFloorFriction || !std::isfinite(*value))
        return fault(field, QStringLiteral("%1 is not above 0 and at most %2").arg(*value).arg(kMaxFloorFriction));
    }
    read.push_back(grip);
  }
  *floors = std::move(read);
  return true;
}

}  // namespace gp::files
