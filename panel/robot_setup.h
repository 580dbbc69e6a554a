#pragma once
// "Set up the robot...": a window of its own for a robot's first motion. One
// row a module: a slider that jogs that one servo gently (only that channel's
// positions, at the profile's speed limit or 60 degrees a second, starting
// slowly), the angle it stands at, and buttons that take that angle as the
// module's centre (the trim) or as a limit; "Reversed" for a module mounted
// the other way round; "Centre all" brings every jogged module to its centre.
// It starts from the profile the panel has open (or every limit at 30
// degrees and no trim), writes the robot-profile format the panel reads and
// then opens it. Its positions go through the panel's own link and transmit
// queue, so "Relax", "Pause" and "Exit" overtake it; a jog never passes the
// limits shown. While the gait moves, the sliders are disabled.
//
// Its angles are the gait's angles of the profile: the servo is sent the
// angle clamped to the limits, negated where reversed, plus the trim.

#include <QTimer>
#include <QWidget>
#include <array>
#include <functional>
#include <optional>

#include "gait/module_table.h"
#include "gait/robot_profile.h"

class QCheckBox;
class QLabel;
class QPushButton;
class QSlider;

namespace gp {

class SerialLink;

// The jog of one module, on a clock it is given: plain arithmetic.
class Jog {
 public:
  // Degrees a second at full speed, and how long a jog takes to reach it.
  static constexpr double kDefaultSpeed = 60.0;
  static constexpr double kSoftStartS = 1.0;

  // Where the servo stands, as far as the panel knows (nothing: unknown).
  void standAt(double angle) { at_ = angle; }
  std::optional<double> at() const { return at_; }
  void setTarget(double angle) { target_ = angle; }
  std::optional<double> target() const { return target_; }
  bool moving() const { return at_ && target_ && *at_ != *target_; }
  // Stops where it stands.
  void halt();

  // The angle to send after `dt` seconds at up to `speed` degrees a second,
  // or nothing when there is nothing to send. A jog from rest starts slowly.
  std::optional<double> Step(double dt, double speed);

 private:
  std::optional<double> at_;
  std::optional<double> target_;
  double movingFor_ = 0;
};

class RobotSetup : public QWidget {
  Q_OBJECT
 public:
  static constexpr double kNewLimit = 30.0;  // either way, for a robot with no profile yet
  static constexpr int kStepMs = 20;

  // `opened`: the panel's profile, or nullptr. `openProfile` opens a written
  // file in the panel and says whether it could.
  RobotSetup(SerialLink& link, const ModuleTable& table, const GaitState& state, const RobotProfile* opened,
             std::function<bool(const QString&)> openProfile, QWidget* parent = nullptr);

  const RobotProfile& profile() const { return profile_; }
  // Jogs module n (1 to 8) toward `angle`, held within its limits.
  void jogTo(int n, double angle);
  // Every module jogged so far toward its centre, slowly.
  void centreAll();
  // Stops every jog where it stands ("Relax", "Pause", "Stop", "Exit").
  void halt();
  // Takes the angle module n stands at as its centre, lower or upper limit.
  bool setCentre(int n);
  bool setLower(int n);
  bool setUpper(int n);
  void setReversed(int n, bool reversed);
  // Writes the profile to `path` and opens it in the panel.
  bool save(const QString& path);

  std::optional<double> standsAt(int n) const { return jogs_[static_cast<std::size_t>(n - 1)].at(); }
  bool jogging() const;
  QSlider* slider(int n) const { return rows_[static_cast<std::size_t>(n - 1)].slider; }
  QString note() const;

 private:
  struct Row {
    QSlider* slider = nullptr;
    QLabel* angle = nullptr;
    QLabel* limits = nullptr;
    QCheckBox* reversed = nullptr;
  };
  void step();
  void showRow(int n);
  void showMessage(const QString& text);
  double speed(int n) const;
  Jog& jog(int n) { return jogs_[static_cast<std::size_t>(n - 1)]; }
  ModuleProfile& module(int n) { return profile_.modules[static_cast<std::size_t>(n - 1)]; }

  SerialLink& link_;
  const ModuleTable& table_;
  const GaitState& state_;
  std::function<bool(const QString&)> openProfile_;
  RobotProfile profile_;
  std::array<Jog, kModules> jogs_{};
  std::array<Row, kModules> rows_{};
  QLabel* gaitNote_ = nullptr;
  QLabel* message_ = nullptr;
  QTimer timer_;
  bool gaitMoving_ = false;
};

}  // namespace gp
