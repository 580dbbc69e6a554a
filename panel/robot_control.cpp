#include "panel/robot_control.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QSettings>
#include <QStringList>

#include "files/robot_profile.h"
#include "gait/gait_driver.h"
#include "panel/port_memory.h"
#include "panel/status_line.h"
#include "ui/message_box.h"

namespace gp {
namespace {

const char* const kKey = "robot/profile";

QString Degrees(double value) { return QString::number(value, 'g', 6); }

QString ModuleNames(const std::vector<int>& modules) {
  QStringList names;
  for (int n : modules) names << QString::number(n);
  return names.join(QStringLiteral(", "));
}

}  // namespace

QString RememberedProfile() { return PanelSettings().value(QLatin1String(kKey)).toString(); }

void RememberProfile(const QString& path) { StoreSetting(QLatin1String(kKey), path); }

RobotControl::RobotControl(GaitDriver& driver, PanelHost& panel, QWidget* parent)
    : QToolButton(parent), driver_(driver), panel_(panel) {
  SetUpStatusLineButton(*this, "RobotButton", "Robot: none",
                        "The robot profile: each servo's limits, trim and direction (Ctrl+Shift+R)");
  setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_R));
  setPopupMode(QToolButton::InstantPopup);
  menu_ = new QMenu(this);
  menu_->setObjectName(QStringLiteral("RobotMenu"));
  setMenu(menu_);
  connect(menu_, &QMenu::aboutToShow, this, [this] { fillMenu(); });
  connect(this, &QToolButton::clicked, this, &QToolButton::showMenu);
}

// The panel's driver goes before its status line: nothing of it is touched here.
RobotControl::~RobotControl() = default;

void RobotControl::fillMenu() {
  menu_->clear();
  menu_->addAction(QStringLiteral("Open robot profile..."), this, [this] {
    QString folder;
    for (const QString& f : files::RobotProfileFolders()) {
      if (QDir(f).exists()) folder = f;
    }
    const QString path = QFileDialog::getOpenFileName(window(), QStringLiteral("Open robot profile"), folder,
                                                      QStringLiteral("Robot profiles (*.json);;All files (*)"));
    if (!path.isEmpty()) openProfile(path);
  })->setObjectName(QStringLiteral("OpenRobotProfile"));
  menu_->addAction(QStringLiteral("Set up the robot..."), this, [this] { panel_.showRobotSetup(); })
      ->setObjectName(QStringLiteral("SetUpRobot"));
  QAction* none = menu_->addAction(QStringLiteral("No profile"), this, [this] { clearProfile(); });
  none->setObjectName(QStringLiteral("NoProfile"));
  // Also while a remembered profile is missing: choosing none forgets it.
  none->setEnabled(applier_.has_value() || !RememberedProfile().isEmpty());
}

bool RobotControl::openRemembered() {
  const QString last = RememberedProfile();
  if (last.isEmpty()) return false;
  if (QFileInfo(last).isFile()) return openProfile(last);
  // Kept, not forgotten: a profile on a stick that is not plugged in comes
  // back with it. Meanwhile the person must know the servos have no limits.
  ShowCritical(window(), QStringLiteral("The robot profile %1 opened last time is gone: the panel runs without its "
                                        "limits until you open it again or choose No profile.")
                             .arg(QDir::toNativeSeparators(last)));
  return false;
}

bool RobotControl::openProfile(const QString& path) {
  RobotProfile profile;
  QString error;
  if (!files::ReadRobotProfile(path, &profile, &error)) {
    ShowCritical(window(), error);
    return false;
  }
  useProfile(profile, path);
  RememberProfile(QDir(path).absolutePath());
  return true;
}

void RobotControl::useProfile(const RobotProfile& profile, const QString& path) {
  driver_.setProfile(nullptr);
  applier_.emplace(profile, [this](int module, double limit) {
    // The whole set, so that the line names what the robot view and the
    // channel table mark.
    const std::vector<int>& all = applier_->clipped();
    panel_.tell(QStringLiteral("Clipped at a limit since Move: module%1 %2 (module %3 at %4 degrees)")
                    .arg(all.size() == 1 ? QString() : QStringLiteral("s"), ModuleNames(all))
                    .arg(module)
                    .arg(Degrees(limit)));
  });
  applier_->setClipsChanged([this](const std::vector<int>& modules) { emit clippedChanged(modules); });
  emit clippedChanged({});
  path_ = path;
  driver_.setProfile(&*applier_);
  showName();
}

void RobotControl::clearProfile() {
  driver_.setProfile(nullptr);
  applier_.reset();
  emit clippedChanged({});
  path_.clear();
  RememberProfile(QString());
  showName();
}

void RobotControl::showName() {
  emit profileChanged(applier_ ? &applier_->profile() : nullptr);
  setText(applier_ ? QStringLiteral("Robot: %1").arg(QString::fromStdString(applier_->profile().name))
                   : QStringLiteral("Robot: none"));
  // A button's new text brings its own mnemonic as the shortcut, in place of ours.
  setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_R));
  if (applier_) setToolTip(QDir::toNativeSeparators(path_) + QStringLiteral(" (Ctrl+Shift+R)"));
}

}  // namespace gp
