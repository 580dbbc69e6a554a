#include "panel/gait_control.h"

#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QScrollBar>
#include <QStatusBar>
#include <QTimer>
#include <QToolButton>

#include "core/app_info.h"
#include "ui/message_box.h"
#include "panel/form2.h"

namespace gp {
namespace {

constexpr int kMessageMs = 20000;

// A number as a person would type it into a box; ParseNumber reads it back
// to the same double.
QString BoxText(double value) { return QString::number(value, 'g', QLocale::FloatingPointShortest); }

QString ModuleList(const files::Gait& gait) {
  QStringList numbers;
  for (int n = 1; n <= kModules; ++n) {
    if (gait.modules[static_cast<std::size_t>(n - 1)].enabled) numbers << QString::number(n);
  }
  if (numbers.isEmpty()) return QStringLiteral("enables no module");
  return QStringLiteral("enables module%1 %2 (tick %3 to move)")
      .arg(numbers.size() == 1 ? QString() : QStringLiteral("s"), numbers.join(QStringLiteral(", ")),
           numbers.size() == 1 ? QStringLiteral("it") : QStringLiteral("them"));
}

QToolButton* MakeButton(QWidget* parent, const char* name, const char* caption, const char* tip) {
  auto* button = new QToolButton(parent);
  button->setObjectName(QString::fromLatin1(name));
  button->setText(QString::fromLatin1(caption));
  button->setToolTip(QString::fromLatin1(tip));
  button->setAutoRaise(true);
  // Beside the described window: never part of its Tab order.
  button->setFocusPolicy(Qt::NoFocus);
  return button;
}

}  // namespace

GaitControl::GaitControl(Form2& form, QWidget* parent) : QWidget(parent), form_(form) {
  setObjectName(QStringLiteral("GaitControl"));
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(2);

  gaitButton_ = MakeButton(this, "GaitButton", "Gait", "Open, save or choose a gait (Ctrl+G)");
  gaitButton_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_G));
  gaitButton_->setPopupMode(QToolButton::InstantPopup);
  menu_ = new QMenu(gaitButton_);
  menu_->setObjectName(QStringLiteral("GaitMenu"));
  gaitButton_->setMenu(menu_);
  connect(menu_, &QMenu::aboutToShow, this, [this] { fillMenu(); });
  // A shortcut clicks the button, which for an instant pop-up does not open it.
  connect(gaitButton_, &QToolButton::clicked, gaitButton_, &QToolButton::showMenu);
  layout->addWidget(gaitButton_);

  recordButton_ = MakeButton(this, "RecordButton", "Record",
                             "Record every command as it goes to the port to a file (Ctrl+R)");
  recordButton_->setCheckable(true);
  // Plain to see from across the bench while a recording runs.
  recordButton_->setStyleSheet(QStringLiteral("QToolButton:checked { color: #c00000; font-weight: bold; }"));
  recordButton_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_R));
  connect(recordButton_, &QToolButton::toggled, this, [this](bool on) { onRecordToggled(on); });
  layout->addWidget(recordButton_);

  connect(&form_.link(), &SerialLink::commandHandedOver, &recorder_,
          [this](const QByteArray& bytes, qint64 atNs) { recorder_.add(std::chrono::nanoseconds(atNs), bytes); });
  connect(&recorder_, &files::RecordingWriter::failed, this, [this](const QString& message) {
    setRecordChecked(false);
    tell(message);
  });
}

GaitControl::~GaitControl() {
  // The panel is going: what is held is written, and nothing answers any more.
  recorder_.disconnect(this);
  recorder_.stop();
}

void GaitControl::fillMenu() {
  menu_->clear();
  menu_->addAction(QStringLiteral("Open gait..."), this, [this] {
    const QString path = QFileDialog::getOpenFileName(&form_, QStringLiteral("Open gait"), QString(),
                                                      QStringLiteral("Gait files (*.json);;All files (*)"));
    if (!path.isEmpty()) openGait(path);
  })->setObjectName(QStringLiteral("OpenGait"));
  menu_->addAction(QStringLiteral("Save gait..."), this, [this] {
    QString path = QFileDialog::getSaveFileName(&form_, QStringLiteral("Save gait"), QString(),
                                                QStringLiteral("Gait files (*.json)"));
    if (path.isEmpty()) return;
    if (QFileInfo(path).suffix().isEmpty()) path += QStringLiteral(".json");
    saveGait(path);
  })->setObjectName(QStringLiteral("SaveGait"));
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
  static constexpr const char* kColumns[] = {"Text_Amp", "Text_Phase", "Text_initangle"};
  for (int n = 1; n <= kModules; ++n) {
    const files::GaitModule& m = gait.modules[static_cast<std::size_t>(n - 1)];
    const double values[] = {m.amplitude, m.phase, m.centre};
    for (int c = 0; c < 3; ++c) {
      auto* box = form_.findChild<QLineEdit*>(QLatin1String(kColumns[c]) + QString::number(n));
      if (box) box->setText(BoxText(values[c]));  // raises the box's own change handling
    }
  }
  if (auto* timerText = form_.findChild<QLineEdit*>(QStringLiteral("TimerText"))) {
    timerText->setText(QString::number(gait.intervalMs));
  }
  tell(QStringLiteral("Gait \"%1\" from %2, every %3 ms; it %4.")
           .arg(gait.name, QFileInfo(source).fileName())
           .arg(gait.intervalMs)
           .arg(ModuleList(gait)));
}

bool GaitControl::openGait(const QString& path) {
  files::Gait gait;
  QString error;
  if (!files::ReadGaitFile(path, &gait, &error)) {
    ShowCritical(&form_, error);
    return false;
  }
  applyGait(gait, path);
  return true;
}

files::Gait GaitControl::currentGait() const {
  files::Gait gait;
  const ModuleTable& table = form_.table();
  for (int n = 1; n <= kModules; ++n) {
    files::GaitModule& m = gait.modules[static_cast<std::size_t>(n - 1)];
    m.amplitude = table.Amp[n];
    m.phase = table.Phase[n];
    m.centre = table.InitAngle[n];
    m.enabled = IsTrue(table.ServoEnabled[n]);
  }
  gait.intervalMs = form_.driver().timer1().interval();
  return gait;
}

bool GaitControl::saveGait(const QString& path) {
  files::Gait gait = currentGait();
  gait.name = QFileInfo(path).completeBaseName();
  QString error;
  if (!files::WriteGaitFile(path, gait, &error)) {
    ShowCritical(&form_, error);
    return false;
  }
  tell(QStringLiteral("Gait saved to %1.").arg(QDir::toNativeSeparators(path)));
  return true;
}

bool GaitControl::startRecording(const QString& path) {
  QString error;
  const QString program = QStringLiteral("%1 %2").arg(QLatin1String(kAppName), QLatin1String(kAppVersion));
  if (!recorder_.start(path, program, form_.link().deviceName(), SerialLink::Now(), &error)) {
    setRecordChecked(false);
    ShowCritical(&form_, error);
    return false;
  }
  setRecordChecked(true);
  tell(QStringLiteral("Recording every command sent to %1.").arg(QDir::toNativeSeparators(path)));
  return true;
}

void GaitControl::stopRecording() {
  if (!recorder_.isRecording()) return;
  const QString path = QDir::toNativeSeparators(recorder_.path());
  // A failing last write reports itself through failed().
  if (recorder_.stop()) tell(QStringLiteral("Recorded %1 commands to %2.").arg(recorder_.commands()).arg(path));
  setRecordChecked(false);
}

void GaitControl::onRecordToggled(bool on) {
  if (on == recorder_.isRecording()) return;
  if (!on) {
    stopRecording();
    return;
  }
  const QString suggested = QDir::home().filePath(
      QStringLiteral("gaitpanel-%1.rec").arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"))));
  const QString path = QFileDialog::getSaveFileName(&form_, QStringLiteral("Record to"), suggested,
                                                    QStringLiteral("Recordings (*.rec);;All files (*)"));
  if (path.isEmpty()) {
    setRecordChecked(false);
    return;
  }
  startRecording(path);
}

void GaitControl::setRecordChecked(bool on) {
  const QSignalBlocker block(recordButton_);
  recordButton_->setChecked(on);
}

// Over the link's figures for a while; they come back by themselves. The
// status bar hides its other widgets only once they are visible, so a message
// told before the panel is shown waits for it.
void GaitControl::tell(const QString& message) {
  pendingMessage_ = message;
  if (isVisible()) showPending();
}

void GaitControl::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  QTimer::singleShot(0, this, [this] { showPending(); });
}

void GaitControl::showPending() {
  if (pendingMessage_.isEmpty()) return;
  form_.statusBar()->showMessage(pendingMessage_, kMessageMs);
  pendingMessage_.clear();
}

}  // namespace gp
