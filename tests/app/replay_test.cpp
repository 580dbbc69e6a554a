// --replay as people run it: a recording played into a pseudo-terminal puts
// the same commands on the line in the same order at their recorded times;
// Ctrl+C stops between whole commands and turns the servos off; a malformed
// recording sends nothing.

#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>
#include <poll.h>

#include "files/recording.h"
#include "tests/support/pty_pair.h"

using namespace std::chrono_literals;

namespace {

struct Arrival {
  qint64 ms;  // on the test's clock
  std::string bytes;
};

// A short run as the panel records it: "Move", then ticks of two enabled
// modules 40 ms apart (the second command of a tick a line's time later),
// then "Pause".
std::vector<gp::files::RecordedCommand> ShortRun(int ticks) {
  std::vector<gp::files::RecordedCommand> run{{0, "SO\r"}, {35, "SC\r"}};
  for (int t = 0; t < ticks; ++t) {
    const qint64 at = 60 + 40 * t;
    const QByteArray pulse = QByteArray::number(1500 + 50 * (t % 7), 16).toUpper();
    run.push_back({at, "SW0 00" + pulse + "\r\r"});
    run.push_back({at + 12, "SW0 40" + pulse + "\r\r"});
  }
  run.push_back({run.back().ms + 30, "SF\r"});
  return run;
}

QString WriteRecording(const QTemporaryDir& dir, const std::vector<gp::files::RecordedCommand>& run) {
  const QString path = dir.filePath(QStringLiteral("run.rec"));
  gp::files::RecordingWriter writer;
  QString error;
  if (!writer.start(path, QStringLiteral("gaitpanel 1.0.0"), QStringLiteral("/dev/ttyUSB0"), 0ns, &error))
    qFatal("%s", qPrintable(error));
  for (const auto& c : run) writer.add(std::chrono::milliseconds(c.ms), c.bytes);
  writer.stop();
  return path;
}

// Reads the line until the process ends, stamping each read on arrival.
std::vector<Arrival> Listen(gp::testing::PtyPair& pty, QProcess& process, int timeoutMs) {
  std::vector<Arrival> arrivals;
  QElapsedTimer clock;
  clock.start();
  while (clock.elapsed() < timeoutMs) {
    std::string bytes = pty.ReadNow();
    if (!bytes.empty()) arrivals.push_back({clock.elapsed(), std::move(bytes)});
    if (process.state() == QProcess::NotRunning) break;
    process.waitForFinished(1);
  }
  std::string rest = pty.ReadNow();
  if (!rest.empty()) arrivals.push_back({clock.elapsed(), std::move(rest)});
  return arrivals;
}

void StartReplay(QProcess& process, const QString& path, const gp::testing::PtyPair& pty) {
  process.start(QStringLiteral(GAITPANEL_BINARY),
                {QStringLiteral("--replay"), path, QStringLiteral("--port"), pty.slavePath()});
}

std::string Joined(const std::vector<Arrival>& arrivals) {
  std::string all;
  for (const auto& a : arrivals) all += a.bytes;
  return all;
}

}  // namespace

class ReplayTest : public QObject {
  Q_OBJECT
 private slots:
  void replaysTheSameCommandsAtTheirRecordedTimes() {
    QTemporaryDir dir;
    const auto run = ShortRun(25);
    const QString path = WriteRecording(dir, run);
    gp::testing::PtyPair pty;
    QVERIFY(pty.ok());
    QProcess process;
    StartReplay(process, path, pty);
    QVERIFY(process.waitForStarted(5000));
    const auto arrivals = Listen(pty, process, 30000);
    QVERIFY(process.state() == QProcess::NotRunning || process.waitForFinished(5000));
    const QString out = QString::fromLocal8Bit(process.readAllStandardOutput());
    const QString err = QString::fromLocal8Bit(process.readAllStandardError());
    QVERIFY2(process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0, qPrintable(out + err));
    QVERIFY2(out.contains(QStringLiteral("Replayed %1 commands").arg(run.size())), qPrintable(out));

    // The same bytes, so the same commands in the same order.
    std::string expected;
    for (const auto& c : run) expected += c.bytes.toStdString();
    QCOMPARE(Joined(arrivals), expected);

    // Each command's first byte, relative to the first command's, within
    // 150 ms of its recorded time: a busy machine wakes the replay late now
    // and then, while a replay at the wrong pace would be half a second off
    // by its end.
    std::size_t offset = 0, chunk = 0, consumed = 0;
    qint64 firstArrival = -1;
    for (const auto& c : run) {
      while (consumed + arrivals[chunk].bytes.size() <= offset) consumed += arrivals[chunk++].bytes.size();
      const qint64 arrived = arrivals[chunk].ms;
      if (firstArrival < 0) firstArrival = arrived;
      const qint64 late = (arrived - firstArrival) - (c.ms - run.front().ms);
      QVERIFY2(std::abs(late) <= 150, qPrintable(QStringLiteral("%1 at %2 ms arrived %3 ms off")
                                                     .arg(QString::fromLatin1(c.bytes.trimmed()))
                                                     .arg(c.ms)
                                                     .arg(late)));
      offset += static_cast<std::size_t>(c.bytes.size());
    }
  }

  void stopSignalEndsWithAllOffAfterWholeCommands_data() {
    QTest::addColumn<int>("signalNumber");
    QTest::newRow("Ctrl+C") << SIGINT;
    QTest::newRow("terminate") << SIGTERM;
    QTest::newRow("closed terminal") << SIGHUP;
  }

  // Stopped mid-gait, the replay ends as "Exit" does: the commands before the
  // stop, each whole and in the recording's order (a position still waiting
  // may be left out), then "SF" as the last thing on the line.
  void stopSignalEndsWithAllOffAfterWholeCommands() {
    QFETCH(int, signalNumber);
    QTemporaryDir dir;
    const auto run = ShortRun(250);  // ten seconds
    const QString path = WriteRecording(dir, run);
    gp::testing::PtyPair pty;
    QVERIFY(pty.ok());
    QProcess process;
    StartReplay(process, path, pty);
    QVERIFY(process.waitForStarted(5000));
    std::string line = pty.ReadUntil(40, 10000);
    QVERIFY(line.size() >= 40);
    ::kill(static_cast<pid_t>(process.processId()), signalNumber);
    line += Joined(Listen(pty, process, 10000));
    QVERIFY(process.state() == QProcess::NotRunning || process.waitForFinished(5000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 130);
    const QString err = QString::fromLocal8Bit(process.readAllStandardError());
    // A pseudo-terminal cannot report what it holds: "SF" was handed to it,
    // and the replay does not claim more.
    QVERIFY2(err.contains(QStringLiteral("Stopped after")) &&
                 err.contains(QStringLiteral("then \"SF\" handed to %1, which cannot report what it still holds: "
                                             "that it reached the controller cannot be confirmed")
                                  .arg(pty.slavePath())),
             qPrintable(err));

    const std::string off = "SF\r";
    QVERIFY2(line.size() >= off.size() && line.compare(line.size() - off.size(), off.size(), off) == 0,
             qPrintable(QString::fromStdString(line.substr(line.size() > 30 ? line.size() - 30 : 0))));
    const std::string before = line.substr(0, line.size() - off.size());
    std::size_t at = 0, whole = 0;
    for (const auto& c : run) {
      if (at == before.size()) break;
      const std::string bytes = c.bytes.toStdString();
      if (before.compare(at, bytes.size(), bytes) == 0) {
        at += bytes.size();
        ++whole;
      } else {
        QVERIFY2(bytes.rfind("SW0", 0) == 0, qPrintable(QStringLiteral("%1 is missing or cut at byte %2")
                                                             .arg(QString::fromLatin1(c.bytes.trimmed()))
                                                             .arg(at)));
      }
    }
    QCOMPARE(at, before.size());
    QVERIFY2(whole >= 3 && whole < run.size() - 1, "stopped mid-replay, after SO, SC and a position");
  }

  // Started under nohup (SIGHUP ignored), a closed terminal does not stop it.
  void nohupKeepsTheHangUpIgnored() {
    QTemporaryDir dir;
    const QString path = WriteRecording(dir, ShortRun(250));
    gp::testing::PtyPair pty;
    QVERIFY(pty.ok());
    QProcess process;
    process.setChildProcessModifier([] { ::signal(SIGHUP, SIG_IGN); });
    StartReplay(process, path, pty);
    QVERIFY(process.waitForStarted(5000));
    QVERIFY(pty.ReadUntil(40, 10000).size() >= 40);
    ::kill(static_cast<pid_t>(process.processId()), SIGHUP);
    Listen(pty, process, 1500);
    QCOMPARE(process.state(), QProcess::Running);
    ::kill(static_cast<pid_t>(process.processId()), SIGINT);
    Listen(pty, process, 10000);
    QVERIFY(process.state() == QProcess::NotRunning || process.waitForFinished(5000));
    QCOMPARE(process.exitCode(), 130);
  }

  // A replay that runs to its end sends the recording and nothing more; one
  // that ends on a position says the servos are left on.
  void completeReplayAddsNothing() {
    QTemporaryDir dir;
    auto run = ShortRun(3);
    run.pop_back();  // stopped recording mid-gait: no "SF"
    const QString path = WriteRecording(dir, run);
    gp::testing::PtyPair pty;
    QVERIFY(pty.ok());
    QProcess process;
    StartReplay(process, path, pty);
    QVERIFY(process.waitForStarted(5000));
    const std::string line = Joined(Listen(pty, process, 20000));
    QVERIFY(process.state() == QProcess::NotRunning || process.waitForFinished(5000));
    QCOMPARE(process.exitCode(), 0);
    std::string expected;
    for (const auto& c : run) expected += c.bytes.toStdString();
    QCOMPARE(line, expected);
    const QString err = QString::fromLocal8Bit(process.readAllStandardError());
    QVERIFY2(err.contains(QStringLiteral("does not end with \"SF\"")), qPrintable(err));
  }

  void malformedRecordingSendsNothing() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("bad.rec"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("# header\n0\tSO\\r\n35\tSC\\r\n20\tSF\\r\n");
    file.close();
    gp::testing::PtyPair pty;
    QVERIFY(pty.ok());
    QProcess process;
    StartReplay(process, path, pty);
    QVERIFY(process.waitForFinished(10000));
    QCOMPARE(process.exitCode(), 2);
    const QString err = QString::fromLocal8Bit(process.readAllStandardError());
    QVERIFY2(err.contains(path + QStringLiteral(": line 4: ")), qPrintable(err));
    QCOMPARE(pty.ReadNow(), std::string());
  }

  // Before anything is sent, every line must be a whole command of the
  // protocol and every time must fit the replay's timer: otherwise the
  // controller would get a glued, cut or foreign command, or the replay
  // would fire everything at once or wait for ever.
  void whatIsNotAWholeCommandOrTimeSendsNothing_data() {
    QTest::addColumn<QByteArray>("recording");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("says");
    const QByteArray head = "# gaitpanel 1.0.0 recording; device pty; begun 2026-12-08T13:06:18Z\n0\tSO\\r\n";
    QTest::newRow("cut last line") << head + "1060\tS" << QStringList() << "line 3: column 7: the command ends";
    QTest::newRow("overlong line") << head + "40\tSW0 0" + QByteArray(20 * 1024 * 1024, 'A') + "\n"
                                   << QStringList() << "line 3: is longer than";
    QTest::newRow("raw NUL") << head + QByteArray("40\tSW0 0\x00" "5DC\\r\\r\n", 17) << QStringList()
                             << "line 3: column 9: the byte 0x00";
    QTest::newRow("blank for the tab") << head + "40 SF\\r\n" << QStringList() << "line 3: column 3:";
    QTest::newRow("time past a timer") << head + "2147483648\tSF\\r\n" << QStringList() << "line 3: column 1:";
    QTest::newRow("slow speed") << head + "40\tSF\\r\n" << QStringList{QStringLiteral("--speed"), QStringLiteral("1e-20")}
                                << "--speed 1e-20 would stretch";
  }

  void whatIsNotAWholeCommandOrTimeSendsNothing() {
    QFETCH(QByteArray, recording);
    QFETCH(QStringList, options);
    QFETCH(QString, says);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("bad.rec"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(recording), recording.size());
    file.close();
    gp::testing::PtyPair pty;
    QVERIFY(pty.ok());
    QProcess process;
    process.start(QStringLiteral(GAITPANEL_BINARY),
                  QStringList{QStringLiteral("--replay"), path, QStringLiteral("--port"), pty.slavePath()} + options);
    QVERIFY(process.waitForFinished(20000));
    const QString err = QString::fromLocal8Bit(process.readAllStandardError());
    QVERIFY2(process.exitCode() == 2 && err.contains(says), qPrintable(err));
    QCOMPARE(pty.ReadNow(), std::string());
  }

  void playsIntoTheVirtualControllerWithoutADisplay() {
    QTemporaryDir dir;
    const auto run = ShortRun(5);
    const QString path = WriteRecording(dir, run);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(GAITPANEL_BINARY),
                  {QStringLiteral("--replay"), path, QStringLiteral("--speed"), QStringLiteral("2")});
    QVERIFY(process.waitForFinished(20000));
    const QString out = QString::fromLocal8Bit(process.readAllStandardOutput());
    QVERIFY2(process.exitCode() == 0, qPrintable(out + process.readAllStandardError()));
    // On a busy machine the transmit queue may leave out a position that a
    // newer one of the same channel superseded; the replay says how many.
    const QRegularExpressionMatch left =
        QRegularExpression(QStringLiteral("\\((\\d+) positions left out as superseded\\)")).match(out);
    const int superseded = left.hasMatch() ? left.captured(1).toInt() : 0;
    QVERIFY2(out.contains(QStringLiteral("The virtual controller took %1 commands, 0 malformed")
                              .arg(static_cast<int>(run.size()) - superseded)),
             qPrintable(out));
  }
};

QTEST_GUILESS_MAIN(ReplayTest)
#include "replay_test.moc"
