#pragma once
// What the panel remembers between runs, and first of all the serial device
// the person chose last, by its stable name where it has one, so that an adapter
// renumbered from ttyUSB0 to ttyUSB1 is still found. Kept with QSettings in
// the platform's usual place (~/.config/gaitpanel/gaitpanel.conf).

#include <QSettings>
#include <QString>
#include <functional>

namespace gp {

class SerialLink;

// Where the panel keeps what it remembers between runs.
QSettings PanelSettings();

// The remembered device, or an empty text.
QString RememberedPort();

// The device that stands in for port 1 at start: the one given with --port
// (given is set), otherwise the one remembered, otherwise portOne.
QString PortToOpen(const QString& port, bool given, const QString& portOne);

// Remembers device (a stable name or a path); an empty text forgets.
void RememberPort(const QString& device);

// Stores one remembered value (an empty text removes it) and writes the
// settings out at once. A write that fails (a folder that cannot be written)
// is told through the teller, the first time in a run only.
void StoreSetting(const QString& key, const QString& value);
// Who tells a failed settings write; the panel sets its status line, and
// nullptr removes it.
void SetSettingsFaultTeller(std::function<void(const QString&)> tell);

// Opens the device the person chose on the link and, once it is open,
// remembers it. Returns an empty text when done, otherwise why not.
QString OpenChosenPort(SerialLink& link, const QString& device);

}  // namespace gp
