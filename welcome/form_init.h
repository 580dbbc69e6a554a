#pragma once
// The welcome window: the project's pictures, a short introduction, a
// user-name and password area and "Enter". Three seconds after it is created,
// or at once on "Enter", it hands over to the control panel and closes.
// Nothing typed into it is ever checked.

#include <QWidget>
#include <functional>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;

namespace gp {

class FormInit : public QWidget {
  Q_OBJECT
 public:
  // Returns the control panel, creating it (and so running its start-up,
  // which opens the port) if it does not exist yet. Called once at most.
  using PanelFactory = std::function<QWidget*()>;

  static constexpr int kHandOverMs = 3000;
  static constexpr int kClientWidth = 847;
  static constexpr int kClientHeight = 628;

  // The window deletes itself when it closes.
  explicit FormInit(PanelFactory panelFactory, QWidget* parent = nullptr);
  ~FormInit() override;

 private slots:
  void onTimer1();
  void onCommandEnterClicked();
  void onCombo1Activated(int index);

 private:
  void HandOver();

  PanelFactory panelFactory_;
  bool handedOver_ = false;
  QTimer* timer1_ = nullptr;
  QLabel* label1_ = nullptr;
  QLineEdit* textComboBox_ = nullptr;
  QComboBox* combo1_ = nullptr;
  QPushButton* commandEnter_ = nullptr;
};

}  // namespace gp
