#include "panel/port_control.h"

#include <QApplication>
#include <QKeySequence>
#include <QMessageBox>
#include <QShortcut>

#include "core/app_info.h"
#include "protocol/command_sink.h"
#include "protocol/protocol.h"
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

QString PortControl::disconnectPort() {
  if (!link_.isOpen()) {
    link_.Close();  // a lost port: nothing can be sent to it any more
    return {};
  }
  const QString device = link_.deviceName();
  QWidget* over = QApplication::activeModalWidget();
  QMessageBox question(QMessageBox::Question, QString::fromUtf8(kAppTitle),
                       QStringLiteral("Send \"SF\" to the servo controller on %1 before disconnecting?").arg(device),
                       QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, over ? over : window());
  question.setObjectName(QStringLiteral("DisconnectQuestion"));
  question.setInformativeText(
      QStringLiteral("\"SF\" switches the servos off, so that they are not left driven once the port is closed."));
  question.setDefaultButton(QMessageBox::Yes);
  question.setEscapeButton(QMessageBox::Cancel);
  switch (question.exec()) {
    case QMessageBox::Yes:
      WriteCommand(link_, kAllOff);
      if (!link_.Close()) {
        return QStringLiteral("The serial port %1 did not carry \"SF\" within 2 seconds: it may not have reached "
                              "the controller, so the servos may still be on. The port is closed.")
            .arg(device);
      }
      return {};
    case QMessageBox::No:
      link_.Close();
      return {};
    default:
      return QStringLiteral("Still connected: %1 stays open.").arg(device);
  }
}

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
            return disconnectPort();
        }
        return {};
      },
      window());
  dialog.exec();
}

}  // namespace gp
