// The serial link against a pseudo-terminal opened exactly as a real port.

#include "link/serial_link.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>
#include <map>
#include <vector>
#include <sys/resource.h>
#include <termios.h>

#include "link/port_watch.h"
#include "files/recording.h"
#include "tests/support/pty_pair.h"
#include "tests/support/queued_device.h"

namespace gp {
namespace {

using testing::PtyPair;

std::string Pos(int module, const std::string& hex) {
  return BuildPositionCommand(kPositionPrefix, static_cast<std::int16_t>(module), hex) + "\r";
}

void SendPos(CommandSink& sink, int module, const std::string& hex) {
  const auto m = static_cast<std::int16_t>(module);
  SendServoCommand(sink, m, BuildPositionCommand(kPositionPrefix, m, hex));
}

double CpuSeconds() {
  rusage r{};
  getrusage(RUSAGE_SELF, &r);
  return static_cast<double>(r.ru_utime.tv_sec + r.ru_stime.tv_sec) +
         static_cast<double>(r.ru_utime.tv_usec + r.ru_stime.tv_usec) / 1e6;
}


// Each position command in bytes, as channel and pulse field, in order.
std::vector<std::pair<int, std::string>> Positions(const std::string& bytes) {
  std::vector<std::pair<int, std::string>> out;
  for (std::size_t at = bytes.find("SW0 "); at != std::string::npos; at = bytes.find("SW0 ", at + 1)) {
    const std::size_t end = bytes.find("\r\r", at);
    if (end == std::string::npos || at + 5 > end) break;
    out.emplace_back(bytes[at + 4] - '0', bytes.substr(at + 5, end - at - 5));
  }
  return out;
}

// A gait on the link: every enabled module's position each 20 ms, the pulse
// field counting up, so that the newest of a channel is known.
struct Gait {
  explicit Gait(SerialLink& link) {
    timer.setInterval(20);
    QObject::connect(&timer, &QTimer::timeout, [this, &link] {
      for (int m = 1; m <= 8; ++m) SendPos(link, m, std::to_string(1000 + step));
      ++step;
    });
    timer.start();
  }
  std::string newest() const { return std::to_string(1000 + step - 1); }
  QTimer timer;
  int step = 0;
};

}  // namespace

class SerialLinkTest : public QObject {
  Q_OBJECT

 private slots:

  // On a device that reports its queue, a stall of 5 s is told (in the
  // status text and once by signal) and its end too; after it the device
  // gets at most what it held and one round of positions, each the newest
  // of its channel: nothing of the stall piled up behind it.
  void aStallIsToldAndLeavesOnlyTheNewestPositions() {
    testing::QueuedDevice device;
    QVERIFY(device.ok());
    SerialLink link;
    link.setQueueProbe(device.probe());
    QVERIFY(link.Open(device.path()));
    QVERIFY(link.reportsQueue() && link.confirmsDelivery());
    QVERIFY2(!link.statusText().contains("cannot report"), qPrintable(link.statusText()));
    QSignalSpy stalls(&link, &SerialLink::lineStalled);
    Gait gait(link);
    QTest::qWait(400);
    device.stop();
    QElapsedTimer stood;
    stood.start();
    QTRY_VERIFY_WITH_TIMEOUT(link.stalled(), 3000);
    QVERIFY2(stood.elapsed() >= SerialLink::kStallMs - 150, qPrintable(QString::number(stood.elapsed())));
    QCOMPARE(stalls.size(), 1);
    QCOMPARE(stalls[0][0].toBool(), true);
    QTest::qWait(5000 - static_cast<int>(stood.elapsed()));
    QVERIFY2(link.statusText().contains("Line stalled: the controller is not taking commands (4 s)") ||
                 link.statusText().contains("Line stalled: the controller is not taking commands (5 s)"),
             qPrintable(link.statusText()));
    gait.timer.stop();
    const std::string newest = gait.newest();
    const qint64 resumedAt = device.nowMs();
    device.resume();
    QTRY_VERIFY_WITH_TIMEOUT(!link.stalled(), 3000);
    QTRY_COMPARE_WITH_TIMEOUT(stalls.size(), 2, 3000);
    QCOMPARE(stalls[1][0].toBool(), false);
    QVERIFY(stalls[1][1].toLongLong() >= 4000);
    QTRY_VERIFY_WITH_TIMEOUT(link.queuedCommands() == 0 && device.held() == std::size_t(0), 5000);
    QTest::qWait(100);
    const auto after = Positions(device.receivedBetween(resumedAt, 60000));
    std::map<int, std::vector<std::string>> byChannel;
    for (const auto& [channel, pulse] : after) byChannel[channel].push_back(pulse);
    QVERIFY2(after.size() <= 8 + 2, qPrintable(QString::number(after.size())));
    QCOMPARE(byChannel.size(), std::size_t(8));
    for (const auto& [channel, pulses] : byChannel) {
      QVERIFY2(pulses.size() <= 2, qPrintable(QString::number(channel)));  // one it held, then the newest
      QCOMPARE(pulses.back(), newest);
    }
    QCOMPARE(link.unconfirmedCommands(), std::uint64_t(0));
  }

  // Relax during a stall: the waiting positions dropped, SD00 to SD07 go
  // next after what the device already holds (at most two commands).
  void relaxDuringAStallGoesNext() {
    testing::QueuedDevice device;
    QVERIFY(device.ok());
    SerialLink link;
    link.setQueueProbe(device.probe());
    QVERIFY(link.Open(device.path()));
    Gait gait(link);
    QTest::qWait(300);
    device.stop();
    QTRY_VERIFY_WITH_TIMEOUT(link.stalled(), 3000);
    const qint64 stoppedAt = device.nowMs();
    gait.timer.stop();
    link.DropQueuedPositions();
    for (const auto literal : kDisableChannel) link.Write(ControlCommand(literal));
    device.resume();
    QTRY_VERIFY_WITH_TIMEOUT(device.received().find("SD07\r") != std::string::npos, 5000);
    std::string after = device.receivedBetween(stoppedAt, 60000);
    const std::size_t sd = after.find("SD00\r");
    QVERIFY(sd != std::string::npos);
    QVERIFY2(Positions(after.substr(0, sd)).size() <= 2, after.c_str());
    QCOMPARE(after.substr(sd), std::string("SD00\rSD01\rSD02\rSD03\rSD04\rSD05\rSD06\rSD07\r"));
  }

  // Exit during a stall: "SF" handed over, but the device does not pass it
  // on within the 2 s drain, so closing says it did not drain, and a
  // recording of the line ends saying how many commands were not seen to
  // leave the device; the replay reads that line as a comment.
  void exitDuringAStallIsNotConfirmed() {
    testing::QueuedDevice device;
    QVERIFY(device.ok());
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("stall.rec"));
    files::RecordingWriter recording;
    QString error;
    QVERIFY(recording.start(path, QStringLiteral("gaitpanel 1.0.0"), device.path(), SerialLink::Now(), &error));
    SerialLink link;
    link.setQueueProbe(device.probe());
    QObject::connect(&link, &SerialLink::commandHandedOver, &recording,
                     [&](const QByteArray& bytes, qint64 at) { recording.add(std::chrono::nanoseconds(at), bytes); });
    QVERIFY(link.Open(device.path()));
    Gait gait(link);
    QTest::qWait(300);
    device.stop();
    QTRY_VERIFY_WITH_TIMEOUT(link.stalled(), 3000);
    gait.timer.stop();
    link.Write(ControlCommand(kAllOff));
    QVERIFY(!link.Close());
    const std::uint64_t unconfirmed = link.unconfirmedCommands();
    QVERIFY2(unconfirmed >= 1, qPrintable(QString::number(unconfirmed)));
    QVERIFY(recording.stop(static_cast<qint64>(unconfirmed)));
    QFile written(path);
    QVERIFY(written.open(QIODevice::ReadOnly));
    const QByteArray text = written.readAll();
    QVERIFY2(text.endsWith(QStringLiteral("# not confirmed: %1 commands handed to the device were not seen to leave it\n")
                               .arg(unconfirmed)
                               .toUtf8()),
             text.right(200).constData());
    std::vector<files::RecordedCommand> read;
    QVERIFY2(files::ReadRecording(path, &read, &error), qPrintable(error));
  }

  // A plain pseudo-terminal cannot say what it holds: it is named so in the
  // status text, paced by the clock, and nothing handed to it counts as
  // confirmed; the program's own controller, which reads every byte at once,
  // is not named so.
  void aDeviceThatCannotReportIsNeverTrusted() {
    PtyPair pty;
    QVERIFY(pty.ok());
    SerialLink link;
    QVERIFY(link.Open(pty.slavePath()));
    QVERIFY(!link.reportsQueue() && !link.confirmsDelivery());
    QVERIFY2(link.statusText().endsWith(pty.slavePath() + " 9600,n,8,1, which cannot report what it still holds") &&
                 link.lineNote() == pty.slavePath() + " cannot report what it still holds",
             qPrintable(link.statusText()));
    link.Write(ControlCommand(kAllOff));
    QVERIFY(link.Close());  // handed over in time by the clock...
    QCOMPARE(link.unconfirmedCommands(), std::uint64_t(1));  // ...but not seen to leave
    QCOMPARE(pty.ReadUntil(3, 2000), std::string("SF\r"));

    link.setDeviceThatReadsEverything(pty.slavePath());
    QVERIFY(link.Open(pty.slavePath()));
    QVERIFY(link.confirmsDelivery());
    QVERIFY2(!link.statusText().contains("cannot report"), qPrintable(link.statusText()));
    link.Write(ControlCommand(kAllOff));
    QVERIFY(link.Close());
    QCOMPARE(link.unconfirmedCommands(), std::uint64_t(0));
  }
  void opensAt9600n81AndCarriesEveryCommandsBytes() {
    PtyPair pty;
    QVERIFY(pty.ok());
    SerialLink link;
    QSignalSpy states(&link, &SerialLink::stateChanged);
    QVERIFY(link.Open(pty.slavePath()));
    QCOMPARE(link.state(), SerialLink::State::Open);
    QCOMPARE(states.count(), 1);
    QCOMPARE(link.statusText(), pty.slavePath() + " 9600,n,8,1, which cannot report what it still holds");

    // 9600 baud, 8 data bits, no parity, one stop bit, raw bytes.
    termios tio{};
    QCOMPARE(tcgetattr(pty.slaveFd(), &tio), 0);
    QCOMPARE(cfgetospeed(&tio), speed_t(B9600));
    QCOMPARE(tio.c_cflag & CSIZE, tcflag_t(CS8));
    QCOMPARE(tio.c_cflag & (PARENB | CSTOPB | CRTSCTS), tcflag_t(0));
    QCOMPARE(tio.c_oflag & OPOST, tcflag_t(0));

    std::string expected;
    auto control = [&](std::string_view literal) {
      WriteCommand(link, literal);
      expected += std::string(literal) + "\r";
    };
    control(kAllOn);
    Delay(2000);
    control(kAllConfirm);
    control(kAllOff);
    for (auto c : kEnableChannel) control(c);
    for (auto c : kDisableChannel) control(c);
    control(kEnableNinth);
    control(kDisableNinth);
    SendPos(link, 3, "0729");
    expected += "SW0 20729\r\r";
    SendPos(link, 8, "09C4");
    expected += "SW0 709C4\r\r";

    const std::string line = pty.ReadUntil(expected.size(), 10000);
    QCOMPARE(QByteArray::fromStdString(line), QByteArray::fromStdString(expected));
    QCOMPARE(line.substr(0, 5), std::string("SO\rSC\r", 5));
    QVERIFY(line.find("SE00\r") != std::string::npos);
    QVERIFY(line.find("\x53\x57\x30\x20\x32\x30\x37\x32\x39\x0D\x0D") != std::string::npos);

    QTRY_VERIFY(link.counters().sent == 23u);
    QCOMPARE(link.counters().bytesSent, std::uint64_t(expected.size()));
    QCOMPARE(link.counters().stale, std::uint64_t(0));
    QCOMPARE(link.counters().droppedOffline, std::uint64_t(0));
  }

  // Never ahead of 960 bytes a second, and every byte arrives. How much
  // slower a busy machine makes it is no fault of the link's.
  void pacesToTheLine() {
    PtyPair pty;
    SerialLink link;
    QVERIFY(link.Open(pty.slavePath()));
    constexpr int kCommands = 150;  // 750 bytes, about 0.78 s on the line
    QElapsedTimer t;
    t.start();
    for (int i = 0; i < kCommands; ++i) WriteCommand(link, kEnableChannel[i % 8]);
    // The first three go to the port at once (the lead); the rest wait in
    // the queue, but for the few the line took while the writes went on.
    const auto mayHaveGone = static_cast<std::size_t>(static_cast<double>(t.nsecsElapsed()) / 1e9 * 960.0 / 5) + 1;
    const std::size_t largest = link.counters().largestQueue;
    constexpr std::size_t kQueuedAtMost = kCommands - 3;
    QVERIFY2(largest <= kQueuedAtMost && largest + mayHaveGone >= kQueuedAtMost, qPrintable(QString::number(largest)));
    std::size_t got = 0;
    double worstAhead = 0;
    while (got < kCommands * 5 && t.elapsed() < 30000) {
      QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
      got += pty.ReadNow().size();
      const double allowed = static_cast<double>(t.nsecsElapsed()) / 1e9 * 960.0;
      worstAhead = std::max(worstAhead, static_cast<double>(got) - allowed);
      QThread::usleep(500);
    }
    QCOMPARE(got, std::size_t(kCommands * 5));
    // At most the lead (two or three short commands) ahead of the line.
    QVERIFY2(worstAhead <= 20.0, qPrintable(QString::number(worstAhead)));
  }

  void latestWinsAndControlCommandsStay() {
    PtyPair pty;
    SerialLink link;
    QVERIFY(link.Open(pty.slavePath()));
    std::string expected;
    // Sixty commands fill the line for about 310 ms: everything below is
    // queued, even if this thread stalls for a while on a busy machine.
    for (int i = 0; i < 60; ++i) {
      WriteCommand(link, kEnableChannel[i % 8]);
      expected += std::string(kEnableChannel[i % 8]) + "\r";
    }
    SendPos(link, 1, "0100");
    SendPos(link, 2, "0200");
    SendPos(link, 1, "0101");  // replaces module 1's in place
    WriteCommand(link, kAllOff);
    SendPos(link, 2, "0201");  // module 2's waiting one is dropped; this goes last
    SendPos(link, 1, "0102");  // and so is module 1's, for the same reason
    SendPos(link, 1, "0103");  // nothing behind it now: in place
    WriteCommand(link, kAllOn);
    Delay(2000);
    WriteCommand(link, kAllConfirm);
    SendPos(link, 3, "0300");
    expected += "SF\r" + Pos(2, "0201") + Pos(1, "0103") + "SO\rSC\r" + Pos(3, "0300");

    const std::string line = pty.ReadUntil(expected.size(), 10000);
    QCOMPARE(QByteArray::fromStdString(line), QByteArray::fromStdString(expected));
    QCOMPARE(pty.ReadFor(100), std::string());
    const LinkCounters c = link.counters();
    QCOMPARE(c.stale, std::uint64_t(4));
    QCOMPARE(c.sent, std::uint64_t(66));
    QCOMPARE(c.sent + c.stale, std::uint64_t(70));
  }

  void openFailuresLeaveTheLinkOffline() {
    {
      SerialLink link;
      QSignalSpy failures(&link, &SerialLink::failure);
      const QString missing = "/dev/gaitpanel-no-such-port";
      QVERIFY(!link.Open(missing));
      QCOMPARE(link.state(), SerialLink::State::OpenFailed);
      QVERIFY(!link.isOpen());
      QVERIFY2(link.lastError().startsWith("Cannot open the serial port " + missing + ": there is no such device. "),
               qPrintable(link.lastError()));
      QCOMPARE(link.openProblem().kind, PortProblem::Kind::NoSuchDevice);
      QVERIFY(link.statusText().contains(missing));
      // Whoever opened it offers a choice; the link itself reports nothing.
      QTest::qWait(50);
      QCOMPARE(failures.count(), 0);
      WriteCommand(link, kAllOn);
      SendPos(link, 1, "05DC");
      QCOMPARE(link.counters().droppedOffline, std::uint64_t(2));
      QCOMPARE(link.counters().sent, std::uint64_t(0));
      link.Close();
      QCOMPARE(link.state(), SerialLink::State::OpenFailed);
    }
    {
      PtyPair pty;
      SerialLink holder;
      QVERIFY(holder.Open(pty.slavePath()));
      SerialLink second;
      QSignalSpy failures(&second, &SerialLink::failure);
      QVERIFY(!second.Open(pty.slavePath()));
      QCOMPARE(second.state(), SerialLink::State::OpenFailed);
      QVERIFY2(second.lastError().startsWith("Cannot open the serial port " + pty.slavePath() + ": "),
               qPrintable(second.lastError()));
      QVERIFY2(second.lastError().contains("this program has it open already"), qPrintable(second.lastError()));
      QCOMPARE(failures.count(), 0);
      // The one that holds the port is not disturbed.
      WriteCommand(holder, kAllOff);
      QCOMPARE(pty.ReadUntil(3, 2000), std::string("SF\r"));
    }
  }

  void lossWhileWritingGoesOfflineOnce() { Loss(true); }
  void lossWhileIdleIsNoticed() { Loss(false); }

  // A pseudo-terminal opened by its own path lets go of its number and lock
  // when lost, and the next terminal given that number is left alone; behind
  // a link, the link is watched for a device again.
  void aLostPseudoTerminalComesBackOnlyBehindALink() {
    auto lost = std::make_unique<PtyPair>();
    const QString path = lost->slavePath();
    SerialLink direct;
    QVERIFY(direct.Open(path));
    QVERIFY(QFile::exists(LockFilePath(path)));
    lost.reset();
    QTRY_COMPARE(direct.state(), SerialLink::State::Lost);
    QTRY_VERIFY(!QFile::exists(LockFilePath(path)));
    QVERIFY(!direct.findChild<PortWatch*>()->watching());
    PtyPair next;  // most likely given the same number
    QTest::qWait(3 * PortWatch::kIntervalMs);
    QCOMPARE(direct.state(), SerialLink::State::Lost);
    if (next.slavePath() == path) QVERIFY(!QFile::exists(LockFilePath(path)));

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString stable = dir.filePath(QStringLiteral("robot"));
    QVERIFY(QFile::link(next.slavePath(), stable));
    SerialLink byLink;
    QVERIFY(byLink.Open(stable));
    next.CloseMaster();
    QTRY_COMPARE(byLink.state(), SerialLink::State::Lost);
    QVERIFY(byLink.findChild<PortWatch*>()->watching());
    QVERIFY2(byLink.lastError().endsWith("opens the device again by itself when it is back."),
             qPrintable(byLink.lastError()));
    QVERIFY(QFile::remove(stable));  // as the system removes a stable name with its device
  }

  void closeDrainsTheLineFirst() {
    PtyPair pty;
    auto link = std::make_unique<SerialLink>();
    QVERIFY(link->Open(pty.slavePath()));
    // Timed from before the first write: the line cannot have carried the
    // last byte sooner than its time on the line after that, however slowly
    // the writes themselves went.
    QElapsedTimer t;
    t.start();
    std::string expected;
    for (int i = 0; i < 40; ++i) {
      WriteCommand(*link, kDisableChannel[i % 8]);
      expected += std::string(kDisableChannel[i % 8]) + "\r";
    }
    WriteCommand(*link, kAllOff);
    expected += "SF\r";
    link->Close();
    const qint64 ms = t.elapsed();
    // 203 bytes take 211 ms on the line: closing cannot come sooner. (Later
    // is only the machine being busy; what matters is that nothing was lost.)
    QVERIFY2(ms >= 205, qPrintable(QString::number(ms)));
    QCOMPARE(link->state(), SerialLink::State::Closed);
    QCOMPARE(link->counters().sent, std::uint64_t(41));
    QCOMPARE(link->counters().droppedOffline, std::uint64_t(0));
    QCOMPARE(QByteArray::fromStdString(pty.ReadUntil(expected.size(), 1000)),
             QByteArray::fromStdString(expected));
    link->Close();  // again: nothing happens
    QCOMPARE(link->state(), SerialLink::State::Closed);
    WriteCommand(*link, kAllOn);
    QCOMPARE(link->counters().droppedOffline, std::uint64_t(1));
    QCOMPARE(pty.ReadFor(50), std::string());

    // The destructor closes the same way.
    PtyPair other;
    link = std::make_unique<SerialLink>();
    QVERIFY(link->Open(other.slavePath()));
    for (int i = 0; i < 10; ++i) WriteCommand(*link, kAllOn);
    WriteCommand(*link, kAllOff);
    link.reset();
    const std::string line = other.ReadUntil(33, 1000);
    QCOMPARE(line.size(), std::size_t(33));
    QCOMPARE(line.substr(30), std::string("SF\r"));
  }

  void closeGivesUpAfterTwoSeconds() {
    PtyPair pty;
    SerialLink link;
    QVERIFY(link.Open(pty.slavePath()));
    for (int i = 0; i < 600; ++i) WriteCommand(link, kEnableChannel[i % 8]);  // 3.1 s
    QElapsedTimer t;
    t.start();
    link.Close();
    const qint64 ms = t.elapsed();
    // It waits the whole two seconds, then gives up on the rest instead of
    // waiting for the line to carry it all; the upper bound only catches a
    // close that waits without end.
    QVERIFY2(ms >= 1900 && ms < SerialLink::kCloseDrainMs + 8000, qPrintable(QString::number(ms)));
    const LinkCounters c = link.counters();
    QVERIFY(c.droppedOffline > 0);
    QCOMPARE(c.sent + c.droppedOffline, std::uint64_t(600));
    QCOMPARE(pty.ReadNow().size(), std::size_t(c.bytesSent));
  }

 private:
  void Loss(bool writing) {
    PtyPair pty;
    SerialLink link;
    QSignalSpy failures(&link, &SerialLink::failure);
    QSignalSpy states(&link, &SerialLink::stateChanged);
    QVERIFY(link.Open(pty.slavePath()));
    if (writing) {
      for (int i = 0; i < 30; ++i) WriteCommand(link, kEnableChannel[i % 8]);
      pty.ReadFor(30);
    }
    pty.CloseMaster();
    if (writing) {
      for (int i = 0; i < 5; ++i) SendPos(link, 1 + i, "05DC");
    }
    QTRY_COMPARE(link.state(), SerialLink::State::Lost);
    QTRY_COMPARE(failures.count(), 1);
    const QString message = failures.at(0).at(0).toString();
    QVERIFY2(message.startsWith("The serial port " + pty.slavePath() + " was lost: "), qPrintable(message));
    QVERIFY2(message.endsWith("carries on without the robot. A pseudo-terminal does not come back: choose the device "
                              "again."),
             qPrintable(message));
    QVERIFY2(message.contains("hung up"), qPrintable(message));
    QCOMPARE(link.lastError(), message);
    QVERIFY(link.statusText().contains("lost"));

    // Offline: no spinning on the hung-up terminal, no second message,
    // commands dropped and counted. A spinning loop would take most of the
    // time it was given; an idle one next to none, however busy the machine.
    const double cpu = CpuSeconds();
    QElapsedTimer waited;
    waited.start();
    QTest::qWait(500);
    const double share = (CpuSeconds() - cpu) / (static_cast<double>(waited.nsecsElapsed()) / 1e9);
    QVERIFY2(share < 0.25, qPrintable(QString::number(share)));
    QCOMPARE(failures.count(), 1);
    const LinkCounters before = link.counters();
    if (writing) {
      QVERIFY(before.droppedOffline > 0);
    }
    WriteCommand(link, kAllOff);
    QCOMPARE(link.counters().droppedOffline, before.droppedOffline + 1);
    QCOMPARE(link.counters().sent, before.sent);
    QCOMPARE(link.queuedCommands(), std::size_t(0));
    link.Close();
    QCOMPARE(link.state(), SerialLink::State::Lost);
    QCOMPARE(states.count(), 2);  // Open, Lost
  }
};

}  // namespace gp

QTEST_GUILESS_MAIN(gp::SerialLinkTest)
#include "serial_link_test.moc"
