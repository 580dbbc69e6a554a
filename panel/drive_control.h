#pragma once
// "Drive" in the panel's status line (Ctrl+D): steering the gait live. While
// it is on, the gait typed or opened is the base, and the inputs scale and
// bend it: the wave's speed (forward, standing, back), a turn (a common
// centre offset) and the amplitude. Keys: the arrows, or W, A, S and D, with
// the panel or the controller's window active, wherever no text box, list or
// scroll bar holds the focus (those take the arrows themselves); each press
// steps the speed or the turn by a fifth, and Q and E the amplitude. A
// gamepad steers through steer() (panel/pad_control.h). Every input comes in through the
// live gait's blending, so nothing jumps. Kept out of the Tab order.

#include <QString>
#include <QToolButton>

#include "gait/live_gait.h"

class QKeyEvent;

namespace gp {

struct ModuleTable;

class DriveControl : public QToolButton {
  Q_OBJECT
 public:
  // How far one press of a key moves the speed or the turn.
  static constexpr double kKeyStep = 0.2;

  DriveControl(LiveGait& live, const ModuleTable& table, QWidget* parent);
  ~DriveControl() override;

  bool driving() const { return live_.driving(); }
  void setDriving(bool on);
  // What the inputs ask, as the status line shows it: "Drive: speed 60%,
  // turn left 8°, amplitude 100%", and the name of a pad that steers
  // (setPadName), which shows while not driving too.
  QString statusText() const;

  // Asks for this steering (speed, turn, amplitude as in Steering).
  void steer(Steering asked);
  void setBlendSeconds(double seconds) { blendS_ = seconds; }
  void setPadName(const QString& name);

 signals:
  void changed();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  bool takesKey(const QKeyEvent& key) const;

  LiveGait& live_;
  const ModuleTable& table_;
  double blendS_ = kDefaultBlendS;
  QString padName_;
};

// The status line's words for what is asked.
QString DriveText(const Steering& asked);

}  // namespace gp
