#include "panel/record_control.h"

#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <chrono>

#include "core/app_info.h"
#include "ui/message_box.h"
#include "link/serial_link.h"
#include "panel/status_line.h"

namespace gp {

RecordControl::RecordControl(SerialLink& link, PanelHost& panel, QWidget* parent)
    : QToolButton(parent), link_(link), panel_(panel) {
  SetUpStatusLineButton(*this, "RecordButton", "Record",
                        "Record every command as it goes to the port to a file (Ctrl+R)");
  setCheckable(true);
  // Plain to see from across the bench while a recording runs.
  setStyleSheet(QStringLiteral("QToolButton:checked { color: #c00000; font-weight: bold; }"));
  setShortcut(QKeySequence(Qt::CTRL | Qt::Key_R));
  connect(this, &QToolButton::toggled, this, [this](bool on) { onToggled(on); });

  connect(&link_, &SerialLink::commandHandedOver, &recorder_,
          [this](const QByteArray& bytes, qint64 atNs) { recorder_.add(std::chrono::nanoseconds(atNs), bytes); });
  connect(&link_, &SerialLink::stateChanged, this, [this](SerialLink::State state) {
    if (recorder_.isRecording() && (state == SerialLink::State::Lost || state == SerialLink::State::Closed))
      unconfirmedBefore_ += static_cast<qint64>(link_.unconfirmedCommands());
  });
  connect(&recorder_, &files::RecordingWriter::failed, this, [this](const QString& message) {
    setCheckedQuietly(false);
    panel_.tell(message);
  });
}

RecordControl::~RecordControl() {
  // The panel is going: what is held is written, and nothing answers any more.
  recorder_.disconnect(this);
  recorder_.stop(unconfirmedBefore_);
}

qint64 RecordControl::unconfirmed() const {
  qint64 n = unconfirmedBefore_;
  // Still open: on a device that reports its queue the last commands are on
  // their way; on one that cannot, none of them will ever be confirmed.
  if (link_.isOpen() && !link_.confirmsDelivery()) n += static_cast<qint64>(link_.unconfirmedCommands());
  return n;
}

bool RecordControl::startRecording(const QString& path) {
  QString error;
  const QString program = QStringLiteral("%1 %2").arg(QLatin1String(kAppName), QLatin1String(kAppVersion));
  unconfirmedBefore_ = 0;
  if (!recorder_.start(path, program, link_.deviceName(), SerialLink::Now(), &error)) {
    setCheckedQuietly(false);
    ShowCritical(window(), error);
    return false;
  }
  setCheckedQuietly(true);
  panel_.tell(QStringLiteral("Recording every command sent to %1.").arg(QDir::toNativeSeparators(path)));
  return true;
}

void RecordControl::stopRecording() {
  if (!recorder_.isRecording()) return;
  const QString path = QDir::toNativeSeparators(recorder_.path());
  // A failing last write reports itself through failed().
  if (recorder_.stop(unconfirmed())) panel_.tell(QStringLiteral("Recorded %1 commands to %2.").arg(recorder_.commands()).arg(path));
  setCheckedQuietly(false);
}

void RecordControl::onToggled(bool on) {
  if (on == recorder_.isRecording()) return;
  if (!on) {
    stopRecording();
    return;
  }
  const QString suggested = QDir::home().filePath(
      QStringLiteral("gaitpanel-%1.rec").arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"))));
  const QString path = QFileDialog::getSaveFileName(window(), QStringLiteral("Record to"), suggested,
                                                    QStringLiteral("Recordings (*.rec);;All files (*)"));
  if (path.isEmpty()) {
    setCheckedQuietly(false);
    return;
  }
  startRecording(path);
}

void RecordControl::setCheckedQuietly(bool on) {
  const QSignalBlocker block(this);
  setChecked(on);
}

}  // namespace gp
