#pragma once
// The control panel: the window from which the operator drives the chain of
// servo modules, with every control, the gait state, the two gait timers and
// the serial link to the servo controller.

#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <array>

#include "gait/gait_driver.h"
#include "gait/module_table.h"
#include "link/serial_link.h"
#include "panel/status_line.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QScrollBar;

namespace gp {

class DriveControl;
class PadControl;
class GaitControl;
class RecordControl;
class RelaxControl;
class RobotControl;

struct PanelOptions {
  QString port;       // the serial device standing in for port 1
  QString portLabel;  // if not empty, names the port in the status line
  // The program's own virtual controller, which reads every byte at once:
  // what is handed to it counts as taken.
  bool portReadsEverything = false;
};

class Form2 : public QMainWindow, public PanelHost {
  Q_OBJECT
 public:
  // Builds every control, then loads the panel: step counter 0, the port
  // opened, rows 1 to 8 loaded from the entry boxes, Running 0, both timers
  // started. Sends nothing.
  explicit Form2(PanelOptions options, QWidget* parent = nullptr);
  ~Form2() override;

  // Ends the program as "Exit" does, for a signal (Ctrl+C, a closed terminal,
  // a logout): a line that did not drain is reported on standard error, not
  // in a box that nobody may be there to close.
  void exitBySignal();

  ModuleTable& table() { return table_; }
  GaitState& state() { return state_; }
  SerialLink& link() { return link_; }
  GaitDriver& driver() { return driver_; }
  // The status line's "Gait" control (gait files and presets) and "Record".
  GaitControl& gaitControl() { return *gaitControl_; }
  RecordControl& recordControl() { return *recordControl_; }
  // "Robot: <name>": the robot profile the gait goes through.
  RobotControl& robotControl() { return *robotControl_; }
  // "Relax", which reads "Resume" while the ticked modules are relaxed.
  RelaxControl& relaxControl() { return *relaxControl_; }
  // "Drive": steering the gait by the keys.
  DriveControl& driveControl() { return *driveControl_; }
  // A gamepad steering through Drive and pressing the panel's buttons.
  PadControl& padControl() { return *padControl_; }

  // What the controls beside the panel may ask of it.
  void enterGait(const files::Gait& gait) override;
  double blendSeconds() const override { return blendS_; }
  void setBlendSeconds(double seconds) override;
  bool holdToDrive() const override;
  void setHoldToDrive(bool on) override;
  bool gaitMoving() const override { return IsTrue(state_.Running); }
  const ModuleTable& moduleTable() const override { return table_; }
  int gaitIntervalMs() const override;
  void tell(const QString& message) override;
  void tellFor(const QString& message, int ms) override;
  const RobotProfile* robotProfile() const override;
  bool showRobotSetup() override;
  // The status line's shortcuts (Gait, Record, Robot, Relax, the port) work
  // in `window` too, where a control of it has not taken the key.
  void offerShortcutsTo(QWidget* window);
  // The set-up window, once opened (nullptr before).
  class RobotSetup* robotSetup() const;

 signals:
  // "Exit" has sent its command, waited, drained and closed the port.
  void exited();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  // A close by the window's frame (or the window manager) ends the program
  // as "Exit" does: the servos are switched off, not left driven.
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  // Rows of entry boxes and check boxes on the form; rows 1 to 8 are the
  // modules, row 9 the ninth channel. Index 0 is unused.
  static constexpr int kRows = 9;
  template <typename T>
  using RowArray = std::array<T*, kRows + 1>;

  void buildControls();
  void buildModuleRows(QWidget* client);
  void buildSimulationFrame(QWidget* client);
  void buildControlFrame(QWidget* client);
  void buildButtons(QWidget* client);
  void buildMenu();
  void buildStatusLine();
  void setFocusOrder();
  void load();
  void offerPortChoice();
  void endProgram(bool bySignal);

  // Handlers, one per control, each family served by one member taking the row.
  void onAmpChanged(int row);
  void onPhaseChanged(int row);
  void onInitAngleChanged(int row);
  void onCheckClicked(int row);
  void onEnableAll();
  void onDisableAll();
  void onMove();
  void onPause();
  void onStop();
  void onExit();
  void onScrollChanged();
  void onTimerTextChanged();
  void onFunctionChosen();
  // After a box's own handling: a change the operator made is in force at once.
  void afterBoxChange(int row);
  // Writes what a blend the panel began has in force into the boxes.
  void showBlend();

  void refreshStatusLine();
  void showPendingMessage();
  bool menuHoldsEscape() const;

  PanelOptions options_;
  ModuleTable table_;
  GaitState state_;
  SerialLink link_;
  GaitDriver driver_;

  RowArray<QLineEdit> textAmp_{};
  RowArray<QLineEdit> textPhase_{};
  RowArray<QLineEdit> textInitAngle_{};
  RowArray<QCheckBox> check_{};

  QLabel* labelFunctions_ = nullptr;
  QComboBox* comboFunctions_ = nullptr;
  QLineEdit* timerText_ = nullptr;
  QScrollBar* hscrollTimer_ = nullptr;
  QPushButton* command7_ = nullptr;
  QPushButton* command8_ = nullptr;
  QPushButton* command9_ = nullptr;
  QPushButton* commandEnableAll_ = nullptr;
  QPushButton* commandDisableAll_ = nullptr;
  QPushButton* commandExit_ = nullptr;

  double blendS_ = kDefaultBlendS;
  bool writingBlend_ = false;  // the boxes are being given a blend's values
  std::array<bool, kRows + 1> blendRows_{};  // rows whose boxes follow a blend
  std::array<double, kRows + 1> shownPhase_{};
  files::Gait blendTarget_;

  StatusFigures* statusLine_ = nullptr;
  bool escapeForMenu_ = false;  // the Escape under way closes a menu or list
  bool ending_ = false;  // the program's end has begun: "SF" is on its way or gone
  QString pendingMessage_;  // told before the panel was shown
  int pendingMessageMs_ = 0;
  GaitControl* gaitControl_ = nullptr;
  RecordControl* recordControl_ = nullptr;
  RobotControl* robotControl_ = nullptr;
  RelaxControl* relaxControl_ = nullptr;
  QPointer<class RobotSetup> robotSetup_;
  DriveControl* driveControl_ = nullptr;
  PadControl* padControl_ = nullptr;
  class PortControl* portControl_ = nullptr;
};

}  // namespace gp
