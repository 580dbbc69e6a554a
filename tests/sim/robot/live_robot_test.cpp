// The robot live behind the virtual controller: commands from a real serial
// port reach its servos, the physics keeps pace with the wall clock, "Reset"
// keeps what the controller was told, and the gait period is read off the
// line.

#include <QSerialPort>
#include <QTemporaryDir>
#include <QtTest>
#include <cmath>

#include "core/conversions.h"
#include "sim/robot/live_robot.h"
#include "sim/controller/virtual_controller.h"

using namespace gp::sim;

namespace {

constexpr double kDeg = gp::kPi / 180.0;

}  // namespace

class LiveRobotTest : public QObject {
  Q_OBJECT
 private slots:
  void followsTheLineAtTheWallClocksPaceAndKeepsItThroughReset();
  void refusesABadModelAndKeepsTheRobotInUse();
  void readsTheGaitPeriodOffTheLine();
};

void LiveRobotTest::followsTheLineAtTheWallClocksPaceAndKeepsItThroughReset() {
  VirtualController vc;
  QString error;
  QVERIFY2(vc.start(&error), qPrintable(error));
  LiveRobot robot(vc, Robot::Load("snake", nullptr), QStringLiteral("snake"));
  QSerialPort port;
  port.setPortName(vc.devicePath());
  QVERIFY2(port.open(QIODevice::ReadWrite), qPrintable(port.errorString()));

  // Channel 3 (module 4) on and sent to +45 degrees; "SF" changes nothing.
  port.write("SE03\rSW0 307D0\r\rSF\r");
  port.flush();
  QTRY_VERIFY_WITH_TIMEOUT(std::abs(robot.robot().robot().JointAngle(4) - 45 * kDeg) < 3 * kDeg, 10000);
  QVERIFY(robot.robot().servo(4).enabled());

  QElapsedTimer wall;
  wall.start();
  const double simStart = robot.robot().robot().time();
  QTest::qWait(1000);
  robot.catchUp();
  const double simulated = robot.robot().robot().time() - simStart;
  const double elapsed = static_cast<double>(wall.elapsed()) / 1000.0;
  QVERIFY2(simulated > 0.3 * elapsed && simulated < elapsed + 0.1,
           qPrintable(QStringLiteral("%1 s simulated in %2 s").arg(simulated).arg(elapsed)));

  // Back at the origin, straight, with the controller's channel still on and
  // still heading for its last position.
  robot.reset();
  QVERIFY(std::abs(robot.robot().robot().JointAngle(4)) < 1e-9);
  QCOMPARE(robot.trail().size(), std::size_t{1});
  QTRY_VERIFY_WITH_TIMEOUT(std::abs(robot.robot().robot().JointAngle(4) - 45 * kDeg) < 3 * kDeg, 10000);
}

void LiveRobotTest::refusesABadModelAndKeepsTheRobotInUse() {
  VirtualController vc;
  QString error;
  QVERIFY2(vc.start(&error), qPrintable(error));
  LiveRobot robot(vc, Robot::Load("snake", nullptr), QStringLiteral("snake"));
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("robot.xml"));
  QFile file(path);
  QVERIFY(file.open(QIODevice::WriteOnly));
  file.write("<mujoco><worldbody><geom type=\"sphere\"/></worldbody></mujoco>");
  file.close();
  QSignalSpy changed(&robot, &LiveRobot::robotChanged);
  QVERIFY(!robot.load(path, &error));
  QVERIFY2(error.startsWith(path + QStringLiteral(": ")), qPrintable(error));
  QCOMPARE(QString::fromStdString(robot.robot().robot().name()), QStringLiteral("snake"));
  QCOMPARE(changed.count(), 0);
  QVERIFY2(robot.load(QStringLiteral("caterpillar"), &error), qPrintable(error));
  QVERIFY(!robot.robot().robot().viewFromAbove());
  QCOMPARE(changed.count(), 1);
}

void LiveRobotTest::readsTheGaitPeriodOffTheLine() {
  // A channel swinging with a 1.2 s period, seen about eleven times a
  // second as through the 9600-baud line, among channels that do not swing.
  ControllerModel model;
  model.Feed("SE00\rSE01\r", 0);
  for (std::int64_t ms = 0; ms <= 6000; ms += 92) {
    const double angle = 30 * std::sin(2 * gp::kPi * static_cast<double>(ms) / 1200.0);
    const auto width = static_cast<int>(std::lround(1500 + angle * 2000 / 180));
    model.Feed(QStringLiteral("SW0 0%1\r\rSW0 105DC\r\r").arg(width, 4, 16, QLatin1Char('0')).toUpper().toStdString(), ms);
  }
  const auto period = PeriodOnTheLine(model, 6000);
  QVERIFY(period);
  QVERIFY2(std::abs(*period - 1.2) < 0.1, qPrintable(QString::number(*period)));
  QVERIFY2(!PeriodOnTheLine(model, 9000), "a swing no longer on the line is no period");
}

QTEST_MAIN(LiveRobotTest)
#include "live_robot_test.moc"
