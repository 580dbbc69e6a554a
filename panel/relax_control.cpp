#include "panel/relax_control.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMenuBar>

#include "gait/operator_sequence.h"
#include "link/serial_link.h"
#include "panel/status_line.h"

namespace gp {
namespace {

const QKeySequence kRelaxKey(Qt::CTRL | Qt::Key_Space);

bool IsRelaxKey(const QEvent* event) {
  const auto* key = static_cast<const QKeyEvent*>(event);
  return QKeySequence(key->keyCombination()) == kRelaxKey;
}

}  // namespace

RelaxControl::RelaxControl(SerialLink& link, GaitState& state, PanelHost& panel, QWidget* parent)
    : QToolButton(parent), link_(link), state_(state), panel_(panel) {
  SetUpStatusLineButton(*this, "RelaxButton", "Relax",
                        "Drop every waiting position, stop the gait and disable all eight servos (Ctrl+Space)");
  setShortcut(kRelaxKey);
  connect(this, &QToolButton::clicked, this, [this] { relax(); });
  qApp->installEventFilter(this);
}

RelaxControl::~RelaxControl() { qApp->removeEventFilter(this); }

void RelaxControl::relax() {
  link_.DropQueuedPositions();
  Relax(state_, link_);
  panel_.tell(QStringLiteral("Relaxed: every servo disabled (SD00 to SD07); tick the modules again to move them."));
}

bool RelaxControl::menuHoldsKeys() const {
  if (QApplication::activePopupWidget() != nullptr) return true;
  const auto* bar = window()->findChild<QMenuBar*>();
  return bar != nullptr && bar->activeAction() != nullptr;
}

bool RelaxControl::eventFilter(QObject* watched, QEvent* event) {
  // Accepting the override hands the key to the menu or list, as if there
  // were no shortcut.
  if (event->type() == QEvent::ShortcutOverride && IsRelaxKey(event) && menuHoldsKeys()) event->accept();
  return QToolButton::eventFilter(watched, event);
}

}  // namespace gp
