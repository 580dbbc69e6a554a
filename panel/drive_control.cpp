#include "panel/drive_control.h"

#include <QAbstractItemView>
#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QTextEdit>
#include <algorithm>
#include <cmath>

#include "panel/status_line.h"

namespace gp {
namespace {

// The windows whose keys steer: the panel's and the virtual controller's.
bool SteersFrom(const QWidget* window, const QWidget* panel) {
  return window != nullptr && (window == panel || window->objectName() == QLatin1String("ControllerWindow"));
}

// Widgets that take the arrows (and letters) themselves.
bool HoldsKeys(const QWidget* w) {
  return qobject_cast<const QLineEdit*>(w) || qobject_cast<const QAbstractItemView*>(w) ||
         qobject_cast<const QAbstractSlider*>(w) || qobject_cast<const QComboBox*>(w) ||
         qobject_cast<const QAbstractSpinBox*>(w) || qobject_cast<const QTextEdit*>(w) ||
         qobject_cast<const QPlainTextEdit*>(w);
}

double Stepped(double v, double by) { return std::clamp(std::round((v + by) * 100) / 100, -1.0, 1.0); }

}  // namespace

QString DriveText(const Steering& s) {
  const int speed = static_cast<int>(std::lround(s.speed * 100));
  const int turn = static_cast<int>(std::lround(std::abs(TurnOffsetDeg(s.turn))));
  const int amplitude = static_cast<int>(std::lround(AmplitudeScale(s.amplitude) * 100));
  const QString turnText = turn == 0 ? QStringLiteral("straight")
                                     : QStringLiteral("turn %1 %2°").arg(s.turn > 0 ? QStringLiteral("left")
                                                                                  : QStringLiteral("right"))
                                           .arg(turn);
  return QStringLiteral("Drive: speed %1%%2, %3, amplitude %4%")
      .arg(speed)
      .arg(speed < 0 ? QStringLiteral(" (back)") : QString())
      .arg(turnText)
      .arg(amplitude);
}

DriveControl::DriveControl(LiveGait& live, const ModuleTable& table, QWidget* parent)
    : QToolButton(parent), live_(live), table_(table) {
  SetUpStatusLineButton(*this, "DriveButton", "Drive",
                        "Steer the gait: arrow keys or W, A, S, D; Q and E the amplitude; or a gamepad (Ctrl+D)");
  setCheckable(true);
  setShortcut(QKeySequence(Qt::CTRL | Qt::Key_D));
  connect(this, &QToolButton::toggled, this, [this](bool on) {
    if (on != driving()) setDriving(on);
  });
  qApp->installEventFilter(this);
}

DriveControl::~DriveControl() { qApp->removeEventFilter(this); }

void DriveControl::setDriving(bool on) {
  live_.SetDriving(on, table_);
  // Driving starts from standing: the robot goes only where it is sent.
  if (on) live_.Steer({0, 0, 1}, blendS_);
  if (isChecked() != on) setChecked(on);
  emit changed();
}

void DriveControl::steer(Steering asked) {
  if (!driving()) return;
  const Steering before = live_.asked();
  live_.Steer(asked, blendS_);
  if (!(live_.asked() == before)) emit changed();
}

void DriveControl::setPadName(const QString& name) {
  padName_ = name;
  emit changed();
}

QString DriveControl::statusText() const {
  const QString pad = padName_.isEmpty() ? QString() : QStringLiteral("Gamepad: ") + padName_;
  if (!driving()) return pad;
  QString text = DriveText(live_.asked());
  if (!pad.isEmpty()) text += QStringLiteral("    ") + pad;
  return text;
}

bool DriveControl::takesKey(const QKeyEvent& key) const {
  if (!driving() || key.modifiers() != Qt::NoModifier) return false;
  switch (key.key()) {
    case Qt::Key_Up: case Qt::Key_Down: case Qt::Key_Left: case Qt::Key_Right:
    case Qt::Key_W: case Qt::Key_A: case Qt::Key_S: case Qt::Key_D: case Qt::Key_Q: case Qt::Key_E: break;
    default: return false;
  }
  if (QApplication::activePopupWidget() != nullptr || QApplication::activeModalWidget() != nullptr) return false;
  if (const auto* bar = window()->findChild<QMenuBar*>(); bar && bar->activeAction()) return false;
  if (!SteersFrom(QApplication::activeWindow(), window())) return false;
  return !HoldsKeys(QApplication::focusWidget());
}

bool DriveControl::eventFilter(QObject* watched, QEvent* event) {
  // The filter sees a key once per widget it passes through; only its first
  // stop, the widget with the focus (or the window), counts.
  if (event->type() == QEvent::KeyPress && watched->isWidgetType()) {
    auto* key = static_cast<QKeyEvent*>(event);
    QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : QApplication::activeWindow();
    if (watched == target && takesKey(*key)) {
      Steering s = live_.asked();
      switch (key->key()) {
        case Qt::Key_Up: case Qt::Key_W: s.speed = Stepped(s.speed, kKeyStep); break;
        case Qt::Key_Down: case Qt::Key_S: s.speed = Stepped(s.speed, -kKeyStep); break;
        case Qt::Key_Left: case Qt::Key_A: s.turn = Stepped(s.turn, kKeyStep); break;
        case Qt::Key_Right: case Qt::Key_D: s.turn = Stepped(s.turn, -kKeyStep); break;
        // The amplitude input runs from 0 (half the base's) to 1.
        case Qt::Key_Q: s.amplitude = std::max(0.0, Stepped(s.amplitude, -kKeyStep)); break;
        default: s.amplitude = Stepped(s.amplitude, kKeyStep); break;
      }
      steer(s);
      return true;
    }
  }
  return QToolButton::eventFilter(watched, event);
}

}  // namespace gp
