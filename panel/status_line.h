#pragma once
// What the controls beside the panel, at the right of its status line, share:
// the little they may ask of the panel, which the panel implements so that
// they never reach into its controls, and the look they have in common. A
// control that needs more of the panel adds it here.

#include <QLabel>
#include <QString>

#include "files/gait_file.h"
#include "gait/live_gait.h"
#include "gait/module_table.h"
#include "gait/robot_profile.h"

class QToolButton;

namespace gp {

// How long a passing word that matters only at that moment stays.
constexpr int kBriefMessageMs = 5000;

class PanelHost {
 public:
  // Writes the gait into the amplitude, phase and initial-angle boxes and
  // TimerText as if typed, so that their own change handling stores it; the
  // check boxes are left alone. While the gait moves, the boxes come to it
  // over the blend time instead, showing the values in force on the way.
  virtual void enterGait(const files::Gait& gait) = 0;
  // How long a gait the panel changes while it moves takes to come in.
  virtual double blendSeconds() const { return kDefaultBlendS; }
  virtual void setBlendSeconds(double) {}
  // "Hold to drive": a gamepad steers only while its right shoulder button
  // is held, and letting go pauses.
  virtual bool holdToDrive() const { return true; }
  virtual void setHoldToDrive(bool) {}
  // Whether the gait moves (Running).
  virtual bool gaitMoving() const { return false; }
  // The table as the panel holds it, and the gait clock's interval.
  virtual const ModuleTable& moduleTable() const = 0;
  virtual int gaitIntervalMs() const = 0;
  // A passing message over the port and the counters; one told before the
  // panel is shown waits for it.
  virtual void tell(const QString& message) = 0;
  // The same for `ms` milliseconds only (kBriefMessageMs: a few seconds).
  virtual void tellFor(const QString& message, int ms) {
    static_cast<void>(ms);
    tell(message);
  }
  // The robot profile the gait goes through now, or nullptr for none.
  virtual const RobotProfile* robotProfile() const { return nullptr; }
  // Opens "Set up the robot..." (or raises the one open); false where the
  // panel has none.
  virtual bool showRobotSetup() { return false; }

 protected:
  ~PanelHost() = default;
};

// The figures in the status line, in one row: as much of the text as the
// row has room for, cut with an ellipsis, and the whole text in its tooltip.
// It asks for no width of its own, so the panel keeps its described width
// and the status line one row.
class StatusFigures : public QLabel {
 public:
  explicit StatusFigures(QWidget* parent);
  void setFigures(const QString& text);
  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
};

// A flat button with its name, caption and tooltip (which names its
// shortcut), kept out of the panel's Tab order.
void SetUpStatusLineButton(QToolButton& button, const char* name, const char* caption, const char* tip);

}  // namespace gp
