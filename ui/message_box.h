#pragma once
// The panel's one way of telling a person about a failure: a modal box with
// the critical icon and a single OK button, captioned with the program's
// title. Tests install a double that records the messages instead.

#include <QString>
#include <functional>

class QWidget;

namespace gp {

using CriticalBoxFn = std::function<void(QWidget* parent, const QString& text)>;

// Shows the message and returns when the person has closed it.
void ShowCritical(QWidget* parent, const QString& text);

// Replaces the real box (nullptr restores it). Returns the previous double.
CriticalBoxFn SetCriticalBoxForTesting(CriticalBoxFn fn);

// True while a message box shown through ShowCritical is open, or while any
// other modal window of the application is: timer ticks then do nothing.
bool ModalBoxOpen();

}  // namespace gp
