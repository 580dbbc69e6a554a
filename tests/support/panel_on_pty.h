#pragma once
// The control panel on a fresh pseudo-terminal line, the set-up most panel
// tests share: the panel opens the slave as it opens a serial device, and the
// test reads what reaches the line at the master.

#include <QApplication>
#include <QTest>
#include <QWidget>
#include <memory>

#include "panel/form2.h"
#include "tests/support/pty_pair.h"

namespace gp::testing {

// Shows a window and makes it the active one, also on a display without a
// window manager. False if it never became so.
inline bool ShowActive(QWidget* window) {
  window->show();
  if (!QTest::qWaitForWindowExposed(window)) return false;
  window->activateWindow();
  QApplication::setActiveWindow(window);
  return QTest::qWaitForWindowActive(window);
}

class PanelOnPty {
 public:
  // The panel as the command line would start it on the line's own path.
  PanelOnPty() : form_(std::make_unique<Form2>(PanelOptions{wire_.slavePath(), QString()})) {}

  // The line is there and the panel has it open.
  bool ok() const { return wire_.ok() && form_->link().isOpen(); }
  PtyPair& wire() { return wire_; }
  Form2& form() { return *form_; }
  bool showActive() { return ShowActive(form_.get()); }
  // The panel gone (and every window it owns), the line still there.
  void closePanel() { form_.reset(); }
  // A new panel on the same line, not yet shown; the old one goes first, so
  // the port is the new panel's alone.
  Form2& reopen() {
    form_.reset();
    form_ = std::make_unique<Form2>(PanelOptions{wire_.slavePath(), QString()});
    return *form_;
  }

 private:
  PtyPair wire_;  // first in, last out: the line outlives the panel on it
  std::unique_ptr<Form2> form_;
};

}  // namespace gp::testing
