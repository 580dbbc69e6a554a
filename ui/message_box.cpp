#include "ui/message_box.h"

#include <QApplication>
#include <QMessageBox>
#include <QWidget>

#include "core/app_info.h"

namespace gp {
namespace {
CriticalBoxFn& Override() {
  static CriticalBoxFn fn;
  return fn;
}
int& OpenBoxes() {
  static int count = 0;
  return count;
}
}  // namespace

void ShowCritical(QWidget* parent, const QString& text) {
  struct Open {
    Open() { ++OpenBoxes(); }
    ~Open() { --OpenBoxes(); }
  } open;
  if (Override()) {
    Override()(parent, text);
    return;
  }
  QMessageBox::critical(parent, QString::fromUtf8(kAppTitle), text, QMessageBox::Ok);
}

CriticalBoxFn SetCriticalBoxForTesting(CriticalBoxFn fn) {
  CriticalBoxFn previous = std::move(Override());
  Override() = std::move(fn);
  return previous;
}

bool ModalBoxOpen() { return OpenBoxes() > 0 || QApplication::activeModalWidget() != nullptr; }

}  // namespace gp
