// The gait's two timers end to end: ticks and refreshes through the serial
// link onto a pseudo-terminal line, the "Error" path, and ticks that fall due
// while a modal box is open.

#include "gait/gait_driver.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>
#include <cstdlib>
#include <map>
#include <vector>

#include "ui/message_box.h"
#include "link/serial_link.h"
#include "tests/support/pty_pair.h"
#include "tests/support/recording_sink.h"

namespace gp {
namespace {

using testing::PtyPair;
using testing::RecordingSink;

// The panel's design values: amplitude 90, phase 0, centre 0; none enabled.
ModuleTable DesignTable() {
  ModuleTable t;
  for (int n = kFirstModule; n <= kLastModule; ++n) t.Amp[n] = 90;
  return t;
}

// The line cut into commands: a position ends in two carriage returns,
// everything else in one.
std::vector<std::string> Commands(const std::string& line) {
  std::vector<std::string> out;
  std::size_t start = 0;
  while (start < line.size()) {
    std::size_t end = line.find('\r', start);
    if (end == std::string::npos) break;
    if (line.compare(start, 3, "SW0") == 0 && end + 1 < line.size() && line[end + 1] == '\r') ++end;
    out.push_back(line.substr(start, end + 1 - start));
    start = end + 1;
  }
  return out;
}

struct Rig {
  Rig() : sink(&link) {
    link.Open(pty.slavePath());
    // As the panel hands them over: the program's critical box, idle while a box is open.
    driver = std::make_unique<GaitDriver>(
        table, state, sink, [](const std::string& text) { ShowCritical(nullptr, QString::fromStdString(text)); },
        [] { return ModalBoxOpen(); });
  }
  PtyPair pty;
  SerialLink link;
  RecordingSink sink;  // what the gait hands to the link
  ModuleTable table = DesignTable();
  GaitState state;
  std::unique_ptr<GaitDriver> driver;
};

}  // namespace

class GaitDriverTest : public QObject {
  Q_OBJECT

 private slots:
  void idleGaitCountsStepsAndSendsNothing() {
    Rig rig;
    for (int n = 1; n <= 9; ++n) rig.table.ServoEnabled[n] = kTrue;
    QSignalSpy ticks(&rig.driver->timer1(), &QTimer::timeout);
    rig.driver->start();
    // A whole cycle and one more tick, however slowly a busy machine ticks.
    std::string line;
    QElapsedTimer waited;
    waited.start();
    while (ticks.count() < 21 && waited.elapsed() < 20000) line += rig.pty.ReadFor(20);
    rig.driver->timer1().stop();
    QVERIFY2(ticks.count() >= 21, qPrintable(QString::number(ticks.count())));
    QCOMPARE(int(rig.state.StepIndex), (ticks.count() - 1) % 20 + 1);
    QCOMPARE(line, std::string());
    QCOMPARE(rig.sink.writes(), 0);
  }

  void tickThenRefreshSendTheSamePositionsInModuleOrder() {
    Rig rig;
    rig.table.ServoEnabled[2] = kTrue;
    rig.table.ServoEnabled[5] = kTrue;
    rig.state.Running = kTrue;
    rig.driver->onTimer1();
    QCOMPARE(int(rig.state.StepIndex), 1);
    rig.driver->onTimer2();
    const std::string hex2 = rig.table.PulseHex[2], hex5 = rig.table.PulseHex[5];
    QCOMPARE(hex2.size(), std::size_t(4));
    const std::string pair = "SW0 1" + hex2 + "\r\r" + "SW0 4" + hex5 + "\r\r";
    QCOMPARE(QByteArray::fromStdString(rig.pty.ReadUntil(44, 2000)), QByteArray::fromStdString(pair + pair));
    QCOMPARE(rig.sink.writes(), 4);

    // Both timers running: far more than the line carries. What reaches it
    // is whole positions of modules 2 and 5 only, taking turns, each one the
    // module's newest.
    rig.driver->start();
    // About a second of the line, or as long as a busy machine needs for it.
    const std::string line = rig.pty.ReadUntil(90 * 11, 20000);
    rig.driver->timer1().stop();
    rig.driver->timer2().stop();
    const auto commands = Commands(line);
    std::map<char, int> share;
    QVERIFY2(commands.size() >= 40, qPrintable(QString::number(commands.size())));
    for (std::size_t i = 0; i < commands.size(); ++i) {
      const std::string& c = commands[i];
      QCOMPARE(c.size(), std::size_t(11));
      QCOMPARE(c.substr(0, 4), std::string("SW0 "));
      QCOMPARE(c.substr(9), std::string("\r\r"));
      QVERIFY(c[4] == '1' || c[4] == '4');
      // Strict turns while the line is saturated; a module may go twice in
      // a row only when a late timer let the line run dry meanwhile.
      if (i > 1) QVERIFY2(c[4] != commands[i - 1][4] || c[4] != commands[i - 2][4], "a module missed its turn");
      ++share[c[4]];
    }
    QVERIFY(std::abs(share['1'] - share['4']) * 10 <= int(commands.size()));
    QVERIFY(rig.link.counters().stale > 0);
    QVERIFY(rig.sink.writes() > 100);
  }

  // "Y=lnX" with modules 1 and 3: one box per enabled module, each followed
  // by its position from the last angle (centre 05DC), then silence. Ticks
  // that fall due while the box is open do nothing.
  void errorPathShowsOneBoxPerModuleThenSilence() {
    Rig rig;
    rig.table.ServoEnabled[1] = kTrue;
    rig.table.ServoEnabled[3] = kTrue;
    rig.state.WaveFunction = 1;
    rig.state.Running = kTrue;
    std::vector<int> writesAtBox;
    std::vector<std::int16_t> stepAtBox;
    QStringList texts;
    const auto previous = SetCriticalBoxForTesting([&](QWidget*, const QString& text) {
      texts << text;
      writesAtBox.push_back(rig.sink.writes());
      stepAtBox.push_back(rig.state.StepIndex);
      QTest::qWait(80);  // both timers fall due several times meanwhile
    });
    rig.driver->start();
    const std::string line = rig.pty.ReadFor(600);
    SetCriticalBoxForTesting(previous);
    QCOMPARE(texts, QStringList({"Error", "Error"}));
    QCOMPARE(writesAtBox, (std::vector<int>{0, 1}));
    QCOMPARE(stepAtBox, (std::vector<std::int16_t>{1, 1}));
    QCOMPARE(QByteArray::fromStdString(line), QByteArray("SW0 005DC\r\rSW0 205DC\r\r"));
    QCOMPARE(rig.sink.writes(), 2);
    QCOMPARE(rig.state.Running, kFalse);
    QCOMPARE(rig.state.WaveFunction, std::int16_t(1));
  }

  // A real modal box: Qt goes on delivering both timers' ticks inside it, and
  // they neither step nor send; the queue meanwhile goes on draining.
  void ticksIdleWhileARealModalBoxIsOpen() {
    Rig rig;
    for (int n = kFirstModule; n <= kLastModule; ++n) rig.table.ServoEnabled[n] = kTrue;
    rig.state.Running = kTrue;
    rig.driver->start();
    QTest::qWait(100);
    QSignalSpy ticks1(&rig.driver->timer1(), &QTimer::timeout);
    QSignalSpy ticks2(&rig.driver->timer2(), &QTimer::timeout);
    std::int16_t step = -1;
    int writes = -1;
    std::uint64_t sentBefore = 0;
    bool sawBox = false;
    int writesInside = -1;
    std::int16_t stepInside = -1;
    std::uint64_t sentInside = 0;
    // Everything is measured from the moment the box is up: making the first
    // box can take a while on a loaded machine.
    QElapsedTimer shown;
    QTimer watch;
    watch.setInterval(5);
    QObject::connect(&watch, &QTimer::timeout, [&] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (box == nullptr || !box->isVisible()) return;
      if (!shown.isValid()) {
        shown.start();
        sawBox = box->text() == "Stop the gait?";
        ticks1.clear();
        ticks2.clear();
        step = rig.state.StepIndex;
        writes = rig.sink.writes();
        sentBefore = rig.link.counters().sent;
        return;
      }
      if (shown.elapsed() < 400) return;
      writesInside = rig.sink.writes();
      stepInside = rig.state.StepIndex;
      sentInside = rig.link.counters().sent;
      watch.stop();
      box->done(QMessageBox::Ok);
    });
    watch.start();
    ShowCritical(nullptr, "Stop the gait?");  // returns when the box closes
    QVERIFY(sawBox);
    QVERIFY2(ticks1.count() >= 3 && ticks2.count() >= 3, "no ticks were delivered inside the box");
    QCOMPARE(stepInside, step);
    QCOMPARE(writesInside, writes);
    QCOMPARE(rig.state.StepIndex, step);
    QVERIFY2(sentInside > sentBefore, "the queue stopped draining");
    // Once the box is closed the gait goes on.
    QTRY_VERIFY(rig.state.StepIndex != step);
    QTRY_VERIFY(rig.sink.writes() > writes);
  }
};

}  // namespace gp

QTEST_MAIN(gp::GaitDriverTest)
#include "gait_driver_test.moc"
