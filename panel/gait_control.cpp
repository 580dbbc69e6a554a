#include "panel/gait_control.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QMenu>

#include "files/shared_files.h"
#include "ui/message_box.h"
#include "panel/status_line.h"

namespace gp {
namespace {

QString ModuleList(const files::Gait& gait) {
  QStringList numbers;
  for (int n = kFirstModule; n <= kLastModule; ++n) {
    if (gait.modules[static_cast<std::size_t>(n - kFirstModule)].enabled) numbers << QString::number(n);
  }
  if (numbers.isEmpty()) return QStringLiteral("enables no module");
  return QStringLiteral("enables module%1 %2 (tick %3 to move)")
      .arg(numbers.size() == 1 ? QString() : QStringLiteral("s"), numbers.join(QStringLiteral(", ")),
           numbers.size() == 1 ? QStringLiteral("it") : QStringLiteral("them"));
}

}  // namespace

GaitControl::GaitControl(PanelHost& panel, QWidget* parent)
    : QToolButton(parent), panel_(panel), player_(panel, this) {
  SetUpStatusLineButton(*this, "GaitButton", "Gait", "Open, save or choose a gait (Ctrl+G)");
  setShortcut(QKeySequence(Qt::CTRL | Qt::Key_G));
  setPopupMode(QToolButton::InstantPopup);
  menu_ = new QMenu(this);
  menu_->setObjectName(QStringLiteral("GaitMenu"));
  setMenu(menu_);
  connect(menu_, &QMenu::aboutToShow, this, [this] { fillMenu(); });
  // The shortcut's animated press already pops the menu up, and the click
  // that ends it a moment later must not: a second pop-up of the open menu
  // would outlive the choice made in it and swallow the next click.
}

void GaitControl::fillMenu() {
  menu_->clear();
  menu_->addAction(QStringLiteral("Open gait..."), this, [this] {
    const QString path = QFileDialog::getOpenFileName(window(), QStringLiteral("Open gait"), QString(),
                                                      QStringLiteral("Gait files (*.json);;All files (*)"));
    if (!path.isEmpty()) openGait(path);
  })->setObjectName(QStringLiteral("OpenGait"));
  menu_->addAction(QStringLiteral("Save gait..."), this, [this] {
    QString path = QFileDialog::getSaveFileName(window(), QStringLiteral("Save gait"), QString(),
                                                QStringLiteral("Gait files (*.json)"));
    if (path.isEmpty()) return;
    if (QFileInfo(path).suffix().isEmpty()) path += QStringLiteral(".json");
    saveGait(path);
  })->setObjectName(QStringLiteral("SaveGait"));
  if (search_.run) {
    menu_->addAction(QStringLiteral("Search for a better gait..."), this, [this] { showSearch(); })
        ->setObjectName(QStringLiteral("SearchGait"));
  }
  menu_->addAction(QStringLiteral("Play behaviour..."), this, [this] {
    const QString path = QFileDialog::getOpenFileName(window(), QStringLiteral("Play behaviour"),
                                                      files::SharedFolder(QStringLiteral("behaviours")),
                                                      QStringLiteral("Behaviour files (*.json);;All files (*)"));
    if (!path.isEmpty()) playBehaviour(path);
  })->setObjectName(QStringLiteral("PlayBehaviour"));
  menu_->addAction(QStringLiteral("Blend time: %1 s...").arg(panel_.blendSeconds(), 0, 'f', 1), this, [this] {
    bool ok = false;
    const double seconds = QInputDialog::getDouble(
        window(), QStringLiteral("Blend time"),
        QStringLiteral("Seconds a gait opened while the robot moves takes to come in\n"
                       "(longer where a servo would otherwise move faster than its limit):"),
        panel_.blendSeconds(), 0, kMaxBlendS, 1, &ok);
    if (ok) panel_.setBlendSeconds(seconds);
  })->setObjectName(QStringLiteral("BlendTime"));
  QAction* hold = menu_->addAction(QStringLiteral("Gamepad: hold the right shoulder button to drive"), this,
                                   [this](bool on) { panel_.setHoldToDrive(on); });
  hold->setObjectName(QStringLiteral("HoldToDrive"));
  hold->setCheckable(true);
  hold->setChecked(panel_.holdToDrive());
  hold->setToolTip(QStringLiteral("The stick steers and A moves only while the button is held; letting go pauses"));
  menu_->addSeparator();

  // Read afresh each time, so that a preset added meanwhile shows.
  for (const QString& folder : files::PresetFolders()) {
    const QDir dir(folder);
    for (const QString& file : dir.entryList({QStringLiteral("*.json")}, QDir::Files, QDir::Name)) {
      if (file.endsWith(QLatin1String(".schema.json"))) continue;
      files::Gait gait;
      QString error;
      const QString path = dir.filePath(file);
      if (!files::ReadGaitFile(path, &gait, &error)) {
        QAction* broken = menu_->addAction(file + QStringLiteral(" (cannot be used)"));
        broken->setEnabled(false);
        broken->setToolTip(error);
        continue;
      }
      QAction* action = menu_->addAction(gait.name.isEmpty() ? file : gait.name, this,
                                         [this, gait, path] { applyGait(gait, path); });
      action->setObjectName(QStringLiteral("Preset:") + file);
      action->setToolTip(gait.notes);
    }
  }
  menu_->setToolTipsVisible(true);
}

void GaitControl::applyGait(const files::Gait& gait, const QString& source) {
  // A gait the person opens takes over from a behaviour.
  player_.stop(QStringLiteral("stopped: another gait was opened"));
  panel_.enterGait(gait);
  panel_.tell(QStringLiteral("Gait \"%1\" from %2, every %3 ms; it %4.")
                  .arg(gait.name, QFileInfo(source).fileName())
                  .arg(gait.intervalMs)
                  .arg(ModuleList(gait)));
}

bool GaitControl::openGait(const QString& path) {
  files::Gait gait;
  QString error;
  if (!files::ReadGaitFile(path, &gait, &error)) {
    ShowCritical(window(), error);
    return false;
  }
  applyGait(gait, path);
  return true;
}

files::Gait GaitControl::currentGait() const {
  files::Gait gait;
  const ModuleTable& table = panel_.moduleTable();
  for (int n = kFirstModule; n <= kLastModule; ++n) {
    files::GaitModule& m = gait.modules[static_cast<std::size_t>(n - kFirstModule)];
    m.amplitude = table.Amp[n];
    m.phase = table.Phase[n];
    m.centre = table.InitAngle[n];
    m.enabled = IsTrue(table.ServoEnabled[n]);
  }
  gait.intervalMs = panel_.gaitIntervalMs();
  return gait;
}

bool GaitControl::playBehaviour(const QString& path) {
  files::Behaviour behaviour;
  QString error;
  if (!files::ReadBehaviourFile(path, &behaviour, &error)) {
    ShowCritical(window(), error);
    return false;
  }
  player_.stop(QStringLiteral("stopped: another behaviour began"));
  player_.play(behaviour);
  return true;
}

void GaitControl::setSearch(GaitSearch search) { search_ = std::move(search); }

SearchDialog* GaitControl::showSearch() {
  if (searchDialog_.isNull()) {
    files::Gait start = currentGait();
    searchDialog_ = new SearchDialog(search_, start, window(), panel_.robotProfile());
    searchDialog_->setAttribute(Qt::WA_DeleteOnClose);
    connect(searchDialog_, &SearchDialog::openGait, this, [this](const files::Gait& gait) {
      applyGait(gait, QStringLiteral("the search"));
    });
  }
  searchDialog_->show();
  searchDialog_->raise();
  searchDialog_->activateWindow();
  return searchDialog_.data();
}

bool GaitControl::saveGait(const QString& path) {
  files::Gait gait = currentGait();
  gait.name = QFileInfo(path).completeBaseName();
  QString error;
  if (!files::WriteGaitFile(path, gait, &error)) {
    ShowCritical(window(), error);
    return false;
  }
  panel_.tell(QStringLiteral("Gait saved to %1.").arg(QDir::toNativeSeparators(path)));
  return true;
}

}  // namespace gp
