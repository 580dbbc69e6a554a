#pragma once
// "Relax" in the panel's status line: the emergency relief for a straining
// robot. Every position still waiting is dropped, the gait stops sending, and
// "SD00" to "SD07" follow the command already on its way, so the servos go
// limp within about one command's time. Kept out of the Tab order; Ctrl+Space
// presses it, except while a menu or a drop-down list holds the keyboard
// (they take Space to choose, and the key goes to them).
//
// Only the operator changes a check box, so the boxes keep their ticks while
// the servos are off. The control says so instead: while relaxed it reads
// "Resume" in the warning colour and names the modules it relaxed (those
// ticked when it was pressed). Pressing it then ("Resume") sends what
// ticking each ticked box sends; ticking or clearing a box clears that
// module's mark, as the box's own command has just told its servo.

#include <QToolButton>
#include <vector>

namespace gp {

struct GaitState;
class PanelHost;
class SerialLink;

class RelaxControl : public QToolButton {
  Q_OBJECT
 public:
  RelaxControl(SerialLink& link, GaitState& state, PanelHost& panel, QWidget* parent);
  ~RelaxControl() override;

  // What a press does: "Relax", or "Resume" while relaxed. A gamepad button
  // or another window's key calls this.
  void press();
  void relax();
  void resume();

  // Whether the ticked modules were relaxed and not yet resumed, and which.
  bool relaxed() const { return relaxed_; }
  const std::vector<int>& relaxedModules() const { return marked_; }

  // Box `row` was just ticked or cleared by the operator.
  void boxClicked(int row);

 signals:
  // Relaxed or resumed: the modules still relaxed (empty once none is).
  void relaxedChanged(const std::vector<int>& modules);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  bool menuHoldsKeys() const;
  void showState();

  SerialLink& link_;
  GaitState& state_;
  PanelHost& panel_;
  bool relaxed_ = false;
  std::vector<int> marked_;
};

// "1, 3, 5": modules for people.
QString ModuleList(const std::vector<int>& modules);

}  // namespace gp
