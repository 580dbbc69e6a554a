#pragma once
// The virtual servo controller's window: the robot the servos move on its
// floor, the chain of modules as the controller was told to bend it, every
// channel's state, the line and a plot of the recent angles, each a view of
// its own. Redrawn at most kMaxFramesPerSecond, and only while
// something changes.

#include <QTimer>
#include <QWidget>
#include <cstdint>

namespace gp::sim {

class LiveRobot;
class RobotView;
class VirtualController;

class ControllerWindow : public QWidget {
  Q_OBJECT
 public:
  static constexpr int kMaxFramesPerSecond = 30;

  // Shows the controller and the robot behind it; both must outlive it.
  ControllerWindow(VirtualController& controller, LiveRobot& robot, QWidget* parent = nullptr);
  ~ControllerWindow() override;

  VirtualController& controller() const { return controller_; }
  LiveRobot& liveRobot() const { return robot_; }
  RobotView& robotView() const { return *robotView_; }

  // Brings every view up to date now (tests and screenshots).
  void refresh();

  // Frames asked for since the window was made.
  std::uint64_t frames() const { return frames_; }

 private:
  static constexpr std::int64_t kTextIntervalMs = 200;
  void scheduleFrame();
  void drawFrame();

  VirtualController& controller_;
  LiveRobot& robot_;
  RobotView* robotView_ = nullptr;
  QWidget* chain_ = nullptr;
  QWidget* table_ = nullptr;
  QWidget* line_ = nullptr;
  QWidget* plot_ = nullptr;
  QTimer frameTimer_;
  QTimer idleTimer_;
  std::int64_t lastFrameMs_ = -1000;
  std::int64_t lastTextMs_ = -1000;
  std::int64_t lastDataMs_ = -100000;
  std::uint64_t frames_ = 0;
};

}  // namespace gp::sim
