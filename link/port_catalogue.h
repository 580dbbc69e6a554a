#pragma once
// The serial devices of this machine as a person tells them apart: the
// device path, the stable name the system gives a USB adapter under
// /dev/serial/by-id (which survives unplugging and renumbering), and what
// the adapter says about itself.

#include <QString>
#include <vector>

namespace gp {

struct PortInfo {
  QString path;          // /dev/ttyUSB0
  QString stableName;    // /dev/serial/by-id/usb-FTDI_..., empty where there is none
  QString description;   // "FT232R USB UART"
  QString manufacturer;  // "FTDI"
  QString usbId;         // vendor:product in hexadecimal, "0403:6001"; empty for a non-USB port
  QString serialNumber;

  // The name to show and to remember: the stable name where there is one.
  QString preferredName() const { return stableName.isEmpty() ? path : stableName; }
  // "/dev/ttyUSB0 (FT232R USB UART)".
  QString label() const;
};

// Where udev keeps the stable names of serial adapters.
QString DefaultByIdFolder();

// Every serial device the system reports, plus any stable name whose device
// the system's list missed, in path order.
std::vector<PortInfo> ListPorts(const QString& byIdFolder = DefaultByIdFolder());

// The stable name under byIdFolder that points at devicePath (compared after
// following links), or an empty text.
QString StableNameOf(const QString& devicePath, const QString& byIdFolder = DefaultByIdFolder());

// One device a line for scripts: stable name (the path where there is none),
// path, description, manufacturer, vendor:product, serial number; separated
// by tabs, a missing field as "-".
QString ListLine(const PortInfo& port);

}  // namespace gp
