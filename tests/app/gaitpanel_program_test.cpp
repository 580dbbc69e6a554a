// The built program, run as a person runs it: --help, --version, options it
// does not know, and a whole start from the welcome window to the panel.

#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QtTest>

#include "tests/support/pty_pair.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

struct Run {
  int exitCode = -1;
  QProcess::ExitStatus status = QProcess::CrashExit;
  QString out;
  QString err;
};

Run Start(const QStringList& arguments, QProcessEnvironment env = QProcessEnvironment::systemEnvironment(),
          int timeoutMs = 20000) {
  QProcess process;
  process.setProcessEnvironment(env);
  process.start(QStringLiteral(GAITPANEL_BINARY), arguments);
  Run run;
  if (!process.waitForStarted(5000)) return run;
  if (!process.waitForFinished(timeoutMs)) {
    process.kill();
    process.waitForFinished();
    return run;
  }
  run.exitCode = process.exitCode();
  run.status = process.exitStatus();
  run.out = QString::fromLocal8Bit(process.readAllStandardOutput());
  run.err = QString::fromLocal8Bit(process.readAllStandardError());
  return run;
}

// The start-up probe's line: its figures and, last, the panel's status line.
const QRegularExpression kProbeLine(QStringLiteral("startup main_ns=(\\d+) welcome_ns=(\\d+) enter_ns=(\\d+) "
                                                   "panel_ns=(\\d+) rss_kb=(\\d+) hwm_kb=(\\d+) status=(.*)\n"));

}  // namespace

class GaitPanelProgramTest : public QObject {
  Q_OBJECT

 private slots:
  void withoutADisplay();
  void refusesWhatItDoesNotKnow_data();
  void refusesWhatItDoesNotKnow();
  void startsWithTheWelcomeWindowAndHandsOver();
  void refusesAGaitFileBeforeAnyWindow();
  void runsAgainstTheVirtualController();
  void opensADeviceWhoseNameIsNotText();
};

void GaitPanelProgramTest::withoutADisplay() {
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.remove(QStringLiteral("DISPLAY"));
  env.remove(QStringLiteral("WAYLAND_DISPLAY"));
  env.remove(QStringLiteral("QT_QPA_PLATFORM"));

  const Run version = Start({QStringLiteral("--version")}, env);
  QCOMPARE(version.status, QProcess::NormalExit);
  QCOMPARE(version.exitCode, 0);
  QCOMPARE(version.out, QStringLiteral("Gait Panel " GAITPANEL_VERSION "\n"));
  QCOMPARE(version.err, QString());

  for (const char* option : {"--help", "-h"}) {
    const Run help = Start({QString::fromLatin1(option)}, env);
    QCOMPARE(help.exitCode, 0);
    QVERIFY2(help.out.contains(QStringLiteral("--port <DEVICE>")), qPrintable(help.out));
    QVERIFY(help.out.contains(QStringLiteral("--version")));
    QVERIFY(help.out.contains(QStringLiteral("--help")));
    QVERIFY(help.out.contains(QStringLiteral("/dev/ttyS0")));  // the default, port 1
    QVERIFY(help.out.contains(QStringLiteral("--list-ports")));
    QCOMPARE(help.err, QString());
  }

  // One device a line, six fields, or a note that there is none.
  const Run ports = Start({QStringLiteral("--list-ports")}, env);
  QCOMPARE(ports.status, QProcess::NormalExit);
  QCOMPARE(ports.exitCode, 0);
  for (const QString& line : ports.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
    QVERIFY2(line.count(QLatin1Char('\t')) == 5, qPrintable(line));
  QVERIFY(ports.out.isEmpty() ? ports.err == QStringLiteral("No serial device is connected.\n") : ports.err.isEmpty());

  // The panel itself needs a window system: without one, or with a platform
  // that cannot start, one line and status 1, never a core dump.
  QProcessEnvironment broken = env;
  broken.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("no-such-platform"));
  for (const auto& [environment, reason] :
       {std::pair{env, QStringLiteral("no display (neither DISPLAY nor WAYLAND_DISPLAY is set)")},
        std::pair{broken, QStringLiteral("no-such-platform")}}) {
    const Run panel = Start({}, environment);
    QCOMPARE(panel.status, QProcess::NormalExit);
    QCOMPARE(panel.exitCode, 1);
    QVERIFY2(panel.err.startsWith(QStringLiteral("gaitpanel: cannot open a window: ")) &&
                 panel.err.contains(reason) && panel.err.count(QLatin1Char('\n')) == 1,
             qPrintable(panel.err));
  }
}

void GaitPanelProgramTest::refusesWhatItDoesNotKnow_data() {
  QTest::addColumn<QStringList>("arguments");
  QTest::addColumn<QString>("message");
  QTest::newRow("unknown long option") << QStringList{"--sped", "3"} << "Unknown option 'sped'.";
  QTest::newRow("unknown beside help") << QStringList{"--help", "--bogus"} << "Unknown option 'bogus'.";
  QTest::newRow("port without device") << QStringList{"--port"} << "Missing value after '--port'.";
  QTest::newRow("simulator with a port")
      << QStringList{"--simulator", "--port", "/dev/ttyUSB0"} << "--simulator and --port cannot be used together.";
  QTest::newRow("speed without replay") << QStringList{"--speed", "2"} << "--speed goes with --replay.";
  QTest::newRow("speed of zero") << QStringList{"--replay", "r.rec", "--speed", "0"}
                                 << "--speed needs a number above 0 and at most 1000, not '0'.";
  QTest::newRow("replay with a gait") << QStringList{"--replay", "r.rec", "--gait", "g.json"}
                                      << "--replay cannot be used with --gait or --record.";
  QTest::newRow("stray argument") << QStringList{"/dev/ttyUSB0"} << "Unexpected argument '/dev/ttyUSB0'.";
  // A robot that is neither built in nor a file, wherever a robot is taken:
  // the choices, not the physics library's file-not-found text.
  const QString choices = QStringLiteral("choose snake, caterpillar or pitch-yaw, or give the path of a MuJoCo "
                                         "model file (.xml).");
  const QString noWorm = QStringLiteral("--robot: there is no robot or model file called 'worm'; ") + choices;
  QTest::newRow("no such robot, panel") << QStringList{"--simulator", "--robot", "worm"} << noWorm;
  QTest::newRow("no such robot, simulate") << QStringList{"--simulate", "g.json", "--robot", "worm"} << noWorm;
  QTest::newRow("no such robot, search")
      << QStringList{"--search", "g.json", "--goal", "forward", "--output", "b.json", "--robot=worm"} << noWorm;
  QTest::newRow("a folder is no robot")
      << QStringList{"--simulator", "--robot", "/"}
      << QStringLiteral("--robot: there is no robot or model file called '/'; ") + choices;
  QTest::newRow("summary without simulate") << QStringList{"--simulator", "--summary"}
                                           << "--summary belongs to --simulate.";
  QTest::newRow("empty robot") << QStringList{"--simulator", "--robot="}
                               << QStringLiteral("--robot needs a robot: ") + choices;
}

void GaitPanelProgramTest::refusesWhatItDoesNotKnow() {
  QFETCH(QStringList, arguments);
  QFETCH(QString, message);
  const Run run = Start(arguments);
  QCOMPARE(run.status, QProcess::NormalExit);
  QCOMPARE(run.exitCode, 2);
  QCOMPARE(run.out, QString());
  // One clear line naming the fault, and where to look.
  QCOMPARE(run.err, QStringLiteral("gaitpanel: %1\nTry 'gaitpanel --help' for the options.\n").arg(message));
}

void GaitPanelProgramTest::startsWithTheWelcomeWindowAndHandsOver() {
  gp::testing::PtyPair pty;
  QVERIFY(pty.ok());
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.remove(QStringLiteral("QT_QPA_PLATFORM"));
  env.insert(QStringLiteral("GAITPANEL_STARTUP_PROBE"), QStringLiteral("1"));
  // The toolkit's own options still reach it.
  const Run run = Start(
      {QStringLiteral("-platform"), QStringLiteral("offscreen"), QStringLiteral("--port"), pty.slavePath()}, env);
  QCOMPARE(run.status, QProcess::NormalExit);
  QCOMPARE(run.exitCode, 0);
  // The probe's figures: welcome window first, then "Enter", then the panel.
  const QRegularExpressionMatch match = kProbeLine.match(run.out);
  QVERIFY2(match.hasMatch(), qPrintable(run.out + run.err));
  const qint64 mainNs = match.captured(1).toLongLong();
  const qint64 welcomeNs = match.captured(2).toLongLong();
  const qint64 enterNs = match.captured(3).toLongLong();
  const qint64 panelNs = match.captured(4).toLongLong();
  QVERIFY(mainNs < welcomeNs);
  QVERIFY(welcomeNs < enterNs);
  QVERIFY(enterNs < panelNs);
  QVERIFY(match.captured(5).toLongLong() > 0);
  // The panel opened the device it was given, and its start-up sent nothing.
  const QString status = match.captured(7);
  QVERIFY2(status.startsWith(pty.slavePath() + QStringLiteral(" 9600,n,8,1")), qPrintable(status));
  QVERIFY2(status.contains(QStringLiteral("Commands sent: 0 ")), qPrintable(status));
  // The probe then closes every window, which ends the panel as "Exit" does.
  QCOMPARE(pty.ReadNow(), std::string("SF\r"));
}

void GaitPanelProgramTest::refusesAGaitFileBeforeAnyWindow() {
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("walk.json"));
  QFile file(path);
  QVERIFY(file.open(QIODevice::WriteOnly));
  file.write(R"({"format": "gaitpanel-gait", "version": 1, "name": "x", "interval_ms": 20, "modules": [{}]})");
  file.close();
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.remove(QStringLiteral("DISPLAY"));
  env.remove(QStringLiteral("QT_QPA_PLATFORM"));  // a window would fail differently
  const Run run = Start({QStringLiteral("--gait"), path}, env);
  QCOMPARE(run.exitCode, 2);
  QCOMPARE(run.err, QStringLiteral("gaitpanel: %1: modules: has 1 entry; a gait has exactly 8\n").arg(path));

  // A preset named alone is found before any window (the missing display is
  // the next thing refused); a name that is no preset is refused as a file.
  const Run preset = Start({QStringLiteral("--gait"), QStringLiteral("lateral-undulation")}, env);
  QCOMPARE(preset.exitCode, 1);
  QVERIFY2(!preset.err.contains(QStringLiteral("lateral-undulation")), qPrintable(preset.err));
  const Run unknown = Start({QStringLiteral("--gait"), QStringLiteral("worm")}, env);
  QCOMPARE(unknown.exitCode, 2);
  QVERIFY2(unknown.err.startsWith(QStringLiteral("gaitpanel: worm: ")), qPrintable(unknown.err));
}

void GaitPanelProgramTest::runsAgainstTheVirtualController() {
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(QStringLiteral("GAITPANEL_STARTUP_PROBE"), QStringLiteral("1"));
  const Run run = Start({QStringLiteral("--simulator")}, env);
  QCOMPARE(run.status, QProcess::NormalExit);
  QVERIFY2(run.exitCode == 0, qPrintable(run.out + run.err));
  const QRegularExpressionMatch match = kProbeLine.match(run.out);
  QVERIFY2(match.hasMatch(), qPrintable(run.out + run.err));
  // The link opened the controller's terminal.
  const QString status = match.captured(7);
  QVERIFY2(status.startsWith(QStringLiteral("virtual servo controller (/dev/")) &&
               status.contains(QStringLiteral(") 9600,n,8,1 ")),
           qPrintable(status));

  // A robot the physics refuses is reported once, before any window.
  QTemporaryDir dir;
  const QString model = dir.filePath(QStringLiteral("robot.xml"));
  QFile file(model);
  QVERIFY(file.open(QIODevice::WriteOnly));
  file.write("<mujoco><worldbody><geom type=\"sphere\"/></worldbody></mujoco>");
  file.close();
  const Run refused = Start({QStringLiteral("--simulator"), QStringLiteral("--robot"), model}, env);
  QCOMPARE(refused.exitCode, 2);
  QVERIFY2(refused.err.contains(QStringLiteral("gaitpanel: %1: ").arg(model)) && refused.err.count(model) == 1 &&
               refused.err.count(QStringLiteral("gaitpanel: ")) == 1,
           qPrintable(refused.err));
  QVERIFY(!refused.out.contains(QStringLiteral("startup ")));
}

// A device path is bytes, not text: a link whose name is no valid UTF-8 is
// opened by the device it leads to, given in either form of --port.
void GaitPanelProgramTest::opensADeviceWhoseNameIsNotText() {
  for (const bool separate : {false, true}) {
    gp::testing::PtyPair pty;
    QTemporaryDir dir;
    QVERIFY(pty.ok() && dir.isValid());
    const QByteArray link = QFile::encodeName(dir.path()) + "/robot-\xff\xfe";
    QCOMPARE(::symlink(QFile::encodeName(pty.slavePath()).constData(), link.constData()), 0);
    const QByteArray joined = "--port=" + link;
    std::vector<const char*> argv = {GAITPANEL_BINARY, "-platform", "offscreen"};
    if (separate) {
      argv.insert(argv.end(), {"--port", link.constData()});
    } else {
      argv.push_back(joined.constData());
    }
    argv.push_back(nullptr);
    int out[2];
    QCOMPARE(::pipe(out), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    qputenv("GAITPANEL_STARTUP_PROBE", "1");
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    qunsetenv("QT_QPA_PLATFORM");
    pid_t child = 0;
    const int spawned =
        ::posix_spawn(&child, argv[0], &actions, nullptr, const_cast<char* const*>(argv.data()), environ);
    qunsetenv("GAITPANEL_STARTUP_PROBE");
    qputenv("QT_QPA_PLATFORM", platform);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    QCOMPARE(spawned, 0);
    QByteArray printed;
    char buffer[4096];
    for (ssize_t n; (n = ::read(out[0], buffer, sizeof buffer)) > 0;) printed.append(buffer, n);
    ::close(out[0]);
    int status = -1;
    QCOMPARE(::waitpid(child, &status, 0), child);
    QVERIFY(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    const QRegularExpressionMatch match = kProbeLine.match(QString::fromLocal8Bit(printed));
    QVERIFY2(match.hasMatch(), printed.constData());
    QVERIFY2(match.captured(7).startsWith(pty.slavePath() + QStringLiteral(" 9600,n,8,1")),
             qPrintable(match.captured(7)));
  }
}

QTEST_GUILESS_MAIN(GaitPanelProgramTest)
#include "gaitpanel_program_test.moc"
