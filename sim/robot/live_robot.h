#pragma once
// The virtual robot driven live by the virtual controller: every command the
// controller decodes reaches the servos at the moment it arrived, and the
// physics keeps pace with the wall clock in fixed steps whether or not
// anything is drawn. Keeps what the robot view shows: the head's trail and
// the readouts.

#include <QObject>
#include <QPointF>
#include <QString>
#include <QTimer>
#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>

#include "sim/controller/controller_model.h"
#include "sim/robot/virtual_robot.h"

namespace gp::sim {

class VirtualController;

class LiveRobot : public QObject {
  Q_OBJECT
 public:
  static constexpr int kPaceMs = 20;             // how often the physics catches up
  static constexpr int kTrailEveryMs = 50;       // one trail point this often
  static constexpr std::size_t kTrailPoints = 2400;  // two minutes of trail
  static constexpr std::int64_t kSpeedWindowMs = 2000;

  struct Readout {
    double speed = 0;                         // m/s of the centre of mass, over the last seconds
    std::optional<double> bodyLengthsPerPeriod;  // once a period can be seen on the line
    std::optional<double> periodSeconds;
    double distance = 0;                      // m from where it started
    double headingDeg = 0;                    // the chain's direction, counter-clockwise from +x
    double seconds = 0;                       // simulated time since the last reset
  };

  // Drives `robot` (not null), loaded from `source`: "snake", "caterpillar"
  // or a model file. The controller must outlive this object.
  LiveRobot(VirtualController& controller, std::unique_ptr<Robot> robot, QString source, QObject* parent = nullptr);
  ~LiveRobot() override;

  // "snake", "caterpillar" or a model file. The robot in use stays when the
  // new one cannot be loaded; false with *error naming the model and the
  // reason then.
  bool load(const QString& robot, QString* error);
  // What the robot in use was loaded from.
  const QString& source() const { return source_; }
  // Back at rest at the origin, servos as the controller's channels are.
  void reset();

  const VirtualRobot& robot() const { return *robot_; }
  const std::deque<QPointF>& trail() const { return trail_; }
  Readout readout() const;

  // Time spent in the physics, for measurements.
  std::chrono::nanoseconds physicsTime() const { return physicsTime_; }

  // Brings the physics up to the controller's clock now.
  void catchUp();

 signals:
  // The robot was loaded or reset.
  void robotChanged();

 private:
  void onCommand(const DecodedCommand& command);
  void takeControllerState();
  void sample(std::int64_t simMs);

  VirtualController& controller_;
  std::unique_ptr<VirtualRobot> robot_;
  QString source_;
  QTimer pace_;
  std::int64_t originMs_ = 0;  // controller time of the last reset
  std::int64_t nextTrailMs_ = 0;
  std::deque<QPointF> trail_;
  QPointF start_;  // the centre of mass at rest
  struct ComSample {
    std::int64_t ms;
    double x, y;
  };
  std::deque<ComSample> com_;
  std::chrono::nanoseconds physicsTime_{0};
};

// The gait period as the line shows it: the time between upward crossings
// of a channel's mean angle, or nothing while no steady swing is seen.
std::optional<double> PeriodOnTheLine(const ControllerModel& model, std::int64_t nowMs);

}  // namespace gp::sim
