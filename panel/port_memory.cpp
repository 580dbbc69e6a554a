#include "panel/port_memory.h"

#include <QDir>
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

namespace {

std::function<void(const QString&)>& Teller() {
  static std::function<void(const QString&)> tell;
  return tell;
}
bool g_faultTold = false;

}  // namespace

void SetSettingsFaultTeller(std::function<void(const QString&)> tell) { Teller() = std::move(tell); }

void StoreSetting(const QString& key, const QString& value) {
  QSettings store = PanelSettings();
  if (value.isEmpty()) {
    store.remove(key);
  } else {
    store.setValue(key, value);
  }
  store.sync();
  if (store.status() == QSettings::NoError || g_faultTold || !Teller()) return;
  g_faultTold = true;
  Teller()(QStringLiteral("The settings cannot be saved to %1: the chosen device and robot profile will not be "
                          "remembered next time.")
               .arg(QDir::toNativeSeparators(store.fileName())));
}

void RememberPort(const QString& device) { StoreSetting(QLatin1String(kKey), device); }

QString OpenChosenPort(SerialLink& link, const QString& device) {
  if (!link.Open(device)) return link.lastError();
  RememberPort(device);
  return {};
}

}  // namespace gp
