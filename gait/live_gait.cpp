#include "gait/live_gait.h"

#include <algorithm>
#include <cmath>

#include "gait/waveform.h"

namespace gp {
namespace {

constexpr double kDegPerStep = 360.0 / kStepsPerPeriod;
constexpr double kRadPerDeg = kGaitPi / 180.0;

double Clamped(double v, double lo, double hi, double neutral) {
  return std::isnan(v) ? neutral : std::clamp(v, lo, hi);
}

double Lerp(double a, double b, double s) { return a + (b - a) * s; }

bool SameSwing(const ModuleSwing& a, const ModuleSwing& b) { return a.swing == b.swing && a.centre == b.centre; }

}  // namespace

Steering ClampSteering(Steering s) {
  return {Clamped(s.speed, -1, 1, 1), Clamped(s.turn, -1, 1, 0), Clamped(s.amplitude, 0, 1, 1)};
}

double TurnOffsetDeg(double turn) { return -kMaxTurnDeg * turn; }

double AmplitudeScale(double amplitude) { return 0.5 + 0.5 * amplitude; }

std::array<double, kModules> ChangeSpeedLimits(const RobotProfile* profile) {
  std::array<double, kModules> limits{};
  limits.fill(kDefaultChangeSpeedDegS);
  if (!profile) return limits;
  for (int n = kFirstModule; n <= kLastModule; ++n) {
    if (const auto& speed = profile->module(n).maxSpeedDegS) limits[static_cast<std::size_t>(n - 1)] = *speed;
  }
  return limits;
}

ModuleSwing SwingOf(const ModuleTable& table, int n) {
  // As the waveform has it: below 10 (every negative amplitude included) no swing.
  const double amp = table.Amp[n] < 10 ? 0.0 : table.Amp[n];
  const double phase = table.Phase[n] * kRadPerDeg;
  ModuleSwing m;
  if (amp != 0 && std::isfinite(phase)) m.swing = std::polar(amp, phase);
  m.centre = table.InitAngle[n];
  return m;
}

Swings SwingsOf(const ModuleTable& table) {
  Swings s{};
  for (int n = kFirstModule; n <= kLastModule; ++n) s[static_cast<std::size_t>(n - 1)] = SwingOf(table, n);
  return s;
}

BoxValues BoxValuesOf(const ModuleSwing& m, double nearPhase) {
  BoxValues v;
  v.amplitude = std::abs(m.swing);
  v.centre = m.centre;
  v.phase = nearPhase;
  if (v.amplitude > 1e-9) {
    const double phase = std::arg(m.swing) / kRadPerDeg;
    v.phase = phase + 360.0 * std::round((nearPhase - phase) / 360.0);
  }
  return v;
}

LiveGait::LiveGait() { limits_.fill(kDefaultChangeSpeedDegS); }

void LiveGait::setSpeedLimits(const std::array<double, kModules>& degS) {
  for (std::size_t i = 0; i < limits_.size(); ++i)
    limits_[i] = degS[i] > 0 && std::isfinite(degS[i]) ? degS[i] : kDefaultChangeSpeedDegS;
}

bool LiveGait::active() const { return shaping_; }

bool LiveGait::blending(int n) const {
  const auto i = static_cast<std::size_t>(n - 1);
  return baseT_ > 0 && !SameSwing(baseFrom_[i], baseTo_[i]);
}

void LiveGait::BlendTo(const ModuleTable& current, const ModuleTable& target, double blendS) {
  if (!shaping_) {
    base_ = SwingsOf(current);
    shaping_ = true;
  }
  baseTo_ = SwingsOf(target);
  blendS_ = blendS;
  PlanBase(blendS);
}

void LiveGait::TakeRow(const ModuleTable& table, int n) {
  if (!shaping_) return;
  const auto i = static_cast<std::size_t>(n - 1);
  base_[i] = baseFrom_[i] = baseTo_[i] = SwingOf(table, n);
}

void LiveGait::SetDriving(bool on, const ModuleTable& table) {
  if (on && !shaping_) {
    base_ = baseFrom_ = baseTo_ = SwingsOf(table);
    baseT_ = 0;
    shaping_ = true;
  }
  driving_ = on;
  if (!on) {
    asked_ = Steering{};
    PlanSteering(blendS_);
  }
}

void LiveGait::Steer(Steering asked, double blendS) {
  if (!driving_) return;
  asked_ = ClampSteering(asked);
  blendS_ = blendS;
  PlanSteering(blendS);
}

// How long a move takes: the blend time, or longer where the servo would move
// faster than its limit because of the change alone.
void LiveGait::PlanBase(double blendS) {
  baseFrom_ = base_;
  baseDone_ = 0;
  baseT_ = 0;
  const double scale = std::max(AmplitudeScale(steer_.amplitude), AmplitudeScale(asked_.amplitude));
  double length = 0;
  bool moves = false;
  for (std::size_t i = 0; i < base_.size(); ++i) {
    if (SameSwing(baseFrom_[i], baseTo_[i])) continue;
    moves = true;
    const double cost = scale * std::abs(baseTo_[i].swing - baseFrom_[i].swing) +
                        std::abs(baseTo_[i].centre - baseFrom_[i].centre);
    length = std::max(length, cost / limits_[i]);
  }
  if (moves) baseT_ = std::max({length, blendS, 1e-9});
}

void LiveGait::PlanSteering(double blendS) {
  steerFrom_ = steer_;
  steerDone_ = 0;
  steerT_ = 0;
  if (steer_ == asked_) return;
  const double dScale = std::abs(AmplitudeScale(asked_.amplitude) - AmplitudeScale(steer_.amplitude));
  const double dTurn = std::abs(TurnOffsetDeg(asked_.turn) - TurnOffsetDeg(steer_.turn));
  double length = 0;
  for (std::size_t i = 0; i < base_.size(); ++i) {
    const double swing = std::max(std::abs(base_[i].swing), std::abs(baseTo_[i].swing));
    length = std::max(length, (swing * dScale + dTurn) / limits_[i]);
  }
  steerT_ = std::max({length, blendS, 1e-9});
}

void LiveGait::Fold(const ModuleTable& table) {
  // The wave's lead becomes part of every swing, so that the step counter
  // alone times the wave again; the swings then come back to the table's.
  const std::complex<double> turn = std::polar(1.0, wave_ * kRadPerDeg);
  for (ModuleSwing& m : base_) m.swing *= turn;
  wave_ = 0;
  if (baseT_ == 0) baseTo_ = SwingsOf(table);
  PlanBase(blendS_);
}

void LiveGait::Tick(const ModuleTable& table, bool running) {
  double dt = 0;
  if (!running || !wasRunning_) {
    // Nothing moves while the gait does not: what is asked is in force at once.
    if (baseT_ > 0) base_ = baseTo_;
    steer_ = asked_;
    baseT_ = steerT_ = 0;
  } else {
    dt = std::max(0.0, now_ - lastNow_);
  }
  wasRunning_ = running;
  lastNow_ = now_;
  if (!shaping_) return;

  if (dt > 0 && (baseT_ > 0 || steerT_ > 0)) {
    double db = baseT_ > 0 ? std::min(dt, baseT_ - baseDone_) : 0;
    double ds = steerT_ > 0 ? std::min(dt, steerT_ - steerDone_) : 0;
    // Where a change of base and of steering overlap, each within the limit
    // alone, both are slowed so that together they keep to it.
    const double fb = baseT_ > 0 ? db / baseT_ : 0;
    const double fs = steerT_ > 0 ? ds / steerT_ : 0;
    const double scale = std::max(AmplitudeScale(steerFrom_.amplitude), AmplitudeScale(asked_.amplitude));
    const double dScale = std::abs(AmplitudeScale(asked_.amplitude) - AmplitudeScale(steerFrom_.amplitude));
    const double dTurn = std::abs(TurnOffsetDeg(asked_.turn) - TurnOffsetDeg(steerFrom_.turn));
    double slow = 1;
    for (std::size_t i = 0; i < base_.size(); ++i) {
      const double swing = std::max(std::abs(baseFrom_[i].swing), std::abs(baseTo_[i].swing));
      const double cost = fb * (scale * std::abs(baseTo_[i].swing - baseFrom_[i].swing) +
                                std::abs(baseTo_[i].centre - baseFrom_[i].centre)) +
                          fs * (std::max(swing, std::abs(base_[i].swing)) * dScale + dTurn);
      if (cost > limits_[i] * dt) slow = std::min(slow, limits_[i] * dt / cost);
    }
    db *= slow;
    ds *= slow;
    if (baseT_ > 0) {
      baseDone_ += db;
      if (baseDone_ >= baseT_ * (1 - 1e-12)) {
        base_ = baseTo_;
        baseT_ = 0;
      } else {
        const double s = baseDone_ / baseT_;
        for (std::size_t i = 0; i < base_.size(); ++i) {
          base_[i].swing = baseFrom_[i].swing + (baseTo_[i].swing - baseFrom_[i].swing) * s;
          base_[i].centre = Lerp(baseFrom_[i].centre, baseTo_[i].centre, s);
        }
      }
    }
    if (steerT_ > 0) {
      steerDone_ += ds;
      if (steerDone_ >= steerT_ * (1 - 1e-12)) {
        steer_ = asked_;
        steerT_ = 0;
      } else {
        const double s = steerDone_ / steerT_;
        steer_ = {Lerp(steerFrom_.speed, asked_.speed, s), Lerp(steerFrom_.turn, asked_.turn, s),
                  Lerp(steerFrom_.amplitude, asked_.amplitude, s)};
      }
    }
  }
  // The wave runs at the speed in force: a step of the counter is a step of
  // the base gait's wave.
  if (running) wave_ = std::fmod(wave_ + (steer_.speed - 1) * kDegPerStep, 360.0);

  if (!driving_ && steerT_ == 0) {
    if (wave_ != 0) Fold(table);
    // Only once the table holds what is in force: until the panel has written
    // a blend's last values into its boxes, the table may lag behind.
    if (baseT_ == 0 && wave_ == 0) {
      const Swings table_swings = SwingsOf(table);
      shaping_ = !std::equal(base_.begin(), base_.end(), table_swings.begin(), SameSwing);
    }
  }
}

std::complex<double> LiveGait::InForce(int n) const {
  return AmplitudeScale(steer_.amplitude) * base_[static_cast<std::size_t>(n - 1)].swing;
}

double LiveGait::Angle(int n, std::int16_t step) const {
  const double wave = 2.0 * step * kGaitPi / kStepsPerPeriod + wave_ * kRadPerDeg;
  const std::complex<double> swing = InForce(n);
  return Centre(n) + swing.real() * std::sin(wave) + swing.imag() * std::cos(wave);
}

double LiveGait::Centre(int n) const {
  return base_[static_cast<std::size_t>(n - 1)].centre + TurnOffsetDeg(steer_.turn);
}

}  // namespace gp
