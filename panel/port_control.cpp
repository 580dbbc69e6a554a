#include "panel/port_control.h"

#include <QKeySequence>
#include <QShortcut>

#include "link/serial_link.h"
#include "panel/port_dialog.h"
#include "panel/port_memory.h"

namespace gp {
namespace {

constexpr int kMaxTextWidth = 300;  // pixels; the counters need the rest of the panel's width

QString ShortcutHint() {
  return QStringLiteral("Serial port: choose the robot's device, reconnect or disconnect (%1)")
      .arg(QString::fromLatin1(PortControl::kShortcut));
}

}  // namespace

PortControl::PortControl(SerialLink& link, QWidget* window) : QToolButton(window), link_(link) {
  setObjectName(QStringLiteral("PortControl"));
  setAutoRaise(true);
  setFocusPolicy(Qt::NoFocus);
  setToolButtonStyle(Qt::ToolButtonTextOnly);
  setToolTip(ShortcutHint());
  connect(this, &QToolButton::clicked, this, [this] { choose(); });
  auto* shortcut = new QShortcut(QKeySequence(QString::fromLatin1(kShortcut)), window);
  shortcut->setObjectName(QStringLiteral("PortShortcut"));
  connect(shortcut, &QShortcut::activated, this, [this] { choose(); });
}

void PortControl::showStatus(const QString& text) {
  status_ = text;
  setText(fontMetrics().elidedText(text, Qt::ElideMiddle, kMaxTextWidth));
  setToolTip(text + QLatin1Char('\n') + ShortcutHint());
}

QString PortControl::switchTo(const QString& device) {
  const QString previous = link_.isOpen() ? link_.deviceName() : QString();
  link_.Close();
  if (QString why = OpenChosenPort(link_, device); !why.isEmpty()) return why;
  if (!previous.isEmpty() && previous != device)
    link_.setStatusNote(QStringLiteral("switched from %1").arg(previous));
  return {};
}

QString PortControl::reconnect() {
  const QString device = link_.deviceName();
  link_.Close();
  if (!link_.Open(device)) return link_.lastError();
  link_.setStatusNote(QStringLiteral("reconnected"));
  return {};
}

void PortControl::disconnectPort() { link_.Close(); }

void PortControl::choose() {
  const QString current = link_.deviceName();
  const QString message = link_.isOpen() ? QStringLiteral("The robot's serial port: %1.").arg(link_.statusText())
                                         : link_.lastError().isEmpty() ? link_.statusText() : link_.lastError();
  PortDialog dialog(
      PortDialog::Kind::WhileRunning, message, current,
      [this](PortDialog::Action action, const PortInfo& chosen) -> QString {
        switch (action) {
          case PortDialog::Action::Open:
            return switchTo(chosen.preferredName());
          case PortDialog::Action::Reconnect:
            return reconnect();
          case PortDialog::Action::Disconnect:
            disconnectPort();
            return {};
        }
        return {};
      },
      window());
  dialog.exec();
}

}  // namespace gp
