#pragma once
// "Relax" in the panel's status line: the emergency relief for a straining
// robot. Every position still waiting is dropped, the gait stops sending, and
// "SD00" to "SD07" follow the command already on its way, so the servos go
// limp within about one command's time. Kept out of the Tab order; Ctrl+Space
// presses it, except while a menu or a drop-down list holds the keyboard
// (they take Space to choose, and the key goes to them).

#include <QToolButton>

namespace gp {

struct GaitState;
class PanelHost;
class SerialLink;

class RelaxControl : public QToolButton {
  Q_OBJECT
 public:
  RelaxControl(SerialLink& link, GaitState& state, PanelHost& panel, QWidget* parent);
  ~RelaxControl() override;

  void relax();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  bool menuHoldsKeys() const;

  SerialLink& link_;
  GaitState& state_;
  PanelHost& panel_;
};

}  // namespace gp
