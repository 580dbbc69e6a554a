#pragma once
// The virtual servo controller's window: the chain of modules as it lies,
// every channel's state, the line and a plot of the recent angles. Redrawn at
// most kMaxFramesPerSecond, and only while something changes.

#include <QTimer>
#include <QWidget>
#include <chrono>
#include <cstdint>

namespace gp::sim {

class VirtualController;

class ControllerWindow : public QWidget {
  Q_OBJECT
 public:
  static constexpr int kMaxFramesPerSecond = 30;
  static constexpr int kPlotSeconds = 5;

  explicit ControllerWindow(VirtualController& controller, QWidget* parent = nullptr);
  ~ControllerWindow() override;

  VirtualController& controller() const { return controller_; }

  // Brings every view up to date now (tests and screenshots).
  void refresh();

  // For measurements: frames drawn and the time spent drawing them.
  std::uint64_t frames() const { return frames_; }
  std::chrono::nanoseconds paintTime() const { return paintTime_; }
  void addPaintTime(std::chrono::nanoseconds t) { paintTime_ += t; }

 private:
  static constexpr std::int64_t kTextIntervalMs = 200;
  void scheduleFrame();
  void drawFrame();

  VirtualController& controller_;
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
  std::chrono::nanoseconds paintTime_{0};
};

}  // namespace gp::sim
