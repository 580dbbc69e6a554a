#include "panel/pad_control.h"

#include <QApplication>
#include <utility>

#include "gamepad/sdl_pads.h"
#include "panel/drive_control.h"
#include "panel/port_memory.h"

namespace gp {
namespace {

const char* const kHoldKey = "gamepad/hold_to_drive";

}  // namespace

PadControl::PadControl(DriveControl& drive, Panel panel, QObject* parent)
    : QObject(parent), drive_(drive), panel_(std::move(panel)), pads_(std::make_unique<SdlPads>()), driver_(*this) {
  driver_.setHoldToDrive(PanelSettings().value(QLatin1String(kHoldKey), QStringLiteral("on")).toString() !=
                         QLatin1String("off"));
  if (!pads_->ok()) {
    panel_.tell(QStringLiteral("Gamepads cannot be used: %1.").arg(QString::fromStdString(pads_->error())), false);
    return;
  }
  clock_.start();
  timer_.setTimerType(Qt::PreciseTimer);
  connect(&timer_, &QTimer::timeout, this, &PadControl::poll);
  timer_.start(kPadPollMs);
  poll();
}

PadControl::~PadControl() = default;

bool PadControl::available() const { return pads_->ok(); }

QString PadControl::padName() const {
  return driver_.attached() ? QString::fromStdString(driver_.name()) : QString();
}

void PadControl::setHoldToDrive(bool on) {
  driver_.setHoldToDrive(on);
  StoreSetting(QLatin1String(kHoldKey), on ? QStringLiteral("on") : QStringLiteral("off"));
}

void PadControl::poll() {
  if (!pads_->ok()) return;
  const double now = static_cast<double>(clock_.nsecsElapsed()) / 1e9;
  pads_->Poll(driver_, now);
  driver_.Check(now);
  if (const QString name = padName(); name != shownName_) {
    const QString was = std::exchange(shownName_, name);
    drive_.setPadName(name);
    if (!name.isEmpty()) {
      panel_.tell(QStringLiteral("Gamepad \"%1\": A Move, B Pause, Y Relax; the left stick steers while Drive is "
                                 "on%2.")
                      .arg(name, driver_.holdToDrive() ? QStringLiteral(", holding the right shoulder button")
                                                       : QString()),
                  true);
    } else if (!was.isEmpty() && !std::exchange(toldLoss_, false)) {
      panel_.tell(QStringLiteral("Gamepad \"%1\" is gone.").arg(was), true);
    }
  }
}

bool PadControl::dialogOpen() { return QApplication::activeModalWidget() != nullptr; }

bool PadControl::moving() const { return panel_.moving(); }

void PadControl::Steer(const Steering& asked) { drive_.steer(asked); }

void PadControl::Move() {
  if (dialogOpen()) {
    Refused("a dialog is open; answer it first");
    return;
  }
  if (!drive_.driving()) {
    // Driving starts standing; the stick's own asks follow in this reading.
    drive_.setDriving(true);
    driver_.ForgetSteering();
  }
  panel_.move();
}

void PadControl::Pause(PadPause why) {
  panel_.pause();
  // The driver keeps a pad's name after it has gone.
  const QString name = QString::fromStdString(driver_.name());
  switch (why) {
    case PadPause::Button: break;
    case PadPause::Unplugged:
      toldLoss_ = true;
      panel_.tell(QStringLiteral("Gamepad \"%1\" unplugged while the robot moved: paused.").arg(name), false);
      break;
    case PadPause::Silent:
      panel_.tell(QStringLiteral("Gamepad \"%1\" silent for %2 s while the robot moved: paused.")
                      .arg(name)
                      .arg(kPadSilenceS, 0, 'f', 1),
                  false);
      break;
    case PadPause::Released:
      panel_.tell(QStringLiteral("Right shoulder button let go (hold to drive): paused."), false);
      break;
  }
}

void PadControl::RelaxOrResume() {
  if (panel_.relaxed() && dialogOpen()) {
    Refused("a dialog is open; answer it first");
    return;
  }
  panel_.relaxOrResume();
}

void PadControl::Refused(const std::string& why) {
  panel_.tell(QStringLiteral("Gamepad: %1.").arg(QString::fromStdString(why)), true);
}

}  // namespace gp
