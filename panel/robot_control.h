#pragma once
// "Robot: <name>" in the panel's status line: the robot profile the gait is
// sent through, opened from a file or none, remembered between runs. Kept out
// of the Tab order: Ctrl+Shift+R opens its menu. While a profile clips a
// module, the status line says so once per module and start of "Move".

#include <QString>
#include <QToolButton>
#include <optional>
#include <vector>

#include "gait/robot_profile.h"

class QMenu;

namespace gp {

class GaitDriver;
class PanelHost;

class RobotControl : public QToolButton {
  Q_OBJECT
 public:
  RobotControl(GaitDriver& driver, PanelHost& panel, QWidget* parent);
  ~RobotControl() override;

  // Reads and uses the profile; a file that cannot be used is shown in a
  // critical box and the profile in use stays. Remembered when taken.
  bool openProfile(const QString& path);
  // Opens the profile remembered from the last run, if any: one that is gone
  // or cannot be used is shown in a critical box, and the gait goes out
  // without a profile. True when it was opened.
  bool openRemembered();
  // Uses the profile as given (read already, from the command line).
  void useProfile(const RobotProfile& profile, const QString& path);
  // The gait goes out as it is; forgets the remembered profile.
  void clearProfile();

  const ProfileApplier* applier() const { return applier_ ? &*applier_ : nullptr; }
  QString profilePath() const { return path_; }

 signals:
  // The profile in use changed: the new one, or nullptr for none.
  void profileChanged(const gp::RobotProfile* profile);
  // The modules clipped at a limit since the gait last started (empty at a
  // new start or profile): what the status line, the robot view and the
  // channel table show, from the pulses sent.
  void clippedChanged(const std::vector<int>& modules);

 private:
  void fillMenu();
  void showName();

  GaitDriver& driver_;
  PanelHost& panel_;
  QMenu* menu_ = nullptr;
  std::optional<ProfileApplier> applier_;
  QString path_;
};

// The profile file opened last, or an empty text.
QString RememberedProfile();
void RememberProfile(const QString& path);

}  // namespace gp
