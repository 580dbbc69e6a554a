// The robot's serial port from the panel: a device that comes back, a switch
// while moving, the remembered choice, a device this user may not open, and
// the orderly end on SIGTERM or on a line that does not drain. Pseudo-
// terminals stand in for USB adapters; a symbolic link for a stable name.

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QDir>
#include <QStatusBar>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <grp.h>
#include <memory>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include "ui/message_box.h"
#include "app/shutdown_signals.h"
#include "link/port_problem.h"
#include "panel/form2.h"
#include "panel/port_control.h"
#include "panel/port_memory.h"
#include "panel/robot_control.h"
#include "tests/support/pty_pair.h"
#include "tests/support/critical_boxes.h"

using gp::Form2;
using PtyWire = gp::testing::PtyPair;

// QSKIP with a message only, which clang's pedantic warnings refuse.
#define SKIP_TEST(why)                       \
  do {                                       \
    QTest::qSkip(why, __FILE__, __LINE__);   \
    return;                                  \
  } while (false)

namespace {

// The line carries nothing but whole commands: positions of eleven bytes
// and the short controller commands.
bool WholeCommands(const QByteArray& line) {
  static const QRegularExpression whole(
      QStringLiteral("\\A(?:SW0 [0-7][0-9A-F]{1,4}\\r\\r|S[OCF]\\r|S[ED](?:0[0-7]|13)\\r)*\\z"));
  return whole.match(QString::fromLatin1(line)).hasMatch();
}

void StartMoving(Form2& form) {
  for (int r = 1; r <= 8; ++r) form.findChild<QCheckBox*>(QStringLiteral("Check%1").arg(r))->click();
  form.findChild<QPushButton*>(QStringLiteral("Command7"))->click();
}

// Reads until the line has carried a position of every module, and that
// position's end.
QByteArray UntilAllModules(PtyWire& wire, int maxMs = 5000) {
  QByteArray got;
  QElapsedTimer total;
  total.start();
  while (total.elapsed() < maxMs) {
    got += wire.ReadUntilQuiet(5, 50);
    const qsizetype last = got.indexOf("SW0 7");
    if (last >= 0 && got.indexOf("\r\r", last) >= 0) break;
  }
  return got + wire.ReadUntilQuiet(5, 50);
}

// Answers the dialog that is about to open, from inside its event loop.
void WhenDialogOpens(std::function<void(QWidget*)> answer) {
  QTimer::singleShot(0, [answer = std::move(answer)] {
    QTRY_VERIFY(QApplication::activeModalWidget() != nullptr);
    answer(QApplication::activeModalWidget());
  });
}

// Answers the question box about to open (it opens from inside a dialog's
// event loop) with the button given, noting its text. It looks on a timer
// rather than waiting in a loop of its own: a wait begun before the dialog's
// answer would hold that answer, and the question, underneath it.
void WhenQuestionOpens(QMessageBox::StandardButton answer, QString* text) {
  auto* look = new QTimer(QCoreApplication::instance());
  auto waited = std::make_shared<QElapsedTimer>();
  waited->start();
  QObject::connect(look, &QTimer::timeout, [look, waited, answer, text] {
    for (QWidget* w : QApplication::topLevelWidgets()) {
      if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible()) {
        look->stop();
        look->deleteLater();
        *text = box->text();
        box->button(answer)->click();
        return;
      }
    }
    // No question within 20 s: the test's own checks on *text then fail.
    if (waited->elapsed() > 20000) {
      look->stop();
      look->deleteLater();
    }
  });
  look->start(10);
}

// The port control's whole text (it shows it shortened where it is long).
QString PortText(Form2& form) { return form.findChild<gp::PortControl*>(QStringLiteral("PortControl"))->status(); }

}  // namespace

class PortPanelTest : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir config_;
  std::unique_ptr<gp::testing::CriticalBoxes> boxes_;
  QStringList& shown() { return boxes_->texts; }

  // Runs this test program again for one test function, with the extra
  // environment, in front of it the command given (setpriv, for another user).
  QProcess* RunChild(const QString& function, const QStringList& env, const QStringList& before = {}) {
    auto* child = new QProcess(this);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const QString& pair : env) environment.insert(pair.section('=', 0, 0), pair.section('=', 1));
    child->setProcessEnvironment(environment);
    QStringList arguments = before;
    arguments << QCoreApplication::applicationFilePath() << QStringLiteral("-nocrashhandler") << function;
    const QString program = arguments.takeFirst();
    child->start(program, arguments);
    return child;
  }

 private slots:
  void initTestCase() {
    QVERIFY(config_.isValid());
    // The remembered choice goes to a folder of this test's own.
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config_.path()));
  }

  void init() {
    boxes_ = std::make_unique<gp::testing::CriticalBoxes>();
    gp::RememberPort(QString());
  }

  void cleanup() { boxes_.reset(); }

  // The adapter is unplugged while the gait runs and comes back as another
  // device behind the same stable name: one message, then positions again
  // within 2 s by themselves, whole commands only, nothing resent.
  void lostDeviceComesBackUnderItsStableName() {
    QTemporaryDir byId;
    const QString stable = byId.filePath(QStringLiteral("usb-Robot_Works_Servo_Bridge-if00-port0"));
    auto first = std::make_unique<PtyWire>();
    std::unique_ptr<PtyWire> second;  // outlives the panel, which holds it open
    QVERIFY(QFile::link(first->slavePath(), stable));
    Form2 form(gp::PanelOptions{stable, QString()});
    QVERIFY(form.link().isOpen());
    StartMoving(form);
    const QByteArray before = UntilAllModules(*first);
    QVERIFY2(before.contains("SW0 7"), before.constData());
    QVERIFY(WholeCommands(before));

    // Unplugged: the stable name goes with its device, as the system removes
    // it; left behind, it would lead to whatever terminal gets the number next.
    QVERIFY(QFile::remove(stable));
    first.reset();
    QTRY_COMPARE(shown().size(), 1);
    QVERIFY2(shown()[0].contains(stable) && shown()[0].contains("lost"), qPrintable(shown()[0]));

    second = std::make_unique<PtyWire>();
    QVERIFY(QFile::link(second->slavePath(), stable));
    QElapsedTimer back;
    back.start();
    const QByteArray firstBytes = second->ReadUntilTail("\r", 5000);
    const qint64 reopenedMs = back.elapsed();
    QVERIFY2(reopenedMs < 2000, qPrintable(QString::number(reopenedMs)));
    const QByteArray after = firstBytes + UntilAllModules(*second);
    QVERIFY2(WholeCommands(after), after.constData());
    QVERIFY2(after.startsWith("SW0 "), after.constData());  // no "SO"/"SC" replayed
    QVERIFY2(PortText(form).contains("reopened"), qPrintable(PortText(form)));
    QCOMPARE(shown().size(), 1);
  }

  // Switching while the gait runs: the old device gets its last commands
  // whole (the enable given just before included), the new one positions;
  // nothing reaches both.
  void switchingDevicesWhileMoving() {
    PtyWire oldWire;
    PtyWire newWire;
    Form2 form(gp::PanelOptions{oldWire.slavePath(), QString()});
    StartMoving(form);
    QByteArray onOld = UntilAllModules(oldWire);
    form.findChild<QCheckBox*>(QStringLiteral("Check9"))->click();  // "SE13", queued behind positions
    auto* control = form.findChild<gp::PortControl*>(QStringLiteral("PortControl"));
    QCOMPARE(control->switchTo(newWire.slavePath()), QString());
    onOld += oldWire.ReadUntilQuiet(200);
    const QByteArray onNew = UntilAllModules(newWire);

    QVERIFY2(WholeCommands(onOld), onOld.constData());
    QVERIFY2(WholeCommands(onNew), onNew.constData());
    QCOMPARE(onOld.count("SE13\r"), 1);
    QVERIFY2(onNew.startsWith("SW0 ") && !onNew.contains("SE13"), onNew.constData());
    QVERIFY(PortText(form).contains(newWire.slavePath()));
    QVERIFY2(PortText(form).contains("switched from " + oldWire.slavePath()), qPrintable(PortText(form)));
    QCOMPARE(gp::RememberedPort(), newWire.slavePath());
    QCOMPARE(form.state().Running, gp::kTrue);  // the gait is untouched
    QVERIFY(shown().isEmpty());
  }

  // A device chosen in the start-up dialog is remembered on disk and opened
  // next time; --port wins over it.
  void rememberedChoiceAndPortOption() {
    PtyWire robot;
    WhenDialogOpens([&](QWidget* dialog) {
      QVERIFY2(dialog->windowTitle() == "Gait Panel", qPrintable(dialog->windowTitle()));
      dialog->findChild<QLineEdit*>(QStringLiteral("PortName"))->setText(robot.slavePath());
      dialog->findChild<QPushButton*>(QStringLiteral("Open"))->click();
    });
    {
      Form2 form(gp::PanelOptions{QStringLiteral("/dev/gaitpanel-no-such-port"), QString()});
      QVERIFY(form.link().isOpen());
      QCOMPARE(form.link().deviceName(), robot.slavePath());
    }
    QFile stored(config_.filePath(QStringLiteral("gaitpanel/gaitpanel.conf")));
    QVERIFY(stored.open(QIODevice::ReadOnly));
    QVERIFY(stored.readAll().contains(robot.slavePath().toUtf8()));
    QCOMPARE(gp::PortToOpen(QStringLiteral("/dev/ttyS0"), false, QStringLiteral("/dev/ttyS0")), robot.slavePath());
    QCOMPARE(gp::PortToOpen(QStringLiteral("/dev/ttyUSB3"), true, QStringLiteral("/dev/ttyS0")),
             QStringLiteral("/dev/ttyUSB3"));
    gp::RememberPort(QString());
    QCOMPARE(gp::PortToOpen(QString(), false, QStringLiteral("/dev/ttyS0")), QStringLiteral("/dev/ttyS0"));
  }

  // A remembered profile whose file is gone (a stick not plugged in) is
  // told at start, and kept for when it is back; a settings write that fails
  // is told once in the status line.
  void aGoneProfileAndAFailedSettingsWriteAreTold() {
    PtyWire wire;
    const QString gone = config_.filePath(QStringLiteral("stick/desk-snake.json"));
    gp::RememberProfile(gone);
    Form2 form(gp::PanelOptions{wire.slavePath(), QString()});
    form.show();
    form.robotControl().openRemembered();
    QCOMPARE(shown().size(), 1);
    QVERIFY2(shown()[0] == QStringLiteral("The robot profile %1 opened last time is gone: the panel runs without its "
                                         "limits until you open it again or choose No profile.")
                              .arg(gone),
             qPrintable(shown()[0]));
    QCOMPARE(gp::RememberedProfile(), gone);
    QVERIFY(!form.robotControl().applier());

    // The settings file cannot be written where a folder stands in its way.
    const QString conf = config_.filePath(QStringLiteral("gaitpanel/gaitpanel.conf"));
    QVERIFY(QFile::remove(conf));
    QVERIFY(QDir().mkpath(conf));
    gp::RememberPort(QStringLiteral("/dev/ttyUSB7"));
    QTRY_VERIFY(form.statusBar()->currentMessage().contains(QStringLiteral("The settings cannot be saved to ") + conf));
    form.statusBar()->clearMessage();
    gp::RememberPort(QStringLiteral("/dev/ttyUSB8"));
    QTest::qWait(50);
    QVERIFY2(form.statusBar()->currentMessage().isEmpty(), qPrintable(form.statusBar()->currentMessage()));
    QVERIFY(QDir(conf).removeRecursively());
    gp::RememberProfile(QString());
  }

  // Escape pauses only while "Pause" may be pressed; the port control is
  // out of the Tab order and opens with its shortcut.
  void escapePausesAndThePortControlHasItsShortcut() {
    PtyWire wire;
    Form2 form(gp::PanelOptions{wire.slavePath(), QString()});
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QApplication::setActiveWindow(&form);
    QVERIFY(QTest::qWaitForWindowActive(&form));
    StartMoving(form);
    UntilAllModules(wire);
    QTest::keyClick(&form, Qt::Key_Escape);
    QCOMPARE(form.state().Running, gp::kFalse);
    QVERIFY(!form.findChild<QPushButton*>(QStringLiteral("Command8"))->isEnabled());
    QVERIFY(wire.ReadUntilTail("SF\r").endsWith("SF\r"));
    QTest::keyClick(&form, Qt::Key_Escape);  // "Pause" is disabled now: nothing
    QCOMPARE(wire.ReadUntilQuiet(300).count("SF\r"), 0);
    QVERIFY(form.findChild<QLabel*>(QStringLiteral("StatusLine"))->text().contains("Esc: Pause"));

    auto* control = form.findChild<QToolButton*>(QStringLiteral("PortControl"));
    QCOMPARE(control->focusPolicy(), Qt::NoFocus);
    QVERIFY(control->toolTip().contains(gp::PortControl::kShortcut));
    QString offered;
    WhenDialogOpens([&](QWidget* dialog) {
      offered = dialog->objectName();
      for (const char* name : {"Open", "Reconnect", "Disconnect"})
        QVERIFY(dialog->findChild<QPushButton*>(QString::fromLatin1(name)) != nullptr);
      dialog->findChild<QPushButton*>(QStringLiteral("Disconnect"))->click();
    });
    QString asked;
    WhenQuestionOpens(QMessageBox::No, &asked);
    QTest::keyClick(&form, Qt::Key_P, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(offered, QStringLiteral("PortDialog"));
    QVERIFY(!form.link().isOpen());
    QCOMPARE(wire.ReadUntilQuiet(300), QByteArray());  // "No": nothing sent
  }

  // "Disconnect" while eight modules move asks first whether to send "SF":
  // Cancel keeps the connection and the gait, Yes ends the line with "SF"
  // after the last whole command and closes the port.
  void disconnectOffersToSwitchTheServosOff() {
    PtyWire wire;
    Form2 form(gp::PanelOptions{wire.slavePath(), QString()});
    auto* control = form.findChild<gp::PortControl*>(QStringLiteral("PortControl"));
    StartMoving(form);
    QByteArray line = UntilAllModules(wire);
    QString asked;
    QString shownInDialog;
    WhenDialogOpens([&](QWidget* dialog) {
      WhenQuestionOpens(QMessageBox::Cancel, &asked);
      dialog->findChild<QPushButton*>(QStringLiteral("Disconnect"))->click();
      shownInDialog = dialog->findChild<QLabel*>(QStringLiteral("PortMessage"))->text();
      dialog->close();
    });
    control->choose();
    QVERIFY2(asked.contains(wire.slavePath()) && asked.contains("\"SF\""), qPrintable(asked));
    QVERIFY2(shownInDialog.contains("Still connected"), qPrintable(shownInDialog));
    QVERIFY(form.link().isOpen());
    line += UntilAllModules(wire);  // the gait goes on
    QVERIFY2(line.count("SW0 7") >= 2, line.constData());

    WhenDialogOpens([&](QWidget* dialog) {
      WhenQuestionOpens(QMessageBox::Yes, &asked);
      dialog->findChild<QPushButton*>(QStringLiteral("Disconnect"))->click();
    });
    control->choose();
    QCOMPARE(form.link().state(), gp::SerialLink::State::Closed);
    QVERIFY(!QFile::exists(gp::LockFilePath(wire.slavePath())));
    line += wire.ReadUntilQuiet(300);
    QVERIFY2(line.endsWith("SF\r") && WholeCommands(line), line.right(64).constData());
    QVERIFY(shown().isEmpty());
  }

  // Run as nobody: the device belongs to dialout, 0660.
  void permissionDeniedNamesTheGroup() {
    if (::geteuid() != 0) SKIP_TEST("needs root to hand the device to dialout and to run the panel as nobody");
    const group* dialout = ::getgrnam("dialout");
    if (!dialout) SKIP_TEST("this system has no dialout group");
    PtyWire wire;
    const QByteArray path = QFile::encodeName(wire.slavePath());
    QCOMPARE(::chown(path.constData(), 0, dialout->gr_gid), 0);
    QCOMPARE(::chmod(path.constData(), 0660), 0);
    QProcess* child = RunChild(QStringLiteral("permissionDeniedAsNobody"), {"GP_DENIED_DEVICE=" + wire.slavePath()},
                               {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "--"});
    QVERIFY(child->waitForFinished(60000));
    const QString out = QString::fromLocal8Bit(child->readAllStandardOutput() + child->readAllStandardError());
    QVERIFY2(child->exitCode() == 0 && out.contains("PASS   : PortPanelTest::permissionDeniedAsNobody()"),
             qPrintable(out));
  }

  void permissionDeniedAsNobody() {
    const QString device = qEnvironmentVariable("GP_DENIED_DEVICE");
    if (device.isEmpty()) SKIP_TEST("run by permissionDeniedNamesTheGroup as another user");
    QString offered;
    WhenDialogOpens([&](QWidget* dialog) {
      offered = dialog->findChild<QLabel*>(QStringLiteral("PortMessage"))->text();
      QTest::keyClick(dialog, Qt::Key_Return);
    });
    Form2 form(gp::PanelOptions{device, QString()});
    QVERIFY2(offered.contains("permission denied: the device belongs to the group \"dialout\""), qPrintable(offered));
    QVERIFY2(offered.contains("sudo usermod -aG dialout $USER, then log out and in"), qPrintable(offered));
    QVERIFY(!form.link().isOpen());  // Return: continue without the robot
    QVERIFY(form.driver().timer1().isActive());
  }

  // SIGTERM while eight modules move: status 0, "SF" last, the lock gone.
  void sigtermEndsAsExitDoes() {
    PtyWire wire;
    QProcess* child = RunChild(QStringLiteral("movingUntilSignalled"), {"GP_MOVING_DEVICE=" + wire.slavePath()});
    QVERIFY(child->waitForStarted());
    QVERIFY(child->waitForReadyRead(20000));
    QByteArray line = UntilAllModules(wire, 20000);
    QVERIFY2(line.contains("SW0 7"), line.constData());
    QVERIFY(QFile::exists(gp::LockFilePath(wire.slavePath())));
    child->terminate();
    QVERIFY(child->waitForFinished(20000));
    line += wire.ReadUntilQuiet();
    const QString out = QString::fromLocal8Bit(child->readAllStandardOutput() + child->readAllStandardError());
    QCOMPARE(child->exitStatus(), QProcess::NormalExit);
    QVERIFY2(child->exitCode() == 0, qPrintable(out));
    QVERIFY2(line.endsWith("SF\r") && WholeCommands(line), line.right(64).constData());
    QVERIFY(!QFile::exists(gp::LockFilePath(wire.slavePath())));
  }

  void movingUntilSignalled() {
    const QString device = qEnvironmentVariable("GP_MOVING_DEVICE");
    if (device.isEmpty()) SKIP_TEST("run by sigtermEndsAsExitDoes");
    Form2 form(gp::PanelOptions{device, QString()});
    gp::ShutdownSignals signals_;
    QVERIFY(signals_.installed());
    connect(&signals_, &gp::ShutdownSignals::requested, &form, [&form] { form.exitBySignal(); });
    StartMoving(form);
    std::puts("moving");
    std::fflush(stdout);
    QCOMPARE(QCoreApplication::exec(), 0);
    QVERIFY(!form.link().isOpen());
  }

  // The window closed by its frame while eight modules move, with another
  // window still open (the virtual controller's): the program ends as "Exit"
  // ends it, with "SF" after the last whole command, and the lock gone. Run
  // in a child, as the program's end ends its event loop for good.
  void frameCloseWhileMovingEndsAsExitDoes() {
    PtyWire wire;
    QProcess* child = RunChild(QStringLiteral("movingUntilClosedByTheFrame"), {"GP_FRAME_DEVICE=" + wire.slavePath()});
    QVERIFY(child->waitForStarted());
    QByteArray line;
    while (child->state() != QProcess::NotRunning) line += wire.ReadUntilQuiet(50, 100);
    line += wire.ReadUntilQuiet(300);
    const QString out = QString::fromLocal8Bit(child->readAllStandardOutput() + child->readAllStandardError());
    QVERIFY2(child->exitCode() == 0 && out.contains("PASS   : PortPanelTest::movingUntilClosedByTheFrame()"),
             qPrintable(out));
    QVERIFY2(line.contains("SW0 7"), line.constData());
    QVERIFY2(line.endsWith("SF\r") && WholeCommands(line), line.right(64).constData());
    QVERIFY(!QFile::exists(gp::LockFilePath(wire.slavePath())));
  }

  void movingUntilClosedByTheFrame() {
    const QString device = qEnvironmentVariable("GP_FRAME_DEVICE");
    if (device.isEmpty()) SKIP_TEST("run by frameCloseWhileMovingEndsAsExitDoes");
    QWidget other;
    other.show();
    Form2 form(gp::PanelOptions{device, QString()});
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QSignalSpy exited(&form, &Form2::exited);
    StartMoving(form);
    // Closed as the frame's close button closes it, once positions flow.
    QTimer poll;
    connect(&poll, &QTimer::timeout, &form, [&] {
      if (form.link().counters().sent < 40) return;
      poll.stop();
      form.close();
    });
    poll.start(10);
    QTimer::singleShot(20000, &other, [] { QCoreApplication::exit(1); });  // the program did not end
    QCOMPARE(QCoreApplication::exec(), 0);
    QCOMPARE(exited.count(), 1);
    QVERIFY(!form.isVisible());
    QCOMPARE(form.link().state(), gp::SerialLink::State::Closed);
    QVERIFY(!form.driver().timer1().isActive() && !form.driver().timer2().isActive());
    QVERIFY(shown().isEmpty());
  }

  // A line that takes nothing more: "Exit", a close by the frame and
  // "Disconnect" with "SF" say that "SF" may not have gone.
  void exitOnAStalledLineSaysSo() {
    {
      PtyWire wire;
      Form2 form(gp::PanelOptions{wire.slavePath(), QString()});
      const int slave = ::open(QFile::encodeName(wire.slavePath()).constData(), O_RDWR | O_NOCTTY);
      QVERIFY(slave >= 0);
      QCOMPARE(::tcflow(slave, TCOOFF), 0);
      QString asked;
      QString shownInDialog;
      WhenDialogOpens([&](QWidget* dialog) {
        WhenQuestionOpens(QMessageBox::Yes, &asked);
        dialog->findChild<QPushButton*>(QStringLiteral("Disconnect"))->click();
        shownInDialog = dialog->findChild<QLabel*>(QStringLiteral("PortMessage"))->text();
        dialog->close();
      });
      form.findChild<gp::PortControl*>(QStringLiteral("PortControl"))->choose();
      ::tcflow(slave, TCOON);
      ::close(slave);
      QVERIFY2(shownInDialog.contains("\"SF\" within 2 seconds: it may not have reached the controller"),
               qPrintable(asked + QLatin1Char('|') + shownInDialog));
      QVERIFY(!form.link().isOpen());
    }
    for (const bool byFrame : {false, true}) {
      shown().clear();
      PtyWire wire;
      Form2 form(gp::PanelOptions{wire.slavePath(), QString()});
      form.show();
      QVERIFY(QTest::qWaitForWindowExposed(&form));
      const int slave = ::open(QFile::encodeName(wire.slavePath()).constData(), O_RDWR | O_NOCTTY);
      QVERIFY(slave >= 0);
      QCOMPARE(::tcflow(slave, TCOOFF), 0);
      if (byFrame) {
        form.close();
      } else {
        form.findChild<QPushButton*>(QStringLiteral("Command_Exit"))->click();
      }
      ::tcflow(slave, TCOON);
      ::close(slave);
      QCOMPARE(shown().size(), 1);
      QVERIFY2(shown()[0].contains(wire.slavePath()) &&
                   shown()[0].contains("\"SF\" may not have reached the controller"),
               qPrintable(shown()[0]));
      QVERIFY(!form.link().isOpen());
      QVERIFY(!form.isVisible());
    }
  }
};

QTEST_MAIN(PortPanelTest)
#include "port_panel_test.moc"
