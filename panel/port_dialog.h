#pragma once
// The list of serial devices to choose the robot's from: at start, when the
// port cannot be opened ("Open" or "Continue without the robot"), and from
// the status line while the panel runs ("Open", "Reconnect", "Disconnect").

#include <QDialog>
#include <QString>
#include <functional>
#include <vector>

#include "link/port_catalogue.h"

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTimer;

namespace gp {

class PortDialog : public QDialog {
  Q_OBJECT
 public:
  enum class Kind { AtStart, WhileRunning };
  enum class Action { Open, Reconnect, Disconnect };
  // Carries out an action; returns an empty text when it succeeded (the
  // dialog then closes) or the reason it did not (shown in the dialog).
  using Handler = std::function<QString(Action action, const PortInfo& chosen)>;

  // message: the device and why it is not open, or what is open now.
  // current: the device in use or wanted, selected in the list.
  PortDialog(Kind kind, const QString& message, const QString& current, Handler handler, QWidget* parent = nullptr);

  QString message() const;
  // The devices offered, in list order.
  const std::vector<PortInfo>& ports() const { return ports_; }
  void selectPort(const QString& name);

 private:
  void refreshList();
  void act(Action action);

  Kind kind_;
  Handler handler_;
  QString current_;
  std::vector<PortInfo> ports_;
  QLabel* message_ = nullptr;
  QListWidget* list_ = nullptr;
  QLineEdit* name_ = nullptr;  // the device to open: the selected one's, or typed
  QPushButton* open_ = nullptr;
  QTimer* refresh_ = nullptr;
};

}  // namespace gp
