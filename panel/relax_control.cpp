#include "panel/relax_control.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMenuBar>
#include <QStringList>
#include <algorithm>

#include "gait/operator_sequence.h"
#include "link/serial_link.h"
#include "panel/status_line.h"

namespace gp {
namespace {

const QKeySequence kRelaxKey(Qt::CTRL | Qt::Key_Space);

const char* const kRelaxTip = "Drop every waiting position, stop the gait and disable all eight servos (Ctrl+Space)";

bool IsRelaxKey(const QEvent* event) {
  const auto* key = static_cast<const QKeyEvent*>(event);
  return QKeySequence(key->keyCombination()) == kRelaxKey;
}

}  // namespace

QString ModuleList(const std::vector<int>& modules) {
  QStringList names;
  for (int n : modules) names << QString::number(n);
  return names.join(QStringLiteral(", "));
}

RelaxControl::RelaxControl(SerialLink& link, GaitState& state, PanelHost& panel, QWidget* parent)
    : QToolButton(parent), link_(link), state_(state), panel_(panel) {
  SetUpStatusLineButton(*this, "RelaxButton", "Relax", kRelaxTip);
  setShortcut(kRelaxKey);
  connect(this, &QToolButton::clicked, this, [this] { press(); });
  qApp->installEventFilter(this);
}

RelaxControl::~RelaxControl() { qApp->removeEventFilter(this); }

void RelaxControl::press() {
  if (relaxed_) {
    resume();
  } else {
    relax();
  }
}

void RelaxControl::relax() {
  link_.DropQueuedPositions();
  Relax(state_, link_);
  marked_.clear();
  const ModuleTable& table = panel_.moduleTable();
  for (int n = kFirstModule; n <= kLastModule; ++n) {
    if (IsTrue(table.ServoEnabled[static_cast<std::size_t>(n)])) marked_.push_back(n);
  }
  relaxed_ = !marked_.empty();
  showState();
  panel_.tell(relaxed_ ? QStringLiteral("Relaxed: every servo disabled (SD00 to SD07); the boxes keep their ticks. "
                                        "Resume (Ctrl+Space) enables modules %1 again.")
                             .arg(ModuleList(marked_))
                       : QStringLiteral("Relaxed: every servo disabled (SD00 to SD07); no module is ticked."));
  emit relaxedChanged(marked_);
}

void RelaxControl::resume() {
  const bool was = relaxed_;
  Resume(panel_.moduleTable(), link_);
  relaxed_ = false;
  marked_.clear();
  showState();
  if (was) {
    std::vector<int> ticked;
    const ModuleTable& table = panel_.moduleTable();
    for (int n = kFirstModule; n <= kLastModule; ++n) {
      if (IsTrue(table.ServoEnabled[static_cast<std::size_t>(n)])) ticked.push_back(n);
    }
    panel_.tell(ticked.empty() ? QStringLiteral("Resumed: no module is ticked.")
                               : QStringLiteral("Resumed: modules %1 enabled again; \"Move\" sets the gait going.")
                                     .arg(ModuleList(ticked)));
  }
  emit relaxedChanged(marked_);
}

void RelaxControl::boxClicked(int row) {
  if (!relaxed_) return;
  const auto it = std::find(marked_.begin(), marked_.end(), row);
  if (it == marked_.end()) return;
  marked_.erase(it);
  relaxed_ = !marked_.empty();
  showState();
  emit relaxedChanged(marked_);
}

void RelaxControl::showState() {
  if (relaxed_) {
    setText(QStringLiteral("Resume (%1 off)").arg(ModuleList(marked_)));
    setToolTip(QStringLiteral("Modules %1 were relaxed and are off; enable them again (Ctrl+Space)")
                   .arg(ModuleList(marked_)));
    setStyleSheet(QStringLiteral("QToolButton { color: #c0392b; font-weight: bold; }"));
  } else {
    setText(QStringLiteral("Relax"));
    setToolTip(QString::fromLatin1(kRelaxTip));
    setStyleSheet(QString());
  }
  // A button's new text brings its own mnemonic as the shortcut, in place of ours.
  setShortcut(kRelaxKey);
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
