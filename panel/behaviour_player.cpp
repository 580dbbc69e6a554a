#include "panel/behaviour_player.h"

#include "panel/status_line.h"

namespace gp {
namespace {

// Often enough that a step ends within a tick or two of its time.
constexpr int kPollMs = 10;

}  // namespace

BehaviourPlayer::BehaviourPlayer(PanelHost& panel, QObject* parent) : QObject(parent), panel_(panel) {
  poll_.setInterval(kPollMs);
  poll_.setTimerType(Qt::PreciseTimer);
  connect(&poll_, &QTimer::timeout, this, [this] { poll(); });
}

void BehaviourPlayer::play(const files::Behaviour& behaviour) {
  behaviour_ = behaviour;
  playing_ = true;
  moved_ = panel_.gaitMoving();
  clock_.start();
  lastNs_ = 0;
  enter(0);
  poll_.start();
}

void BehaviourPlayer::stop(const QString& why) {
  if (!playing_) return;
  playing_ = false;
  poll_.stop();
  panel_.tell(QStringLiteral("Behaviour \"%1\" %2.").arg(behaviour_.name, why));
  emit ended(why);
}

void BehaviourPlayer::enter(int step) {
  step_ = step;
  stepRun_ = 0;
  const files::BehaviourStep& s = behaviour_.steps[static_cast<std::size_t>(step)];
  const double saved = panel_.blendSeconds();
  panel_.setBlendSeconds(s.blendS);
  panel_.enterGait(s.gait);
  panel_.setBlendSeconds(saved);
  panel_.tell(QStringLiteral("Behaviour \"%1\": step %2 of %3, %4 for %5 s%6.")
                  .arg(behaviour_.name)
                  .arg(step + 1)
                  .arg(behaviour_.steps.size())
                  .arg(s.gait.name)
                  .arg(s.seconds, 0, 'f', 1)
                  .arg(moved_ || panel_.gaitMoving() ? QString() : QStringLiteral("; press Move to begin")));
  emit stepBegun(step);
}

void BehaviourPlayer::poll() {
  const qint64 now = clock_.nsecsElapsed();
  const double dt = static_cast<double>(now - lastNs_) / 1e9;
  lastNs_ = now;
  if (!panel_.gaitMoving()) {
    if (moved_) stop(QStringLiteral("stopped: the gait no longer moves"));
    return;
  }
  moved_ = true;
  stepRun_ += dt;
  if (stepRun_ < behaviour_.steps[static_cast<std::size_t>(step_)].seconds) return;
  const int next = step_ + 1;
  if (next < static_cast<int>(behaviour_.steps.size())) {
    enter(next);
  } else if (behaviour_.repeat) {
    enter(0);
  } else {
    stop(QStringLiteral("done"));
  }
}

}  // namespace gp
