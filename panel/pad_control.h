#pragma once
// A gamepad steering the panel: SDL polled from a timer, the pad's rules
// (gamepad/pad_driver.h) told the wall clock, and what the pad asks carried
// out through the panel's own controls, as if the operator had pressed
// them: A "Move" (turning Drive on first, standing), B "Pause", Y "Relax" or
// "Resume", the stick and trigger through Drive's blending. A pad that goes
// away or falls silent while the robot moves, and letting go of the right
// shoulder button with "hold to drive" on, press "Pause" and say why.
//
// While a dialog or message box is open, the pad only stops: Pause and
// Relax act, Move and Resume wait for the box to close.

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>
#include <memory>

#include "gamepad/pad_driver.h"

namespace gp {

class DriveControl;
class SdlPads;

// How often SDL is asked what the pads did.
constexpr int kPadPollMs = 10;

class PadControl : public QObject, private PadActions {
  Q_OBJECT
 public:
  // What the pad may ask of the panel.
  struct Panel {
    std::function<bool()> moving;
    std::function<void()> move;   // "Move"
    std::function<void()> pause;  // "Pause"
    std::function<bool()> relaxed;
    std::function<void()> relaxOrResume;  // "Relax", or "Resume" while relaxed
    // A passing message in the status line; a brief one leaves the figures
    // (what Drive asks) to be seen again sooner.
    std::function<void(const QString&, bool brief)> tell;
  };

  PadControl(DriveControl& drive, Panel panel, QObject* parent);
  ~PadControl() override;

  // Whether SDL started; if not, why (told once in the status line too).
  bool available() const;
  // The steering pad's name, empty while there is none.
  QString padName() const;

  bool holdToDrive() const { return driver_.holdToDrive(); }
  // Remembered between runs.
  void setHoldToDrive(bool on);

  // One poll now, besides the timer's.
  void poll();

 private:
  bool moving() const override;
  void Steer(const Steering& asked) override;
  void Move() override;
  void Pause(PadPause why) override;
  void RelaxOrResume() override;
  void Refused(const std::string& why) override;
  static bool dialogOpen();

  DriveControl& drive_;
  Panel panel_;
  std::unique_ptr<SdlPads> pads_;
  PadDriver driver_;
  QTimer timer_;
  QElapsedTimer clock_;
  QString shownName_;
  bool toldLoss_ = false;  // the pad's going was told with the pause it caused
};

}  // namespace gp
