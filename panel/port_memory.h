#pragma once
// The one thing the panel remembers between runs: the serial device the
// person chose last, by its stable name where it has one, so that an adapter
// renumbered from ttyUSB0 to ttyUSB1 is still found. Kept with QSettings in
// the platform's usual place (~/.config/gaitpanel/gaitpanel.conf).

#include <QString>

namespace gp {

// The remembered device, or an empty text.
QString RememberedPort();

// Remembers device (a stable name or a path); an empty text forgets.
void RememberPort(const QString& device);

}  // namespace gp
