#include "gait/gait_driver.h"

namespace gp {

GaitDriver::GaitDriver(ModuleTable& table, GaitState& state, CommandSink& sink, ErrorBox errorBox,
                       ModalCheck modalOpen, QObject* parent)
    : QObject(parent),
      table_(table),
      state_(state),
      sink_(sink),
      timer1_(this),
      timer2_(this),
      errorBox_(std::move(errorBox)),
      modalOpen_(std::move(modalOpen)) {
  timer1_.setObjectName(QStringLiteral("Timer1"));
  timer2_.setObjectName(QStringLiteral("Timer2"));
  for (QTimer* t : {&timer1_, &timer2_}) {
    t->setTimerType(Qt::PreciseTimer);
    t->setInterval(kDesignIntervalMs);
  }
  clock_.start();
  connect(&timer1_, &QTimer::timeout, this, &GaitDriver::onTimer1);
  connect(&timer2_, &QTimer::timeout, this, &GaitDriver::onTimer2);
}

void GaitDriver::setProfile(ProfileApplier* profile) {
  profile_ = profile;
  live_.setSpeedLimits(ChangeSpeedLimits(profile ? &profile->profile() : nullptr));
}

void GaitDriver::start() {
  timer1_.start();
  timer2_.start();
}

// Qt delivers timer events inside a modal box's event loop. Ticks that fall
// due then (or while the gait's own "Error" box holds a tick) do nothing, so
// the gait neither steps nor sends nor opens a second box behind the first.
bool GaitDriver::mustIdle() const { return inTick_ || (modalOpen_ && modalOpen_()); }

void GaitDriver::onTimer1() {
  if (mustIdle()) return;
  inTick_ = true;
  const double now = static_cast<double>(clock_.nsecsElapsed()) / 1e9;
  if (profile_) profile_->setNow(now);
  live_.setNow(now);
  GaitTick(table_, state_, sink_, errorBox_, profile_, &live_);
  inTick_ = false;
}

void GaitDriver::onTimer2() {
  if (mustIdle()) return;
  PositionRefresh(table_, state_, sink_);
}

}  // namespace gp
