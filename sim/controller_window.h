#pragma once
// The virtual servo controller's window: the robot the servos move on its
// floor, the chain of modules as the controller was told to bend it, every
// channel's state, the line and a plot of the recent angles, each a view of
// its own. Redrawn at most kMaxFramesPerSecond, and only while
// something changes. A splitter shares the height between the robot, the
// chain and the numbers below, which scroll when the window is small; it
// fits a 1366x768 screen and opens beside the panel, within the screen.

#include <QRect>
#include <QSize>
#include <QTimer>
#include <QWidget>
#include <cstdint>
#include <vector>

class QBoxLayout;
class QScrollArea;
class QSplitter;

namespace gp::sim {

// Where a window whose frame would like `wanted` (and needs at least
// `minimum`) goes beside `panel` (a frame too) within `available`: right of
// the panel, else left of it, wherever it fits whole at its minimum; else,
// where `over` is given (the part of the panel it may cover, from its top
// left corner; it may reach past the panel's right edge) and it fits there
// at its minimum, there; else on the side with more room, at the screen's
// edge, overlapping the panel as little as its minimum allows. Its top level
// with the panel's. The frame returned always lies within `available`.
QRect PlaceBeside(const QRect& panel, QSize wanted, QSize minimum, const QRect& available, int gap,
                  const QRect& over = QRect());

class LiveRobot;
class RobotView;
class VirtualController;

class ControllerWindow : public QWidget {
  Q_OBJECT
 public:
  // A wave of one period a second moves a module a tenth of its swing in a
  // frame at this rate: smooth to the eye. Drawing is half the window's
  // cost, and 30 frames a second took it past a tenth of a core.
  static constexpr int kMaxFramesPerSecond = 20;

  // Shows the controller and the robot behind it; both must outlive it.
  ControllerWindow(VirtualController& controller, LiveRobot& robot, QWidget* parent = nullptr);
  ~ControllerWindow() override;

  VirtualController& controller() const { return controller_; }
  LiveRobot& liveRobot() const { return robot_; }
  RobotView& robotView() const { return *robotView_; }

  // The modules the panel's robot profile clipped at a limit since the gait
  // last started: the robot view and the channel table mark the same set.
  void setClipped(const std::vector<int>& modules);
  const QWidget& channelTable() const { return *table_; }

  // Brings every view up to date now (tests and screenshots).
  void refresh();

  // Shows the window beside `panel` (or, without one, in the middle of the
  // main screen), within the available part of the panel's screen. Where
  // there is no room beside it, it goes over the panel's "Simulation" frame
  // (the fixed sketch) and above its "Control" frame, so that "Exit" and the
  // status line stay in sight.
  void showBeside(const QWidget* panel);
  // Moves and, if need be, shrinks the shown window so that its frame lies
  // within the available part of its screen.
  void keepOnScreen();

  // The views' splitter, and the area the table, the line and the plot
  // scroll in; the table and the line sit side by side where they fit.
  QSplitter& splitter() const { return *splitter_; }
  QScrollArea& numbersArea() const { return *scroll_; }
  bool numbersSideBySide() const;

  // Frames asked for since the window was made.
  std::uint64_t frames() const { return frames_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  static constexpr std::int64_t kTextIntervalMs = 200;
  void scheduleFrame();
  void drawFrame();
  void flowNumbers(int width);

  VirtualController& controller_;
  LiveRobot& robot_;
  RobotView* robotView_ = nullptr;
  QWidget* chain_ = nullptr;
  QWidget* table_ = nullptr;
  QWidget* line_ = nullptr;
  QWidget* plot_ = nullptr;
  QSplitter* splitter_ = nullptr;
  QScrollArea* scroll_ = nullptr;
  QBoxLayout* numbers_ = nullptr;
  QTimer frameTimer_;
  QTimer idleTimer_;
  std::int64_t lastFrameMs_ = -1000;
  std::int64_t lastTextMs_ = -1000;
  std::int64_t lastDataMs_ = -100000;
  std::uint64_t frames_ = 0;
};

}  // namespace gp::sim
