#include "link/port_catalogue.h"

#include <QDir>
#include <QFileInfo>
#include <QSerialPortInfo>
#include <algorithm>
#include <map>

namespace gp {
namespace {

QString Hex4(quint16 value) { return QStringLiteral("%1").arg(value, 4, 16, QLatin1Char('0')); }

// Each device path under byIdFolder's links, to the link's full name.
std::map<QString, QString> StableNames(const QString& byIdFolder) {
  std::map<QString, QString> names;
  const QDir folder(byIdFolder);
  // Sorted, so that a device with two names always shows the same one.
  for (const QFileInfo& link : folder.entryInfoList(QDir::System | QDir::Files | QDir::NoDotAndDotDot, QDir::Name)) {
    if (!link.isSymLink()) continue;
    const QString target = link.canonicalFilePath();
    if (!target.isEmpty()) names.emplace(target, link.absoluteFilePath());
  }
  return names;
}

QString Field(const QString& text) { return text.isEmpty() ? QStringLiteral("-") : text; }

}  // namespace

QString PortInfo::label() const {
  return description.isEmpty() ? path : QStringLiteral("%1 (%2)").arg(path, description);
}

QString DefaultByIdFolder() { return QStringLiteral("/dev/serial/by-id"); }

std::vector<PortInfo> ListPorts(const QString& byIdFolder) {
  std::map<QString, QString> stable = StableNames(byIdFolder);
  std::vector<PortInfo> ports;
  for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
    PortInfo port;
    port.path = info.systemLocation();
    port.description = info.description();
    port.manufacturer = info.manufacturer();
    port.serialNumber = info.serialNumber();
    if (info.hasVendorIdentifier() && info.hasProductIdentifier())
      port.usbId = Hex4(info.vendorIdentifier()) + QLatin1Char(':') + Hex4(info.productIdentifier());
    const QString canonical = QFileInfo(port.path).canonicalFilePath();
    if (auto it = stable.find(canonical.isEmpty() ? port.path : canonical); it != stable.end()) {
      port.stableName = it->second;
      stable.erase(it);
    }
    ports.push_back(port);
  }
  // A stable name always stands for a device worth offering.
  for (const auto& [target, name] : stable) {
    PortInfo port;
    port.path = target;
    port.stableName = name;
    ports.push_back(port);
  }
  std::sort(ports.begin(), ports.end(), [](const PortInfo& a, const PortInfo& b) { return a.path < b.path; });
  return ports;
}

QString StableNameOf(const QString& devicePath, const QString& byIdFolder) {
  const QString canonical = QFileInfo(devicePath).canonicalFilePath();
  if (canonical.isEmpty()) return {};
  const std::map<QString, QString> stable = StableNames(byIdFolder);
  const auto it = stable.find(canonical);
  return it == stable.end() ? QString() : it->second;
}

QString ListLine(const PortInfo& port) {
  return QStringList{port.preferredName(),     port.path,         Field(port.description),
                     Field(port.manufacturer), Field(port.usbId), Field(port.serialNumber)}
      .join(QLatin1Char('\t'));
}

}  // namespace gp
