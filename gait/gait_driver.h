#pragma once
// The gait's two timers: Timer1, the gait clock, and Timer2, the position
// refresh, both precise and at kDesignIntervalMs at first, ticking from
// start() until the panel closes the link for good.

#include <QObject>
#include <QElapsedTimer>
#include <QTimer>
#include <functional>

#include "gait/gait_tick.h"

namespace gp {

class GaitDriver : public QObject {
  Q_OBJECT
 public:
  // Decides whether a modal box is open; ticks then do nothing at all.
  using ModalCheck = std::function<bool()>;

  // The window the gait runs in hands it its "Error" box and tells it when a
  // modal box is open.
  GaitDriver(ModuleTable& table, GaitState& state, CommandSink& sink, ErrorBox errorBox, ModalCheck modalOpen,
             QObject* parent = nullptr);

  // Starts both timers. While the panel runs nothing stops them: Running
  // alone decides whether a tick moves the robot.
  void start();

  QTimer& timer1() { return timer1_; }
  const QTimer& timer1() const { return timer1_; }
  QTimer& timer2() { return timer2_; }

  // The robot profile the gait is sent through, or none (nullptr): the gait
  // as it is. The driver does not own it; it tells it the time of each tick.
  // Its speed limits are also what a change of gait keeps each servo to.
  void setProfile(ProfileApplier* profile);
  ProfileApplier* profile() const { return profile_; }

  // Blends from one gait to the next and steers the gait; it shapes nothing
  // until it is asked to.
  LiveGait& live() { return live_; }

 public slots:
  void onTimer1();
  void onTimer2();

 private:
  bool mustIdle() const;

  ModuleTable& table_;
  GaitState& state_;
  CommandSink& sink_;
  QTimer timer1_;
  QTimer timer2_;
  ErrorBox errorBox_;
  ModalCheck modalOpen_;
  bool inTick_ = false;
  ProfileApplier* profile_ = nullptr;
  LiveGait live_;
  QElapsedTimer clock_;
};

}  // namespace gp
