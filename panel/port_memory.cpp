#include "panel/port_memory.h"

#include <QSettings>

#include "core/app_info.h"
#include "link/serial_link.h"

namespace gp {
namespace {

const char* const kKey = "serial/device";

}  // namespace

QSettings PanelSettings() {
  const QString name = QString::fromUtf8(kAppName);
  return QSettings(QSettings::NativeFormat, QSettings::UserScope, name, name);
}

QString RememberedPort() { return PanelSettings().value(QLatin1String(kKey)).toString(); }

QString PortToOpen(const QString& port, bool given, const QString& portOne) {
  if (given) return port;
  const QString remembered = RememberedPort();
  return remembered.isEmpty() ? portOne : remembered;
}

void RememberPort(const QString& device) {
  QSettings store = PanelSettings();
  if (device.isEmpty()) {
    store.remove(QLatin1String(kKey));
  } else {
    store.setValue(QLatin1String(kKey), device);
  }
}

QString OpenChosenPort(SerialLink& link, const QString& device) {
  if (!link.Open(device)) return link.lastError();
  RememberPort(device);
  return {};
}

}  // namespace gp
