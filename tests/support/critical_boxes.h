#pragma once
// Records the messages the program would show in its critical box, instead
// of showing them, for as long as it lives; the box that was there before
// comes back when it goes, also when a test fails half-way.

#include <QString>
#include <QStringList>
#include <functional>

#include "ui/message_box.h"

namespace gp::testing {

class CriticalBoxes {
 public:
  CriticalBoxes()
      : previous_(SetCriticalBoxForTesting([this](QWidget*, const QString& text) {
          texts << text;
          if (onShown) onShown(text);
        })) {}
  ~CriticalBoxes() { SetCriticalBoxForTesting(previous_); }
  CriticalBoxes(const CriticalBoxes&) = delete;
  CriticalBoxes& operator=(const CriticalBoxes&) = delete;

  QStringList texts;  // every message, in order
  // Called for each message as it is shown, after it is recorded.
  std::function<void(const QString& text)> onShown;

 private:
  CriticalBoxFn previous_;
};

}  // namespace gp::testing
