#include "panel/robot_setup.h"

#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "files/robot_profile.h"
#include "gait/waveform.h"
#include "link/serial_link.h"
#include "protocol/command_sink.h"
#include "protocol/protocol.h"

namespace gp {
namespace {

// The pulse conversion read backwards: 1500 us at 0 degrees, 2000 us per 180.
constexpr double kCentrePulse = 1500.0;

QString Deg(double v) { return QStringLiteral("%1%2\u00b0").arg(v > 0 ? QStringLiteral("+") : QString()).arg(v, 0, 'f', 1); }

// What a new robot starts from: every limit at 30 degrees either way, no trim.
RobotProfile NewProfile() {
  RobotProfile p;
  p.name = "New robot";
  for (ModuleProfile& m : p.modules) {
    m.min = -RobotSetup::kNewLimit;
    m.max = RobotSetup::kNewLimit;
  }
  return p;
}

// The limits reach the servo negated where reversed and with the trim added;
// both must stay within what a profile allows.
bool LimitsFit(const ModuleProfile& m) {
  const double low = (m.reversed ? -m.max : m.min) + m.trim;
  const double high = (m.reversed ? -m.min : m.max) + m.trim;
  return std::abs(low) <= kProfileAngleLimit && std::abs(high) <= kProfileAngleLimit;
}

}  // namespace

void Jog::halt() {
  target_ = at_;
  movingFor_ = 0;
}

std::optional<double> Jog::Step(double dt, double speed) {
  if (!moving()) {
    movingFor_ = 0;
    return std::nullopt;
  }
  movingFor_ += dt;
  // From a tenth of the speed to all of it over the soft start.
  const double scale = std::min(1.0, 0.1 + 0.9 * movingFor_ / kSoftStartS);
  const double reach = speed * scale * dt;
  at_ = *at_ + std::clamp(*target_ - *at_, -reach, reach);
  return at_;
}

RobotSetup::RobotSetup(SerialLink& link, const ModuleTable& table, const GaitState& state, const RobotProfile* opened,
                       std::function<bool(const QString&)> openProfile, QWidget* parent)
    : QWidget(parent, Qt::Window),
      link_(link),
      table_(table),
      state_(state),
      openProfile_(std::move(openProfile)),
      profile_(opened ? *opened : NewProfile()) {
  setObjectName(QStringLiteral("RobotSetup"));
  setWindowTitle(QStringLiteral("Set up the robot"));
  setAttribute(Qt::WA_QuitOnClose, false);
  auto* layout = new QVBoxLayout(this);
  auto* about = new QLabel(
      QStringLiteral("Tick a module's Enable box in the panel, then move its slider: the servo follows slowly, at most "
                     "its speed limit, and never past the limits shown. Stand it at its centre or at a bracket's stop "
                     "and take that angle. Relax (Ctrl+Space), Pause, Stop and Exit stop every jog."),
      this);
  about->setWordWrap(true);
  layout->addWidget(about);
  gaitNote_ = new QLabel(QStringLiteral("The gait is moving: press Pause or Stop in the panel to jog."), this);
  gaitNote_->setObjectName(QStringLiteral("SetupGaitNote"));
  gaitNote_->setStyleSheet(QStringLiteral("color: #c0392b; font-weight: bold;"));
  gaitNote_->hide();
  layout->addWidget(gaitNote_);

  auto* grid = new QGridLayout;
  for (int n = kFirstModule; n <= kLastModule; ++n) {
    Row& row = rows_[static_cast<std::size_t>(n - 1)];
    const int r = n - 1;
    grid->addWidget(new QLabel(QStringLiteral("Module %1").arg(n), this), r, 0);
    row.slider = new QSlider(Qt::Horizontal, this);
    row.slider->setObjectName(QStringLiteral("SetupSlider%1").arg(n));
    row.slider->setRange(static_cast<int>(-kProfileAngleLimit), static_cast<int>(kProfileAngleLimit));
    row.slider->setMinimumWidth(220);
    connect(row.slider, &QSlider::valueChanged, this, [this, n](int value) { jogTo(n, value); });
    grid->addWidget(row.slider, r, 1);
    row.angle = new QLabel(this);
    row.angle->setMinimumWidth(110);
    grid->addWidget(row.angle, r, 2);
    row.limits = new QLabel(this);
    row.limits->setMinimumWidth(
        row.limits->fontMetrics().horizontalAdvance(QStringLiteral("limits -90.0\u00b0 .. +90.0\u00b0, centre -90.0\u00b0")) + 8);
    grid->addWidget(row.limits, r, 3);
    const auto button = [&](const char* caption, int column, std::function<bool(int)> act) {
      auto* b = new QPushButton(QString::fromLatin1(caption), this);
      b->setObjectName(QStringLiteral("Setup%1%2").arg(QString::fromLatin1(caption).remove(QLatin1Char(' '))).arg(n));
      connect(b, &QPushButton::clicked, this, [act, n] { act(n); });
      grid->addWidget(b, r, column);
    };
    button("Set centre", 4, [this](int m) { return setCentre(m); });
    button("Set lower limit", 5, [this](int m) { return setLower(m); });
    button("Set upper limit", 6, [this](int m) { return setUpper(m); });
    row.reversed = new QCheckBox(QStringLiteral("Reversed"), this);
    row.reversed->setObjectName(QStringLiteral("SetupReversed%1").arg(n));
    row.reversed->setChecked(module(n).reversed);
    connect(row.reversed, &QCheckBox::clicked, this, [this, n](bool on) { setReversed(n, on); });
    grid->addWidget(row.reversed, r, 7);
  }
  layout->addLayout(grid);

  auto* buttons = new QHBoxLayout;
  auto* centre = new QPushButton(QStringLiteral("Centre all"), this);
  centre->setObjectName(QStringLiteral("SetupCentreAll"));
  connect(centre, &QPushButton::clicked, this, [this] { centreAll(); });
  auto* saveButton = new QPushButton(QStringLiteral("Save profile..."), this);
  saveButton->setObjectName(QStringLiteral("SetupSave"));
  connect(saveButton, &QPushButton::clicked, this, [this] {
    QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Save robot profile"), QString(),
                                                QStringLiteral("Robot profiles (*.json)"));
    if (path.isEmpty()) return;
    if (QFileInfo(path).suffix().isEmpty()) path += QStringLiteral(".json");
    save(path);
  });
  buttons->addWidget(centre);
  buttons->addStretch();
  buttons->addWidget(saveButton);
  layout->addLayout(buttons);
  message_ = new QLabel(this);
  message_->setObjectName(QStringLiteral("SetupMessage"));
  message_->setWordWrap(true);
  layout->addWidget(message_);

  for (int n = kFirstModule; n <= kLastModule; ++n) showRow(n);
  timer_.setInterval(kStepMs);
  timer_.setTimerType(Qt::PreciseTimer);
  connect(&timer_, &QTimer::timeout, this, [this] { step(); });
  timer_.start();
}

double RobotSetup::speed(int n) const {
  return profile_.module(n).maxSpeedDegS.value_or(Jog::kDefaultSpeed);
}

void RobotSetup::jogTo(int n, double angle) {
  if (gaitMoving_) return;
  const ModuleProfile& m = profile_.module(n);
  Jog& j = jog(n);
  if (!j.at()) {
    // From where the gait last put it, as far as the panel knows; else its centre.
    double from = 0;
    if (!table_.PulseHex[static_cast<std::size_t>(n)].empty()) {
      const double servo = (table_.PulseWidth[static_cast<std::size_t>(n)] - kCentrePulse) * 90.0 / 1000.0;
      from = std::clamp(m.reversed ? -(servo - m.trim) : servo - m.trim, m.min, m.max);
    }
    j.standAt(from);
  }
  j.setTarget(std::clamp(angle, m.min, m.max));
  showRow(n);
}

void RobotSetup::centreAll() {
  for (int n = kFirstModule; n <= kLastModule; ++n) {
    if (jog(n).at()) jogTo(n, 0);
  }
}

void RobotSetup::halt() {
  for (Jog& j : jogs_) j.halt();
  for (int n = kFirstModule; n <= kLastModule; ++n) showRow(n);
}

void RobotSetup::step() {
  const bool moving = IsTrue(state_.Running);
  if (moving != gaitMoving_) {
    gaitMoving_ = moving;
    if (moving) halt();  // the gait has the servos now
    gaitNote_->setVisible(moving);
    for (const Row& row : rows_) row.slider->setEnabled(!moving);
  }
  if (moving) return;
  for (int n = kFirstModule; n <= kLastModule; ++n) {
    const std::optional<double> a = jog(n).Step(kStepMs / 1000.0, speed(n));
    if (!a) continue;
    const auto pulse = AngleToPulse(ProfiledAngle(profile_.module(n), *a));
    if (!pulse) continue;
    const auto index = static_cast<std::int16_t>(n);
    SendServoCommand(link_, index, BuildPositionCommand(kPositionPrefix, index, PulseText(*pulse)));
    showRow(n);
  }
}

bool RobotSetup::setCentre(int n) {
  const std::optional<double> at = jog(n).at();
  if (!at) {
    showMessage(QStringLiteral("Module %1 has not been jogged yet: move its slider first.").arg(n));
    return false;
  }
  ModuleProfile m = module(n);
  m.trim = ProfiledAngle(m, *at);
  if (!LimitsFit(m)) {
    showMessage(QStringLiteral("Module %1: a centre at %2 would take its limits past 90 degrees; narrow them first.")
                    .arg(n)
                    .arg(Deg(m.trim)));
    return false;
  }
  module(n) = m;
  jog(n).standAt(0);
  jog(n).setTarget(0);
  showRow(n);
  showMessage(QStringLiteral("Module %1: centre (trim) %2.").arg(n).arg(Deg(m.trim)));
  return true;
}

bool RobotSetup::setLower(int n) {
  const std::optional<double> at = jog(n).at();
  if (!at) {
    showMessage(QStringLiteral("Module %1 has not been jogged yet: move its slider first.").arg(n));
    return false;
  }
  if (*at > 0) {
    showMessage(QStringLiteral("Module %1 stands at %2, above its centre: a lower limit lies at or below 0.")
                    .arg(n)
                    .arg(Deg(*at)));
    return false;
  }
  module(n).min = *at;
  showRow(n);
  showMessage(QStringLiteral("Module %1: lower limit %2.").arg(n).arg(Deg(*at)));
  return true;
}

bool RobotSetup::setUpper(int n) {
  const std::optional<double> at = jog(n).at();
  if (!at) {
    showMessage(QStringLiteral("Module %1 has not been jogged yet: move its slider first.").arg(n));
    return false;
  }
  if (*at < 0) {
    showMessage(QStringLiteral("Module %1 stands at %2, below its centre: an upper limit lies at or above 0.")
                    .arg(n)
                    .arg(Deg(*at)));
    return false;
  }
  module(n).max = *at;
  showRow(n);
  showMessage(QStringLiteral("Module %1: upper limit %2.").arg(n).arg(Deg(*at)));
  return true;
}

void RobotSetup::setReversed(int n, bool reversed) {
  ModuleProfile& m = module(n);
  if (m.reversed == reversed) return;
  // The servo stays where it stands: its angle and its limits change sign.
  m.reversed = reversed;
  std::swap(m.min, m.max);
  m.min = -m.min;
  m.max = -m.max;
  Jog& j = jog(n);
  if (j.at()) {
    j.standAt(-*j.at());
    j.setTarget(*j.at());
  }
  showRow(n);
}

bool RobotSetup::save(const QString& path) {
  QString error;
  if (!files::WriteRobotProfile(path, profile_, &error)) {
    showMessage(error);
    return false;
  }
  if (openProfile_ && !openProfile_(path)) {
    showMessage(QStringLiteral("Saved to %1, but the panel could not open it.").arg(QDir::toNativeSeparators(path)));
    return false;
  }
  showMessage(QStringLiteral("Saved to %1 and opened in the panel.").arg(QDir::toNativeSeparators(path)));
  return true;
}

bool RobotSetup::jogging() const {
  return std::any_of(jogs_.begin(), jogs_.end(), [](const Jog& j) { return j.moving(); });
}

QString RobotSetup::note() const { return message_->text(); }

void RobotSetup::showMessage(const QString& text) { message_->setText(text); }

void RobotSetup::showRow(int n) {
  Row& row = rows_[static_cast<std::size_t>(n - 1)];
  const ModuleProfile& m = profile_.module(n);
  const Jog& j = jogs_[static_cast<std::size_t>(n - 1)];
  row.angle->setText(j.at() ? QStringLiteral("stands at %1").arg(Deg(*j.at())) : QStringLiteral("not jogged yet"));
  row.limits->setText(QStringLiteral("limits %1 .. %2, centre %3").arg(Deg(m.min), Deg(m.max), Deg(m.trim)));
  row.reversed->setChecked(m.reversed);
  if (j.target()) {
    const QSignalBlocker quiet(row.slider);
    row.slider->setValue(static_cast<int>(std::lround(*j.target())));
  }
}

}  // namespace gp
