#pragma once
// The status line's port part: shows the serial device and its state, and
// opens the list of devices to switch to, reconnect or disconnect. Kept out
// of the Tab order, so the panel's focus order stays as it is; reached with
// its shortcut instead.

#include <QString>
#include <QToolButton>

namespace gp {

class SerialLink;

class PortControl : public QToolButton {
  Q_OBJECT
 public:
  static constexpr const char* kShortcut = "Ctrl+Shift+P";

  // window: where the shortcut works.
  PortControl(SerialLink& link, QWidget* window);

  // Each returns an empty text when done, otherwise why not. Switching
  // drains and closes the open device first (at most 2 s), then opens the
  // new one and remembers it; nothing is sent to either because of it.
  QString switchTo(const QString& device);
  QString reconnect();
  // While the port is open, first asks whether to send "SF" so that the
  // servos are not left driven: Yes sends it and drains the line (at most
  // 2 s) before closing, No closes as it is, Cancel keeps the connection.
  QString disconnectPort();

  // Opens the list (modal).
  void choose();

  // The port's state: shown shortened to fit the status line, whole in the
  // tooltip.
  void showStatus(const QString& text);
  QString status() const { return status_; }

 private:
  SerialLink& link_;
  QString status_;
};

}  // namespace gp
