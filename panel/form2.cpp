#include "panel/form2.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QShortcut>
#include <QStatusBar>
#include <QTimer>
#include <QToolButton>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <utility>
#include <vector>

#include "core/conversions.h"
#include "gait/operator_sequence.h"
#include "ui/form_common.h"
#include "ui/message_box.h"
#include "protocol/command_sink.h"
#include "protocol/line_budget.h"
#include "protocol/protocol.h"
#include "panel/drive_control.h"
#include "panel/pad_control.h"
#include "panel/gait_control.h"
#include "panel/record_control.h"
#include "panel/relax_control.h"
#include "panel/robot_control.h"
#include "panel/robot_setup.h"
#include "panel/line_widget.h"
#include "panel/port_control.h"
#include "panel/port_dialog.h"
#include "panel/port_memory.h"

namespace gp {
namespace {

constexpr int kClientWidth = 13230;
constexpr int kClientHeight = 10980;

constexpr double kLargePoints = 13.5;
constexpr double kMediumPoints = 12.0;
constexpr double kSmallPoints = 9.75;
constexpr double kDefaultPoints = 8.25;

const char* const kTimerRangeMessage = "The timer should be between 1--1000";

constexpr int kMessageMs = 20000;  // a passing message, then the figures come back

// The font of every control that names none: the forms toolkit's standard
// face and size, which the twip layout was measured with. Set explicitly on
// the controls inside a frame, so that they do not inherit the frame's
// larger caption font.
QFont DefaultFont() { return FormFont(kDefaultPoints); }

double BoxNumber(const QLineEdit* box) { return ParseNumber(box->text().toStdString()); }

// A whole value that has no 16-bit form is held at the nearest 16-bit limit.
std::int16_t NearestInt16Clamped(double value) {
  if (const auto whole = NearestInt16(value)) return *whole;
  return value < 0 ? std::numeric_limits<std::int16_t>::min()
                   : std::numeric_limits<std::int16_t>::max();
}

// A number as a person would type it into a box; ParseNumber reads it back
// to the same double.
QString BoxText(double value) { return QString::number(value, 'g', QLocale::FloatingPointShortest); }

QString RowName(const char* stem, int row) { return QString::fromLatin1(stem) + QString::number(row); }

QLabel* MakeLabel(QWidget* parent, const QString& name, const QString& caption, const QRect& rect) {
  auto* label = new QLabel(caption, parent);
  label->setObjectName(name);
  label->setGeometry(rect);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  return label;
}

QLineEdit* MakeTextBox(QWidget* parent, const QString& name, const QString& text, const QRect& rect) {
  auto* box = new QLineEdit(text, parent);
  box->setObjectName(name);
  box->setGeometry(rect);
  box->setMaxLength(std::numeric_limits<int>::max());
  return box;
}

QPushButton* MakeButton(QWidget* parent, const char* name, const char* caption, const QRect& rect) {
  auto* button = new QPushButton(QString::fromLatin1(caption), parent);
  button->setObjectName(QString::fromLatin1(name));
  button->setGeometry(rect);
  // Enter, like the space bar, presses the focused button. Qt's buttons take
  // Enter only when they are (auto-)default buttons.
  button->setAutoDefault(true);
  return button;
}

}  // namespace

Form2::Form2(PanelOptions options, QWidget* parent)
    : QMainWindow(parent),
      options_(std::move(options)),
      driver_(
          table_, state_, link_,
          [this](const std::string& text) { ShowCritical(this, QString::fromStdString(text)); },
          [] { return ModalBoxOpen(); }, this) {
  // Sees the keys on their way to a menu or list of any window.
  qApp->installEventFilter(this);
  buildControls();
  SetSettingsFaultTeller([this](const QString& message) { tell(message); });
  load();
}

Form2::~Form2() {
  SetSettingsFaultTeller(nullptr);
  // The pad acts on the panel's controls; it goes before they do.
  delete padControl_;
  padControl_ = nullptr;
  // The link drains and closes as it goes; nothing of the panel may answer it then.
  link_.disconnect(this);
}

void Form2::buildControls() {
  InstallFormFontSubstitutes();
  setFont(DefaultFont());
  setObjectName(QStringLiteral("Form2"));
  setWindowTitle(QStringLiteral("Form2"));

  auto* client = new QWidget(this);
  client->setObjectName(QStringLiteral("ClientArea"));
  client->setFixedSize(Px(kClientWidth), Px(kClientHeight));
  setCentralWidget(client);

  QLabel* label10 = MakeLabel(client, QStringLiteral("Label10"), QStringLiteral("Snake and Caterpillar control GUI"),
                              TwipRect(120, 120, 6615, 495));
  label10->setFont(FormFont(kLargePoints));

  buildModuleRows(client);
  buildSimulationFrame(client);
  buildControlFrame(client);
  buildButtons(client);
  buildMenu();
  buildStatusLine();
  setFocusOrder();

  layout()->setSizeConstraint(QLayout::SetFixedSize);
  commandExit_->setFocus();
}

void Form2::buildModuleRows(QWidget* client) {
  for (int r = 1; r <= kRows; ++r) {
    const int top = 720 + 600 * (r - 1);
    const QString n = QString::number(r);
    const QString colon = r == 1 ? QStringLiteral(":") : QString();

    MakeLabel(client, RowName("Label_M", r), QStringLiteral("M ") + n, TwipRect(360, top, 615, 375))
        ->setFont(FormFont(kLargePoints));
    MakeLabel(client, RowName("Label_A", r), QStringLiteral("A") + n + colon, TwipRect(1080, top, 375, 375));
    textAmp_[r] = MakeTextBox(client, RowName("Text_Amp", r), QStringLiteral("90"), TwipRect(1440, top, 495, 375));
    MakeLabel(client, RowName("Label_P", r), QStringLiteral("P") + n + colon, TwipRect(2280, top, 375, 375));
    textPhase_[r] = MakeTextBox(client, RowName("Text_Phase", r), QStringLiteral("0"), TwipRect(2640, top, 615, 375));
    MakeLabel(client, RowName("Label_Init", r), QStringLiteral("Init-angle") + n + QStringLiteral(":"),
              TwipRect(3480, top, 975, 375))
        ->setFont(FormFont(kSmallPoints));
    textInitAngle_[r] =
        MakeTextBox(client, RowName("Text_initangle", r), QStringLiteral("0"), TwipRect(4560, top, 495, 375));

    check_[r] = new QCheckBox(QStringLiteral("Enable") + n, client);
    check_[r]->setObjectName(RowName("Check", r));
    check_[r]->setGeometry(TwipRect(5400, top, r == kNinthChannelRow ? 1335 : 975, 375));
    connect(check_[r], &QCheckBox::clicked, this, [this, r] { onCheckClicked(r); });

    // The ninth row of boxes is shown like the others but drives nothing.
    if (r <= kLastModule) {
      connect(textAmp_[r], &QLineEdit::textChanged, this, [this, r] {
        onAmpChanged(r);
        afterBoxChange(r);
      });
      connect(textPhase_[r], &QLineEdit::textChanged, this, [this, r] {
        onPhaseChanged(r);
        afterBoxChange(r);
      });
      connect(textInitAngle_[r], &QLineEdit::textChanged, this, [this, r] {
        onInitAngleChanged(r);
        afterBoxChange(r);
      });
    }
  }

  // Separators between neighbouring rows: {name, y, x from, x to}.
  struct Separator {
    const char* name;
    int y, x1, x2;
  };
  static constexpr Separator kSeparators[] = {
      {"Line1", 1200, 240, 6720}, {"Line2", 1800, 240, 6720}, {"Line4", 2400, 240, 6720},
      {"Line5", 3000, 240, 6720}, {"Line6", 3600, 240, 6720}, {"Line7", 4200, 240, 6720},
      {"Line8", 4800, 240, 6720}, {"Line3", 5400, 120, 6600},
  };
  for (const Separator& s : kSeparators) {
    auto* line = new LineWidget(Px(s.x1), Px(s.x2), Px(s.y), client);
    line->setObjectName(QString::fromLatin1(s.name));
  }
}

void Form2::buildSimulationFrame(QWidget* client) {
  auto* frame2 = new QGroupBox(QStringLiteral("Simulation"), client);
  frame2->setObjectName(QStringLiteral("Frame2"));
  frame2->setGeometry(TwipRect(6960, 600, 6135, 7095));
  frame2->setFont(FormFont(kLargePoints));

  // The fixed sketch of the module chain, elements 0 to 7: {y, x from, x to}.
  struct Segment {
    int y, x1, x2;
  };
  static constexpr Segment kSketch[] = {
      {1320, 600, 1200},  {1320, 1320, 1920}, {1320, 2040, 2640}, {1320, 2760, 3360},
      {1320, 3480, 4080}, {1320, 4200, 4800}, {1800, 1320, 1920}, {1800, 2040, 2640},
  };
  int index = 0;
  for (const Segment& s : kSketch) {
    auto* line = new LineWidget(Px(s.x1), Px(s.x2), Px(s.y), frame2);
    line->setObjectName(QStringLiteral("Line_M") + QString::number(index++));
  }
}

void Form2::buildControlFrame(QWidget* client) {
  auto* frame1 = new QGroupBox(QStringLiteral("Control"), client);
  frame1->setObjectName(QStringLiteral("Frame1"));
  frame1->setGeometry(TwipRect(240, 7800, 12975, 2055));
  frame1->setFont(FormFont(kLargePoints));

  labelFunctions_ = MakeLabel(frame1, QStringLiteral("Label_Functions"), QStringLiteral("Control Functions:"),
                              TwipRect(240, 480, 2655, 375));
  labelFunctions_->setFont(FormFont(kMediumPoints));

  comboFunctions_ = MakeListOnlyComboBox(frame1, QStringLiteral("Combo_Functions"));
  comboFunctions_->setFont(DefaultFont());
  for (const char* item : {"Y=sinX", "Y=lnX", "Y=eX"}) comboFunctions_->addItem(QString::fromLatin1(item), 0);
  comboFunctions_->setCurrentIndex(-1);
  comboFunctions_->setEditText(QStringLiteral("SinX"));
  comboFunctions_->setGeometry(Px(2760), Px(480), Px(1815), comboFunctions_->sizeHint().height());
  connect(comboFunctions_, &QComboBox::activated, this, [this] { onFunctionChosen(); });

  MakeLabel(frame1, QStringLiteral("Label_Timer"), QStringLiteral("Timer interval:"), TwipRect(5880, 360, 1575, 375))
      ->setFont(FormFont(kMediumPoints));

  timerText_ = MakeTextBox(frame1, QStringLiteral("TimerText"), QStringLiteral("1"), TwipRect(7560, 360, 1095, 375));
  timerText_->setFont(DefaultFont());
  connect(timerText_, &QLineEdit::textChanged, this, [this] { onTimerTextChanged(); });

  hscrollTimer_ = new QScrollBar(Qt::Horizontal, frame1);
  hscrollTimer_->setObjectName(QStringLiteral("HScroll_Timer"));
  hscrollTimer_->setGeometry(TwipRect(5880, 840, 2775, 255));
  hscrollTimer_->setRange(kMinIntervalMs, kMaxIntervalMs);
  hscrollTimer_->setValue(1);
  hscrollTimer_->setSingleStep(1);
  hscrollTimer_->setPageStep(10);
  // Act on the released thumb, not while it is dragged.
  hscrollTimer_->setTracking(false);
  // Qt's scroll bars take no keyboard focus by default; this one is in the
  // panel's focus order.
  hscrollTimer_->setFocusPolicy(Qt::StrongFocus);
  hscrollTimer_->installEventFilter(this);
  connect(hscrollTimer_, &QScrollBar::valueChanged, this, [this] { onScrollChanged(); });
}

void Form2::buildButtons(QWidget* client) {
  // Over the "Control" frame but controls of the window itself.
  command7_ = MakeButton(client, "Command7", "Move", TwipRect(360, 9120, 1455, 495));
  command8_ = MakeButton(client, "Command8", "Pause", TwipRect(2160, 9120, 1335, 495));
  command9_ = MakeButton(client, "Command9", "Stop", TwipRect(3720, 9120, 1335, 495));
  commandEnableAll_ = MakeButton(client, "Command_EnableAll", "Enable All", TwipRect(5520, 9120, 1095, 495));
  commandDisableAll_ = MakeButton(client, "Command_DisableAll", "Disable All", TwipRect(6840, 9120, 1095, 495));
  commandExit_ = MakeButton(client, "Command_Exit", "Exit", TwipRect(10800, 9240, 1815, 495));
  commandExit_->setFont(FormFont(kLargePoints));

  connect(command7_, &QPushButton::clicked, this, [this] { onMove(); });
  connect(command8_, &QPushButton::clicked, this, [this] { onPause(); });
  connect(command9_, &QPushButton::clicked, this, [this] { onStop(); });
  connect(commandEnableAll_, &QPushButton::clicked, this, [this] { onEnableAll(); });
  connect(commandDisableAll_, &QPushButton::clicked, this, [this] { onDisableAll(); });
  connect(commandExit_, &QPushButton::clicked, this, [this] { onExit(); });
}

void Form2::buildMenu() {
  // Every item carries its index as data. None of them does anything; only
  // "Control" opens its submenu.
  auto item = [this](const char* name, int index, const char* caption) {
    auto* action = new QAction(QString::fromLatin1(caption), this);
    action->setObjectName(QString::fromLatin1(name));
    action->setData(index);
    return action;
  };
  QMenuBar* bar = menuBar();
  bar->addAction(item("File", 1, "File"));
  bar->addAction(item("Edit", 2, "Edit"));
  bar->addAction(item("Simulation", 3, "Simulation"));

  auto* control = new QMenu(QStringLiteral("Control"), this);
  control->setObjectName(QStringLiteral("ControlMenu"));
  control->menuAction()->setObjectName(QStringLiteral("Control"));
  control->menuAction()->setData(4);
  control->addAction(item("Caterpillar", 7, "Caterpillar"));
  control->addAction(item("Snake", 8, "Snake"));
  control->addAction(item("Mutillegs", 9, "Multilegs"));
  control->addAction(item("Humanoid", 10, "Humanoid "));
  bar->addMenu(control);

  bar->addAction(item("Diagram", 5, "Diagram"));
  bar->addAction(item("Help", 6, "Help"));
}

void Form2::buildStatusLine() {
  portControl_ = new PortControl(link_, this);
  statusLine_ = new StatusFigures(this);
  statusLine_->setObjectName(QStringLiteral("StatusLine"));
  statusBar()->setObjectName(QStringLiteral("StatusBar"));
  statusBar()->setSizeGripEnabled(false);
  statusBar()->addWidget(portControl_);
  statusBar()->addWidget(statusLine_, 1);
  // The controls beside the panel, at the right.
  auto* beside = new QWidget(this);
  beside->setObjectName(QStringLiteral("BesideThePanel"));
  auto* row = new QHBoxLayout(beside);
  row->setContentsMargins(0, 0, 0, 0);
  row->setSpacing(2);
  gaitControl_ = new GaitControl(*this, beside);
  row->addWidget(gaitControl_);
  recordControl_ = new RecordControl(link_, *this, beside);
  row->addWidget(recordControl_);
  robotControl_ = new RobotControl(driver_, *this, beside);
  row->addWidget(robotControl_);
  relaxControl_ = new RelaxControl(link_, state_, *this, beside);
  row->addWidget(relaxControl_);
  driveControl_ = new DriveControl(driver_.live(), table_, beside);
  row->addWidget(driveControl_);
  connect(driveControl_, &DriveControl::changed, this, [this] { refreshStatusLine(); });
  PadControl::Panel pad;
  pad.moving = [this] { return IsTrue(state_.Running); };
  pad.move = [this] {
    if (command7_->isEnabled()) command7_->click();
  };
  // A safety pause must stop a moving gait even where "Pause" happens to be
  // greyed out.
  pad.pause = [this] {
    if (command8_->isEnabled()) {
      command8_->click();
    } else if (IsTrue(state_.Running)) {
      onPause();
    }
  };
  pad.relaxed = [this] { return relaxControl_->relaxed(); };
  pad.relaxOrResume = [this] { relaxControl_->press(); };
  pad.tell = [this](const QString& message, bool brief) { tellFor(message, brief ? kBriefMessageMs : kMessageMs); };
  padControl_ = new PadControl(*driveControl_, std::move(pad), this);
  statusBar()->addPermanentWidget(beside);
  // One row as low as its text: the described client area and the menu bar
  // above it leave a laptop's 768 pixels little more than that.
  const int rowHeight = statusLine_->fontMetrics().height() + 3;
  for (QToolButton* button : findChildren<QToolButton*>()) {
    if (button->parentWidget() == beside || button == portControl_) button->setFixedHeight(rowHeight);
  }
  statusBar()->setFixedHeight(rowHeight + 2);
  // The status bar hides these for a passing message only when they are
  // visible at that moment; a message that comes while the panel is still
  // being shown was drawn over them. Following the message itself keeps
  // the two apart whenever it comes.
  connect(statusBar(), &QStatusBar::messageChanged, this, [this](const QString& message) {
    portControl_->setVisible(message.isEmpty());
    statusLine_->setVisible(message.isEmpty());
  });
  // The link already paces countersChanged to a readable rate.
  connect(&link_, &SerialLink::countersChanged, this, [this] { refreshStatusLine(); });
  connect(&link_, &SerialLink::stateChanged, this, [this] { refreshStatusLine(); });
}

void Form2::setFocusOrder() {
  std::vector<QWidget*> order = {commandExit_,       textAmp_[2],   textPhase_[2], textAmp_[3], textPhase_[3],
                                 commandEnableAll_,  commandDisableAll_, command7_, command8_,  command9_,
                                 textAmp_[1],        textPhase_[1], check_[1],     check_[2],   check_[3],
                                 textInitAngle_[1],  textInitAngle_[2], textInitAngle_[3], textAmp_[4], textPhase_[4]};
  for (int r = 4; r <= 8; ++r) order.push_back(textInitAngle_[r]);
  for (int r = 5; r <= 8; ++r) order.push_back(textAmp_[r]);
  for (int r = 5; r <= 8; ++r) order.push_back(textPhase_[r]);
  for (int r = 4; r <= 8; ++r) order.push_back(check_[r]);
  for (QWidget* w : {static_cast<QWidget*>(comboFunctions_), static_cast<QWidget*>(hscrollTimer_),
                     static_cast<QWidget*>(timerText_), static_cast<QWidget*>(check_[9]),
                     static_cast<QWidget*>(textPhase_[9]), static_cast<QWidget*>(textAmp_[9]),
                     static_cast<QWidget*>(textInitAngle_[9])}) {
    order.push_back(w);
  }
  for (std::size_t i = 1; i < order.size(); ++i) QWidget::setTabOrder(order[i - 1], order[i]);
}

namespace {

bool IsPlainEscape(const QEvent* event) {
  const auto* key = static_cast<const QKeyEvent*>(event);
  return key->key() == Qt::Key_Escape && key->modifiers() == Qt::NoModifier;
}

}  // namespace

bool Form2::menuHoldsEscape() const {
  return QApplication::activePopupWidget() != nullptr || menuBar()->activeAction() != nullptr;
}

// Escape presses "Pause" only when it reaches the window unclaimed. A menu, a
// drop-down list or a clicked menu-bar title takes it first, and Escape only
// closes or leaves that. A window-wide shortcut would fire from inside them.
void Form2::keyPressEvent(QKeyEvent* event) {
  if (!IsPlainEscape(event)) {
    QMainWindow::keyPressEvent(event);
    return;
  }
  const bool forMenu = std::exchange(escapeForMenu_, false) || menuHoldsEscape();
  if (menuBar()->activeAction()) menuBar()->setActiveAction(nullptr);
  if (!forMenu && command8_->isEnabled()) command8_->click();
}

bool Form2::eventFilter(QObject* watched, QEvent* event) {
  // A drop-down list closes already on the check for shortcuts that comes
  // before every key, so the key itself then finds no list open: whether a
  // menu held Escape is noted there.
  if (event->type() == QEvent::ShortcutOverride && IsPlainEscape(event) && menuHoldsEscape()) escapeForMenu_ = true;
  if (event->type() == QEvent::KeyRelease && IsPlainEscape(event)) escapeForMenu_ = false;
  // Qt's scroll bars invert their controls, which turns the Left and Right
  // keys of a horizontal one around; here Right steps up and Left down.
  if (watched == hscrollTimer_ && event->type() == QEvent::KeyPress) {
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->modifiers() == Qt::NoModifier && (key->key() == Qt::Key_Left || key->key() == Qt::Key_Right)) {
      hscrollTimer_->triggerAction(key->key() == Qt::Key_Right ? QAbstractSlider::SliderSingleStepAdd
                                                               : QAbstractSlider::SliderSingleStepSub);
      return true;
    }
  }
  return QMainWindow::eventFilter(watched, event);
}

void Form2::load() {
  // Shown at once, also when the port fails to open here.
  connect(&link_, &SerialLink::failure, this, [this](const QString& message) { ShowCritical(this, message); });

  link_.setObjectName(QStringLiteral("MSComm1"));
  state_.StepIndex = 0;
  if (options_.portReadsEverything) link_.setDeviceThatReadsEverything(options_.port);
  if (!link_.Open(options_.port)) offerPortChoice();
  for (int n = kFirstModule; n <= kLastModule; ++n) table_.Amp[n] = NearestInt16Clamped(BoxNumber(textAmp_[n]));
  for (int n = kFirstModule; n <= kLastModule; ++n) table_.Phase[n] = BoxNumber(textPhase_[n]);
  for (int n = kFirstModule; n <= kLastModule; ++n) {
    table_.InitAngle[n] = NearestInt16Clamped(BoxNumber(textInitAngle_[n]));
  }
  state_.Running = kFalse;

  // After the gait's own tick: the boxes then show what that tick sent.
  connect(&driver_.timer1(), &QTimer::timeout, this, [this] { showBlend(); });
  driver_.start();
  refreshStatusLine();
}

void Form2::offerPortChoice() {
  PortDialog dialog(
      PortDialog::Kind::AtStart, link_.lastError(), link_.deviceName(),
      [this](PortDialog::Action, const PortInfo& chosen) { return OpenChosenPort(link_, chosen.preferredName()); },
      this);
  dialog.exec();
}

void Form2::onAmpChanged(int row) {
  QLineEdit* box = textAmp_[row];
  // The row is written before it is checked. An amplitude with no 16-bit
  // value, or -32768 whose size has none, is refused like any above the limit.
  const auto amp = NearestInt16(BoxNumber(box));
  if (amp && *amp != std::numeric_limits<std::int16_t>::min()) {
    table_.Amp[row] = *amp;
    if (std::abs(*amp) <= kAmpLimit) return;
  }
  box->setText(QString());  // re-enters at once and stores 0
  box->setFocus();
  ShowCritical(this, QStringLiteral("Please reenter a smaller data in Amp") + QString::number(row));
}

void Form2::onPhaseChanged(int row) { table_.Phase[row] = BoxNumber(textPhase_[row]); }

void Form2::onInitAngleChanged(int row) { table_.InitAngle[row] = NearestInt16Clamped(BoxNumber(textInitAngle_[row])); }

void Form2::onCheckClicked(int row) {
  ClickCheck(table_, link_, row, check_[row]->checkState() == Qt::Checked);
  relaxControl_->boxClicked(row);
}

void Form2::onEnableAll() { EnableAll(link_); }

void Form2::onDisableAll() { WriteCommand(link_, kAllOff); }

void Form2::onMove() {
  Move(state_, link_);
  command8_->setEnabled(true);
  command9_->setEnabled(true);
  if (relaxControl_->relaxed()) {
    const std::vector<int>& off = relaxControl_->relaxedModules();
    tell(QStringLiteral("Moving, but module%1 %2 %3 relaxed and will not follow until Resume (Ctrl+Space).")
             .arg(off.size() == 1 ? QString() : QStringLiteral("s"), ModuleList(off),
                  off.size() == 1 ? QStringLiteral("is") : QStringLiteral("are")));
  }
}

void Form2::onPause() {
  if (robotSetup_) robotSetup_->halt();
  WriteCommand(link_, kAllOff);
  command8_->setEnabled(false);
  command7_->setEnabled(true);
  command9_->setEnabled(true);
  command7_->setFocus();
  state_.Running = kFalse;
}

void Form2::onStop() {
  if (robotSetup_) robotSetup_->halt();
  WriteCommand(link_, kAllOff);
  command9_->setEnabled(false);
  command7_->setEnabled(true);
  command8_->setEnabled(true);
  command7_->setFocus();
  state_.Running = kFalse;
  state_.StepIndex = 0;
}

void Form2::onExit() { endProgram(false); }

void Form2::exitBySignal() { endProgram(true); }

void Form2::endProgram(bool bySignal) {
  if (ending_) {
    // Already on its way out (a signal while the failure box is open): "SF"
    // has gone and the port is closed; only the ending is left to do.
    QCoreApplication::quit();
    return;
  }
  ending_ = true;
  if (robotSetup_) robotSetup_->halt();
  WriteCommand(link_, kAllOff);
  Delay(kDelayCount);
  const bool wasOpen = link_.isOpen();
  const bool drained = link_.Close();
  // The panel is gone for good: its timers go with it, so nothing can be
  // written after the port has closed.
  driver_.timer1().stop();
  driver_.timer2().stop();
  refreshStatusLine();
  if (wasOpen && !drained) {
    const QString message = QStringLiteral("The serial port %1 did not carry the last commands within 2 seconds: "
                                           "\"SF\" may not have reached the controller, so the servos may still be on.")
                                .arg(link_.deviceName());
    if (bySignal) {
      std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
    } else {
      ShowCritical(this, message);
    }
  } else if (wasOpen && !link_.confirmsDelivery()) {
    // Paced by the clock, it was handed over in time; whether the device
    // passed it on, it cannot say. Not an error, so not a box: a word on
    // standard error, where a script or a terminal keeps it.
    std::fprintf(stderr, "%s\n",
                 QStringLiteral("\"SF\" was handed to %1, which cannot report what it still holds: that it reached "
                                "the controller cannot be confirmed.")
                     .arg(link_.deviceName())
                     .toLocal8Bit()
                     .constData());
  }
  const QPointer<Form2> self(this);
  close();
  if (self) emit exited();
  // Ends the program even while another window (the virtual controller) is open.
  QCoreApplication::quit();
}

void Form2::closeEvent(QCloseEvent* event) {
  // The close that endProgram itself asks for, or one that comes after it.
  if (ending_) {
    QMainWindow::closeEvent(event);
    return;
  }
  // Any other close: the same steps as "Exit". Its own close() of the window
  // is taken by the close already under way, which then goes on.
  endProgram(false);
  event->accept();
}

void Form2::onScrollChanged() {
  timerText_->setText(QString::fromStdString(PlainDecimal(hscrollTimer_->value())));
}

void Form2::onTimerTextChanged() {
  const double v = BoxNumber(timerText_);
  // A value above 0 that rounds to 0 ms is refused too: Timer1 cannot run at 0.
  const auto ms = NearestInt32(v);
  if (v > 0 && v <= kMaxIntervalMs && ms && *ms >= kMinIntervalMs) {
    driver_.timer1().setInterval(*ms);
    refreshStatusLine();  // the line's budget follows the interval
    hscrollTimer_->setValue(*ms);  // re-enters through the scroll bar if it moves
    return;
  }
  hscrollTimer_->setValue(1);
  ShowCritical(this, QString::fromLatin1(kTimerRangeMessage));
  timerText_->setFocus();
}

void Form2::onFunctionChosen() {
  state_.WaveFunction = static_cast<std::int16_t>(comboFunctions_->currentIndex());
  labelFunctions_->setText(QStringLiteral("Label_Functions:") +
                           QString::fromStdString(SignedDecimal(state_.WaveFunction)));
}

void Form2::afterBoxChange(int row) {
  if (writingBlend_) return;
  blendRows_[static_cast<std::size_t>(row)] = false;
  driver_.live().TakeRow(table_, row);
}

void Form2::showBlend() {
  LiveGait& live = driver_.live();
  const bool over = !live.blending();
  const QScopedValueRollback<bool> writing(writingBlend_, true);
  for (int n = kFirstModule; n <= kLastModule; ++n) {
    auto& following = blendRows_[static_cast<std::size_t>(n)];
    if (!following) continue;
    if (over || !live.blending(n)) {
      // The gait's own numbers at the end, exactly as opening it writes them.
      const files::GaitModule& m = blendTarget_.modules[static_cast<std::size_t>(n - kFirstModule)];
      textAmp_[n]->setText(BoxText(m.amplitude));
      textPhase_[n]->setText(BoxText(m.phase));
      textInitAngle_[n]->setText(BoxText(m.centre));
      following = false;
      continue;
    }
    double& phase = shownPhase_[static_cast<std::size_t>(n)];
    const BoxValues v = BoxValuesOf(live.base(n), phase);
    phase = v.phase;
    textAmp_[n]->setText(BoxText(std::round(v.amplitude)));
    textPhase_[n]->setText(BoxText(std::round(v.phase)));
    textInitAngle_[n]->setText(BoxText(std::round(v.centre)));
  }
}

void Form2::enterGait(const files::Gait& gait) {
  if (IsTrue(state_.Running)) {
    // While the gait moves the panel blends into the new one; the boxes
    // follow the values in force and end on the gait's own.
    driver_.live().BlendTo(table_, files::GaitTable(gait), blendS_);
    blendTarget_ = gait;
    for (int n = kFirstModule; n <= kLastModule; ++n) {
      blendRows_[static_cast<std::size_t>(n)] = true;
      shownPhase_[static_cast<std::size_t>(n)] = table_.Phase[n];
    }
    timerText_->setText(QString::number(gait.intervalMs));
    return;
  }
  // Each box's own change handling stores its value, or refuses it.
  for (int n = kFirstModule; n <= kLastModule; ++n) {
    const files::GaitModule& m = gait.modules[static_cast<std::size_t>(n - kFirstModule)];
    textAmp_[n]->setText(BoxText(m.amplitude));
    textPhase_[n]->setText(BoxText(m.phase));
    textInitAngle_[n]->setText(BoxText(m.centre));
  }
  timerText_->setText(QString::number(gait.intervalMs));
}

void Form2::setBlendSeconds(double seconds) {
  blendS_ = seconds;
  driveControl_->setBlendSeconds(seconds);
}

bool Form2::holdToDrive() const { return padControl_->holdToDrive(); }

void Form2::setHoldToDrive(bool on) { padControl_->setHoldToDrive(on); }

int Form2::gaitIntervalMs() const { return driver_.timer1().interval(); }

// The status bar hides its other widgets for a message only once they are
// visible, so a message told before the panel is shown waits for it.
void Form2::tell(const QString& message) { tellFor(message, kMessageMs); }

void Form2::tellFor(const QString& message, int ms) {
  pendingMessage_ = message;
  pendingMessageMs_ = ms;
  if (isVisible()) showPendingMessage();
}

void Form2::offerShortcutsTo(QWidget* window) {
  // Each key does there what it does here: the button's own click, which
  // for the menus opens them. A focused control that takes the key first
  // (it accepts the override) keeps it, as in any window.
  std::vector<std::pair<QKeySequence, QAbstractButton*>> keys;
  for (QToolButton* button : {static_cast<QToolButton*>(gaitControl_), static_cast<QToolButton*>(recordControl_),
                              static_cast<QToolButton*>(robotControl_), static_cast<QToolButton*>(relaxControl_)}) {
    keys.emplace_back(button->shortcut(), button);
  }
  keys.emplace_back(QKeySequence(QString::fromLatin1(PortControl::kShortcut)), portControl_);
  for (const auto& [key, button] : keys) {
    if (key.isEmpty()) continue;
    auto* shortcut = new QShortcut(key, window);
    shortcut->setObjectName(QStringLiteral("PanelShortcut:") + button->objectName());
    connect(shortcut, &QShortcut::activated, button, [b = button] { b->click(); });
  }
}

RobotSetup* Form2::robotSetup() const { return robotSetup_.data(); }

bool Form2::showRobotSetup() {
  if (robotSetup_.isNull()) {
    robotSetup_ = new RobotSetup(link_, table_, state_, robotProfile(),
                                 [this](const QString& path) { return robotControl_->openProfile(path); }, this);
    // Relax overtakes a jog as it overtakes the gait.
    connect(relaxControl_, &RelaxControl::relaxedChanged, robotSetup_.data(), &RobotSetup::halt);
  }
  robotSetup_->show();
  robotSetup_->raise();
  robotSetup_->activateWindow();
  return true;
}

const RobotProfile* Form2::robotProfile() const {
  return robotControl_->applier() ? &robotControl_->applier()->profile() : nullptr;
}

void Form2::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  QTimer::singleShot(0, this, [this] { showPendingMessage(); });
}

void Form2::showPendingMessage() {
  if (pendingMessage_.isEmpty()) return;
  statusBar()->showMessage(pendingMessage_, pendingMessageMs_);
  pendingMessage_.clear();
}

void Form2::refreshStatusLine() {
  QString port = link_.statusText();
  if (link_.isOpen() && !options_.portLabel.isEmpty()) {
    port = options_.portLabel + QStringLiteral(" (") + link_.deviceName() + QStringLiteral(") ") +
           QString::fromLatin1(line::kSettingsText);
    if (const QString line = link_.lineNote(); !line.isEmpty()) port += QStringLiteral("; ") + line;
  }
  portControl_->showStatus(port);
  int enabled = 0;
  for (int n = kFirstModule; n <= kLastModule; ++n) enabled += table_.ServoEnabled[n] == kTrue ? 1 : 0;
  const LinkCounters c = link_.counters();
  // One row under the described window: what the row cannot show is in the
  // tooltip. What the steering asks comes first, to be seen while driving.
  QString drive = driveControl_->statusText();
  if (!drive.isEmpty()) drive += QStringLiteral("    ");
  statusLine_->setFigures(drive + QStringLiteral("Commands sent: %1    Stale positions left out: %2    "
                                         "Dropped while offline: %3    Line: %4    Esc: Pause")
                           .arg(c.sent)
                           .arg(c.stale)
                           .arg(c.droppedOffline)
                           .arg(QString::fromStdString(LineBudgetText(enabled, driver_.timer1().interval(),
                                                                       driver_.timer2().interval()))));
}

}  // namespace gp
