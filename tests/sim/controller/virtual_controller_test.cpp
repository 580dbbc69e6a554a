#include <QFileInfo>
#include <QSerialPort>
#include <QSocketNotifier>
#include <QtTest>

#include "gait/gait_driver.h"
#include "gait/waveform.h"
#include "protocol/command_sink.h"
#include "link/serial_link.h"
#include "sim/controller_window.h"
#include "sim/robot/live_robot.h"
#include "sim/controller/virtual_controller.h"

using namespace gp;
using namespace gp::sim;

namespace {

std::string Position(int module, std::int32_t width) {
  return PositionCommand(static_cast<std::int16_t>(module),
                         BuildPositionCommand(kPositionPrefix, static_cast<std::int16_t>(module), PulseText(width)))
      .bytes;
}

}  // namespace

class VirtualControllerTest : public QObject {
  Q_OBJECT
 private slots:
  void terminalTakesTheSerialPortsSettingsAndSurvivesReopening();
  void windowFollowsTheGaitThroughTheLink();
  void windowNeitherEndsNorHoldsTheProgram();
};

void VirtualControllerTest::terminalTakesTheSerialPortsSettingsAndSurvivesReopening() {
  VirtualController vc;
  QString error;
  QVERIFY2(vc.start(&error), qPrintable(error));
  QVERIFY(QFileInfo::exists(vc.devicePath()));
  // Nobody has the terminal open yet: the master must stay quiet, not spin
  // on a hang-up.
  auto* input = vc.findChild<QSocketNotifier*>(QStringLiteral("ControllerInput"));
  QVERIFY(input != nullptr);
  QSignalSpy reads(input, &QSocketNotifier::activated);
  QTest::qWait(200);
  QVERIFY(reads.count() <= 1);

  for (int round = 1; round <= 2; ++round) {
    QSerialPort port;
    port.setPortName(vc.devicePath());
    port.setBaudRate(QSerialPort::Baud9600);
    port.setDataBits(QSerialPort::Data8);
    port.setParity(QSerialPort::NoParity);
    port.setStopBits(QSerialPort::OneStop);
    port.setFlowControl(QSerialPort::NoFlowControl);
    QVERIFY2(port.open(QIODevice::ReadWrite), qPrintable(port.errorString()));
    QCOMPARE(port.baudRate(), 9600);
    port.write("SE00\r");
    port.write(Position(1, 1833).c_str());
    port.write("SO\r");
    port.flush();
    QTRY_COMPARE(vc.model().commands(), 3u * static_cast<unsigned>(round));
    port.close();
  }
  QCOMPARE(vc.model().malformed(), 0u);
  QVERIFY(vc.model().channel(0).enabled);
  QCOMPARE(vc.model().channel(0).pulseWidth, 1833);
  QCOMPARE(vc.model().lastControllerCommand(), CommandKind::AllOn);
  // Closed again: still quiet.
  reads.clear();
  QTest::qWait(200);
  QVERIFY(reads.count() <= 1);
}

// The gait through the real link into the controller and its window: the
// line runs full, the window keeps to its frame rate, and the picture is
// saved for a person to look at.
void VirtualControllerTest::windowFollowsTheGaitThroughTheLink() {
  VirtualController vc;
  QString error;
  QVERIFY2(vc.start(&error), qPrintable(error));
  LiveRobot robot(vc, Robot::Load("snake", nullptr), QStringLiteral("snake"));
  ControllerWindow window(vc, robot);
  QCOMPARE(window.windowTitle(), QStringLiteral("Virtual servo controller"));
  QVERIFY(!window.testAttribute(Qt::WA_QuitOnClose));
  window.show();
  QVERIFY(QTest::qWaitForWindowExposed(&window));

  SerialLink link;
  QVERIFY2(link.Open(vc.devicePath()), qPrintable(link.lastError()));
  std::vector<DecodedCommand> seen;
  vc.setCommandObserver([&seen](const DecodedCommand& c) { seen.push_back(c); });

  ModuleTable table;
  GaitState state;
  for (int m = kFirstModule; m <= kLastModule; ++m) {
    table.Amp[static_cast<std::size_t>(m)] = 35;
    table.Phase[static_cast<std::size_t>(m)] = -45.0 * (m - 1);
    table.ServoEnabled[static_cast<std::size_t>(m)] = m == kLastModule ? kFalse : kTrue;
    if (m != kLastModule) WriteCommand(link, kEnableChannel[static_cast<std::size_t>(m - 1)]);
  }
  WriteCommand(link, kEnableNinth);
  WriteCommand(link, kAllOn);
  WriteCommand(link, kAllConfirm);
  // A refresh before the first step would look like this: shown as malformed.
  // Handed over as no channel's: the queue keeps only a channel's newest
  // position, and on a busy machine the gait's first step for channel 0 would
  // replace it before the line took it.
  link.Write(ServoCommand{ServoCommand::kNoChannel, "SW0 0\r\r"});
  state.Running = kTrue;
  // The sine never shows the "Error" box; no modal box is ever open here.
  GaitDriver driver(table, state, link, nullptr, [] { return false; });
  driver.timer1().setInterval(100);  // a two-second period
  driver.start();

  const std::int64_t begin = vc.nowMs();
  const auto framesBefore = window.frames();
  const auto bytesBefore = vc.model().bytes();
  const ControllerModel& m = vc.model();
  // Every enabled channel gets its turns: as long as a busy machine needs
  // for twenty positions each (about two seconds of a full line).
  const auto everyChannelMoved = [&m] {
    for (int c = 0; c < kChannels - 1; ++c) {
      if (m.channel(c).positions <= 20) return false;
    }
    return true;
  };
  QTRY_VERIFY_WITH_TIMEOUT(everyChannelMoved(), 30000);
  const std::int64_t elapsed = vc.nowMs() - begin;

  // The link never goes beyond what 9600 baud carries, however the machine
  // schedules it. How full it keeps the line is a figure of the link
  // benchmark (bench/link): a starved process cannot keep any line busy.
  const double rate = m.bytesPerSecond(vc.nowMs());
  QVERIFY2(rate <= 1000, qPrintable(QString::number(rate)));
  const double average = static_cast<double>(m.bytes() - bytesBefore) * 1000.0 / static_cast<double>(elapsed);
  QVERIFY2(average <= 1000, qPrintable(QString::number(average)));
  QCOMPARE(m.malformed(), 1u);
  for (int c = 0; c < kChannels - 1; ++c) QVERIFY(m.channel(c).enabled);
  QVERIFY(!m.channel(7).enabled);
  QCOMPARE(m.channel(7).positions, 0u);
  QVERIFY(m.ninthEnabled());
  // Every width received is one the gait computes for that channel.
  for (const DecodedCommand& c : seen) {
    if (c.kind != CommandKind::Position) continue;
    bool known = false;
    for (std::int16_t step = 1; step <= 20 && !known; ++step) {
      const auto w = AngleToPulse(GaitAngle(35, -45.0 * c.channel, 0, step));
      known = w && *w == c.pulseWidth;
    }
    QVERIFY2(known, qPrintable(QString::fromStdString(CommandText(c))));
  }
  const auto frames = window.frames() - framesBefore;
  QVERIFY2(frames <= static_cast<std::uint64_t>(elapsed * ControllerWindow::kMaxFramesPerSecond / 1000 + 2),
           qPrintable(QString::number(frames)));
  QVERIFY(frames > 10);

  window.refresh();
  const QString dir = qEnvironmentVariable("GAITPANEL_SCREENSHOT_DIR");
  if (!dir.isEmpty()) {
    QDir().mkpath(dir);
    QVERIFY(window.grab().save(dir + QStringLiteral("/simulator.png")));
  }
  state.Running = kFalse;
  link.Close();
}

void VirtualControllerTest::windowNeitherEndsNorHoldsTheProgram() {
  VirtualController vc;
  LiveRobot robot(vc, Robot::Load("snake", nullptr), QStringLiteral("snake"));
  ControllerWindow window(vc, robot);
  QWidget panel;
  panel.show();
  window.show();
  QVERIFY(QTest::qWaitForWindowExposed(&window));
  // Run the application's own loop, as the program does: closing the
  // controller's window alone must not end it, closing the panel must.
  qApp->setQuitOnLastWindowClosed(true);
  bool aliveAfterWindowClosed = false;
  bool safetyStop = false;
  QTimer::singleShot(50, &window, &QWidget::close);
  QTimer::singleShot(300, &panel, [&] {
    aliveAfterWindowClosed = true;
    window.show();
    panel.close();
  });
  QTimer::singleShot(5000, qApp, [&] {
    safetyStop = true;
    qApp->quit();
  });
  qApp->exec();
  QVERIFY(aliveAfterWindowClosed);
  QVERIFY(!safetyStop);
}

QTEST_MAIN(VirtualControllerTest)
#include "virtual_controller_test.moc"
