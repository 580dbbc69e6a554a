// The panel moving the robot in the controller's window, as a person does
// it: the lateral-undulation gait typed in, "Enable1" to "Enable8" ticked,
// "Move" pressed; the drawn snake then travels head first, "Reset" brings it
// back, and a hidden window stops drawing while the robot carries on.
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QToolButton>
#include <QtTest>

#include "ui/message_box.h"
#include "panel/form2.h"
#include "panel/robot_control.h"
#include "sim/controller_window.h"
#include "sim/robot/live_robot.h"
#include "sim/robot/robot_view.h"
#include "sim/controller/channel_table.h"
#include "sim/controller/virtual_controller.h"
#include "tests/support/critical_boxes.h"

using namespace gp;
using namespace gp::sim;

class RobotWindowTest : public QObject {
  Q_OBJECT
 private slots:
  void thePanelsGaitMovesTheDrawnSnake();
  void showsTheRobotItWasHanded();
  void thePanelSurvivesAPhysicsThatFails();
  void marksTheModuleAProfileClips();
  void eachRobotChoiceDoesWhatItsNameSays();
};

namespace {

// The snake with the smallest working memory it loads with: its physics
// runs out of it once the robot moves.
QString StarvedSnake(const QTemporaryDir& dir) {
  const QString path = dir.filePath(QStringLiteral("starved_snake.xml"));
  const QString model = QString::fromStdString(*Robot::BuiltInModel("snake"));
  for (int stack = 500; stack < 5000; stack += 25) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return {};
    file.write(QString(model).replace(QStringLiteral("<compiler "),
                                      QStringLiteral("<size nstack=\"%1\"/><compiler ").arg(stack))
                   .toUtf8());
    file.close();
    if (Robot::Load(path.toStdString(), nullptr)) return path;
  }
  return {};
}

}  // namespace

// A physics that fails while the gait runs neither ends the program nor
// stops the panel: the robot stands still and says why, the panel goes on
// sending, and "Exit" still ends in order with "SF".
void RobotWindowTest::thePanelSurvivesAPhysicsThatFails() {
  const gp::testing::CriticalBoxes critical;
  const QStringList& boxes = critical.texts;
  QTemporaryDir dir;
  const QString starved = StarvedSnake(dir);
  QVERIFY(!starved.isEmpty());
  VirtualController vc;
  QString error;
  QVERIFY2(vc.start(&error), qPrintable(error));
  LiveRobot live(vc, Robot::Load(starved.toStdString(), nullptr), starved);
  ControllerWindow window(vc, live);
  window.show();
  Form2 panel(PanelOptions{vc.devicePath(), QStringLiteral("virtual servo controller")});
  for (int n = 1; n <= 8; ++n) {
    panel.findChild<QLineEdit*>(QStringLiteral("Text_Amp%1").arg(n))->setText(QStringLiteral("60"));
    panel.findChild<QCheckBox*>(QStringLiteral("Check%1").arg(n))->click();
  }
  panel.findChild<QPushButton*>(QStringLiteral("Command7"))->click();
  QTRY_VERIFY_WITH_TIMEOUT(!live.robot().robot().failure().empty(), 30000);
  window.refresh();
  QVERIFY2(window.robotView().headline().startsWith(QStringLiteral("The physics failed: ")),
           qPrintable(window.robotView().headline()));

  const std::uint64_t before = vc.model().commands();
  QTRY_VERIFY_WITH_TIMEOUT(vc.model().commands() > before + 20, 10000);  // the gait goes on
  panel.findChild<QPushButton*>(QStringLiteral("Command_Exit"))->click();
  QTRY_COMPARE_WITH_TIMEOUT(vc.model().lastControllerCommand(), std::optional(CommandKind::AllOff), 5000);
  QCOMPARE(boxes, QStringList());

  window.robotView().resetButton()->click();
  QVERIFY(live.robot().robot().failure().empty());
  QVERIFY(window.robotView().headline().startsWith(QStringLiteral("speed ")));
}

// The window draws and offers the robot the program start loaded, and
// loads nothing itself.
void RobotWindowTest::showsTheRobotItWasHanded() {
  VirtualController vc;
  LiveRobot caterpillar(vc, Robot::Load("caterpillar", nullptr), QStringLiteral("caterpillar"));
  {
    ControllerWindow window(vc, caterpillar);
    QCOMPARE(&window.liveRobot(), &caterpillar);
    QCOMPARE(window.robotView().robotChoice()->currentText(), QStringLiteral("Caterpillar"));
  }
  QVERIFY(!caterpillar.robot().robot().viewFromAbove());  // outlives the window

  QTemporaryDir dir;
  const QString model = dir.filePath(QStringLiteral("two.xml"));
  QFile file(model);
  QVERIFY(file.open(QIODevice::WriteOnly));
  file.write(QByteArray::fromStdString(*Robot::BuiltInModel("snake")));
  file.close();
  std::string why;
  std::unique_ptr<Robot> fromFile = Robot::Load(model.toStdString(), &why);
  QVERIFY2(fromFile, why.c_str());
  LiveRobot own(vc, std::move(fromFile), model);
  ControllerWindow window(vc, own);
  QCOMPARE(window.robotView().robotChoice()->currentText(), QStringLiteral("two.xml"));
}

void RobotWindowTest::thePanelsGaitMovesTheDrawnSnake() {
  const gp::testing::CriticalBoxes critical;
  const QStringList& boxes = critical.texts;
  VirtualController vc;
  QString error;
  QVERIFY2(vc.start(&error), qPrintable(error));
  LiveRobot live(vc, Robot::Load("snake", nullptr), QStringLiteral("snake"));
  ControllerWindow window(vc, live);
  window.show();
  QVERIFY(QTest::qWaitForWindowExposed(&window));
  Form2 panel(PanelOptions{vc.devicePath(), QStringLiteral("virtual servo controller")});
  panel.show();
  QVERIFY(QTest::qWaitForWindowExposed(&panel));

  RobotView& view = window.robotView();
  QCOMPARE(view.robotChoice()->objectName(), QStringLiteral("RobotChoice"));
  QCOMPARE(view.resetButton()->text(), QStringLiteral("Reset"));

  panel.findChild<QLineEdit*>(QStringLiteral("TimerText"))->setText(QStringLiteral("50"));
  for (int n = 1; n <= 8; ++n) {
    panel.findChild<QLineEdit*>(QStringLiteral("Text_Amp%1").arg(n))->setText(QStringLiteral("30"));
    panel.findChild<QLineEdit*>(QStringLiteral("Text_Phase%1").arg(n))->setText(QString::number(-45 * (n - 1)));
    panel.findChild<QCheckBox*>(QStringLiteral("Check%1").arg(n))->click();
  }
  panel.findChild<QPushButton*>(QStringLiteral("Command7"))->click();
  QCOMPARE(boxes, QStringList());

  // Head first along +x; on a busy machine the physics may fall behind the
  // wall clock, so only the direction and a modest distance are asked for.
  const LiveRobot& robot = window.liveRobot();
  QTRY_VERIFY_WITH_TIMEOUT(robot.robot().robot().CentreOfMass()[0] > 0.3, 30000);
  QVERIFY(std::abs(robot.robot().robot().CentreOfMass()[1]) < robot.robot().robot().CentreOfMass()[0]);
  QVERIFY(robot.trail().size() > 10);
  window.refresh();
  const QString dir = qEnvironmentVariable("GAITPANEL_SCREENSHOT_DIR");
  if (!dir.isEmpty()) {
    QDir().mkpath(dir);
    QVERIFY(window.grab().save(dir + QStringLiteral("/robot.png")));
  }

  // Hidden, the window draws nothing, and the robot goes on moving.
  window.hide();
  const auto frames = window.frames();
  const double x = robot.robot().robot().CentreOfMass()[0];
  QTRY_VERIFY_WITH_TIMEOUT(robot.robot().robot().CentreOfMass()[0] > x + 0.05, 20000);
  QCOMPARE(window.frames(), frames);

  view.resetButton()->click();
  QVERIFY(std::abs(robot.robot().robot().CentreOfMass()[0]) < 0.001);
  QVERIFY(robot.readout().distance < 0.001);

  // The caterpillar, seen from the side, takes over the same servos.
  window.show();
  QVERIFY(QTest::qWaitForWindowExposed(&window));
  QVERIFY(view.chooseRobot(QStringLiteral("caterpillar")));
  QCOMPARE(view.robotChoice()->currentText(), QStringLiteral("Caterpillar"));
  QTRY_VERIFY_WITH_TIMEOUT(std::abs(robot.robot().robot().JointAngle(1)) > 0.1, 20000);
  QTest::qWait(1500);
  window.refresh();
  if (!dir.isEmpty()) QVERIFY(window.grab().save(dir + QStringLiteral("/caterpillar.png")));
  panel.findChild<QPushButton*>(QStringLiteral("Command9"))->click();
}

// The panel sends through a profile that holds module 2 to 30 degrees
// either way; the status line, the robot view and the channel table all
// name module 2, from the one set the panel finds in the pulses it sends,
// and not module 3, which swings freely.
void RobotWindowTest::marksTheModuleAProfileClips() {
  VirtualController vc;
  QString error;
  QVERIFY2(vc.start(&error), qPrintable(error));
  LiveRobot live(vc, Robot::Load("snake", nullptr), QStringLiteral("snake"));
  ControllerWindow window(vc, live);
  Form2 panel(PanelOptions{vc.devicePath(), QStringLiteral("virtual servo controller")});
  panel.show();
  QVERIFY(QTest::qWaitForWindowExposed(&panel));
  QObject::connect(&panel.robotControl(), &RobotControl::clippedChanged, &window,
                   [&window](const std::vector<int>& modules) { window.setClipped(modules); });
  RobotProfile profile;
  profile.name = "Held";
  profile.modules[1].min = -30;
  profile.modules[1].max = 30;
  panel.robotControl().useProfile(profile, QStringLiteral("held.json"));
  QCOMPARE(panel.findChild<QToolButton*>(QStringLiteral("RobotButton"))->text(), QStringLiteral("Robot: Held"));
  // A button's new text would bring its own (empty) mnemonic in place of the shortcut.
  QCOMPARE(panel.findChild<QToolButton*>(QStringLiteral("RobotButton"))->shortcut(),
           QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_R));
  for (int n : {2, 3}) {
    panel.findChild<QLineEdit*>(QStringLiteral("Text_Amp%1").arg(n))->setText(QStringLiteral("60"));
    panel.findChild<QCheckBox*>(QStringLiteral("Check%1").arg(n))->click();
  }
  QVERIFY(window.robotView().clippedModules().empty());
  panel.findChild<QPushButton*>(QStringLiteral("Command7"))->click();
  QTRY_VERIFY_WITH_TIMEOUT(window.robotView().clippedModules() == std::vector<int>{2}, 10000);
  const auto& table = static_cast<const ChannelTable&>(window.channelTable());
  for (int c = 0; c < 8; ++c) QCOMPARE(table.marksClipped(c), c == 1);
  QTRY_VERIFY(panel.statusBar()->currentMessage().contains(QStringLiteral("since Move: module 2 (module 2 at 30 degrees)")));
  // The pulses the controller got for module 2 never pass the limit's.
  QTRY_VERIFY_WITH_TIMEOUT(vc.model().channel(1).hasPosition, 5000);
  QVERIFY(vc.model().channel(1).pulseWidth >= 1167 && vc.model().channel(1).pulseWidth <= 1833);
  // A new start begins a new set, and no profile marks nothing.
  panel.findChild<QPushButton*>(QStringLiteral("Command8"))->click();
  panel.findChild<QPushButton*>(QStringLiteral("Command7"))->click();
  QTRY_VERIFY_WITH_TIMEOUT(window.robotView().clippedModules() == std::vector<int>{2}, 10000);
  panel.robotControl().clearProfile();
  QVERIFY(window.robotView().clippedModules().empty());
  for (int c = 0; c < 8; ++c) QVERIFY(!table.marksClipped(c));
  panel.findChild<QPushButton*>(QStringLiteral("Command9"))->click();
}

// Every item of the robot chooser, chosen as a person does: the built-in
// robots load the robot they name, "Model file..." asks for a file and loads
// it, and asking for none or for a file that is not a model keeps the robot.
void RobotWindowTest::eachRobotChoiceDoesWhatItsNameSays() {
  const gp::testing::CriticalBoxes critical;
  const QStringList& boxes = critical.texts;
  QTemporaryDir dir;
  const QString model = dir.filePath(QStringLiteral("mine.xml"));
  QFile file(model);
  QVERIFY(file.open(QIODevice::WriteOnly));
  file.write(QByteArray::fromStdString(*Robot::BuiltInModel("caterpillar")));
  file.close();

  VirtualController vc;
  LiveRobot live(vc, Robot::Load("snake", nullptr), QStringLiteral("snake"));
  ControllerWindow window(vc, live);
  RobotView& view = window.robotView();
  QComboBox* choice = view.robotChoice();
  int asked = 0;
  QString answer;
  view.setModelFileAsker([&](QWidget*) {
    ++asked;
    return answer;
  });
  const auto choose = [&](const QString& label) {
    const int index = choice->findText(label);
    QVERIFY2(index >= 0, qPrintable(label));
    choice->setCurrentIndex(index);
    emit choice->activated(index);
  };
  QCOMPARE(choice->count(), 4);
  const struct {
    const char* label;
    const char* source;
    bool fromAbove;
  } builtIn[] = {{"Caterpillar", "caterpillar", false}, {"Pitch-yaw snake", "pitch-yaw", true}, {"Snake", "snake", true}};
  for (const auto& item : builtIn) {
    choose(QString::fromLatin1(item.label));
    QCOMPARE(live.source(), QString::fromLatin1(item.source));
    QCOMPARE(choice->currentText(), QString::fromLatin1(item.label));
    QCOMPARE(asked, 0);
    // The pitch-yaw snake sidewinds and rolls in the floor's plane: seen from above.
    QCOMPARE(live.robot().robot().viewFromAbove(), item.fromAbove);
  }
  QVERIFY(live.robot().robot().viewFromAbove());

  const QString modelItem = QStringLiteral("Model file\u2026");
  answer.clear();  // the dialog cancelled
  choose(modelItem);
  QCOMPARE(asked, 1);
  QCOMPARE(live.source(), QStringLiteral("snake"));
  QCOMPARE(choice->currentText(), QStringLiteral("Snake"));

  answer = dir.filePath(QStringLiteral("missing.xml"));
  choose(modelItem);
  QCOMPARE(asked, 2);
  QCOMPARE(live.source(), QStringLiteral("snake"));
  QCOMPARE(boxes.size(), 1);
  QVERIFY2(boxes[0].contains(QStringLiteral("missing.xml")), qPrintable(boxes[0]));
  QCOMPARE(choice->currentText(), QStringLiteral("Snake"));

  answer = model;
  choose(modelItem);
  QCOMPARE(asked, 3);
  QCOMPARE(live.source(), model);
  QCOMPARE(choice->currentText(), QStringLiteral("mine.xml"));
  QVERIFY(!live.robot().robot().viewFromAbove());  // it is the caterpillar's model
  // The file chosen is offered again, and the table's items still do theirs.
  choose(QStringLiteral("Snake"));
  QCOMPARE(live.source(), QStringLiteral("snake"));
  choose(QStringLiteral("mine.xml"));
  QCOMPARE(live.source(), model);
  QCOMPARE(asked, 3);
  QCOMPARE(boxes.size(), 1);
}

QTEST_MAIN(RobotWindowTest)
#include "robot_window_test.moc"
