// The panel changing the gait while it moves, and steering it by keys, on a
// pseudo-terminal line: a gait opened while the robot moves comes in without
// a jump and the boxes follow it, the operator's typing stays in force, and
// the keys steer only where no text box takes them.

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>
#include <map>
#include <memory>

#include "panel/behaviour_player.h"
#include "panel/drive_control.h"
#include "panel/form2.h"
#include "panel/gait_control.h"
#include "tests/support/pty_pair.h"
#include "ui/message_box.h"

namespace {

gp::files::Gait Undulation(double phaseStep) {
  gp::files::Gait g;
  g.name = QStringLiteral("wave");
  // Slow enough that every servo gets every step over the 9600-baud line.
  g.intervalMs = 100;
  for (int i = 0; i < 8; ++i) g.modules[static_cast<std::size_t>(i)] = {30, phaseStep * i, 0, true};
  return g;
}

double Degrees(const QString& hex) { return (hex.toInt(nullptr, 16) - 1500) * 180.0 / 2000.0; }

}  // namespace

class DriveControlTest : public QObject {
  Q_OBJECT
  std::unique_ptr<gp::testing::PtyPair> wire_;
  std::unique_ptr<gp::Form2> form_;

  QLineEdit* box(const QString& name) { return form_->findChild<QLineEdit*>(name); }
  QString statusText() { return form_->findChild<QLabel*>(QStringLiteral("StatusLine"))->text(); }

  // The largest step between two positions of each channel in the bytes.
  static std::map<QChar, double> LargestSteps(const QByteArray& line) {
    std::map<QChar, double> last, most;
    const QRegularExpression position(QStringLiteral("SW0 (\\d)([0-9A-F]+)\r\r"));
    for (const auto& m : position.globalMatch(QString::fromLatin1(line))) {
      const QChar c = m.captured(1).at(0);
      const double a = Degrees(m.captured(2));
      if (last.count(c)) most[c] = std::max(most[c], std::abs(a - last[c]));
      last[c] = a;
    }
    return most;
  }

 private slots:
  void init() {
    gp::SetCriticalBoxForTesting([](QWidget*, const QString& text) { qWarning("box: %s", qPrintable(text)); });
    wire_ = std::make_unique<gp::testing::PtyPair>();
    QVERIFY(wire_->ok());
    form_ = std::make_unique<gp::Form2>(gp::PanelOptions{wire_->slavePath(), QString()});
    form_->show();
    QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
  }
  void cleanup() {
    form_.reset();
    wire_.reset();
    gp::SetCriticalBoxForTesting(nullptr);
  }

  void gaitOpenedWhileMovingComesInWithoutAJumpAndTheBoxesFollow() {
    form_->gaitControl().applyGait(Undulation(-45), QStringLiteral("test"));
    for (int n = 1; n <= 8; ++n) form_->findChild<QCheckBox*>(QStringLiteral("Check%1").arg(n))->click();
    form_->findChild<QPushButton*>(QStringLiteral("Command7"))->click();
    wire_->ReadFor(800);

    // The reverse wave: modules 3 and 7 turn half round, which opened at
    // once would jump them by up to 60 degrees.
    const gp::files::Gait reverse = Undulation(45);
    form_->gaitControl().applyGait(reverse, QStringLiteral("test"));
    QVERIFY(form_->driver().live().blending());
    bool dipped = false;
    QByteArray line;
    for (int i = 0; i < 30 && form_->driver().live().blending(); ++i) {
      line += QByteArray::fromStdString(wire_->ReadFor(50));
      dipped = dipped || box(QStringLiteral("Text_Amp3"))->text().toInt() < 25;
      if (i == 2) {
        // Typed meanwhile: in force at once, and the blend leaves it alone.
        box(QStringLiteral("Text_initangle8"))->setText(QStringLiteral("-4"));
        QVERIFY(!form_->driver().live().blending(8));
      }
    }
    QVERIFY2(dipped, "module 3's amplitude eases through the change");
    line += QByteArray::fromStdString(wire_->ReadFor(400));
    // A tick may come late under load: a third of a second of the change's
    // 60 degrees a second on top of the wave's own step of 9.4 degrees.
    for (const auto& [channel, step] : LargestSteps(line)) QVERIFY2(step < 9.4 + 20 + 0.2, qPrintable(QString(channel)));

    // The boxes end on the gait's own numbers, the typed one kept.
    QCOMPARE(box(QStringLiteral("Text_Phase3"))->text(), QStringLiteral("90"));
    QCOMPARE(box(QStringLiteral("Text_Amp3"))->text(), QStringLiteral("30"));
    QCOMPARE(box(QStringLiteral("Text_initangle8"))->text(), QStringLiteral("-4"));
    QCOMPARE(form_->table().Phase[7], 270.0);
    // Module 8 was the operator's from the moment of typing: it stays as its boxes show it.
    QCOMPARE(form_->table().Phase[8], box(QStringLiteral("Text_Phase8"))->text().toDouble());
    QCOMPARE(form_->table().InitAngle[8], std::int16_t{-4});
    QTRY_VERIFY(!form_->driver().live().active());
  }

  void behaviourPlaysItsStepsForTheirTimesAndPauseStopsIt() {
    QTemporaryDir dir;
    QString error;
    gp::files::Gait small = Undulation(-45), large = Undulation(-45);
    for (auto& m : large.modules) m.amplitude = 40;
    large.name = QStringLiteral("large");
    QVERIFY(gp::files::WriteGaitFile(dir.filePath(QStringLiteral("small.json")), small, &error));
    QVERIFY(gp::files::WriteGaitFile(dir.filePath(QStringLiteral("large.json")), large, &error));
    const QString path = dir.filePath(QStringLiteral("b.json"));
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(R"({ "format": "gaitpanel-behaviour", "version": 1, "name": "two",
      "steps": [ { "gait": "small.json", "seconds": 0.6 }, { "gait": "large.json", "seconds": 0.6, "blend_s": 0.2 } ] })");
    f.close();

    gp::BehaviourPlayer& player = form_->gaitControl().player();
    QSignalSpy begun(&player, &gp::BehaviourPlayer::stepBegun), ended(&player, &gp::BehaviourPlayer::ended);
    for (int n = 1; n <= 8; ++n) form_->findChild<QCheckBox*>(QStringLiteral("Check%1").arg(n))->click();
    // Played before "Move": its time begins when the gait moves.
    QVERIFY(form_->gaitControl().playBehaviour(path));
    QCOMPARE(form_->table().Amp[1], std::int16_t{30});
    QTest::qWait(300);
    QCOMPARE(begun.count(), 1);
    QElapsedTimer clock;
    clock.start();
    form_->findChild<QPushButton*>(QStringLiteral("Command7"))->click();
    QTRY_COMPARE_WITH_TIMEOUT(begun.count(), 2, 5000);
    QVERIFY2(clock.elapsed() >= 550, qPrintable(QString::number(clock.elapsed())));
    QTRY_COMPARE_WITH_TIMEOUT(form_->table().Amp[1], std::int16_t{40}, 5000);
    QTRY_COMPARE_WITH_TIMEOUT(ended.count(), 1, 5000);
    QCOMPARE(ended.at(0).at(0).toString(), QStringLiteral("done"));
    QVERIFY(clock.elapsed() >= 1150);

    // "Pause" stops it: no step follows.
    QVERIFY(form_->gaitControl().playBehaviour(path));
    form_->findChild<QPushButton*>(QStringLiteral("Command8"))->click();
    QTRY_COMPARE(ended.count(), 2);
    QVERIFY(ended.at(1).at(0).toString().startsWith(QStringLiteral("stopped")));
    QTest::qWait(800);
    QCOMPARE(begun.count(), 3);
  }

  void keysSteerWhereNoBoxTakesThem() {
    gp::DriveControl& drive = form_->driveControl();
    QVERIFY(!statusText().contains(QStringLiteral("Drive:")));
    form_->activateWindow();
    QApplication::setActiveWindow(form_.get());
    QVERIFY(QTest::qWaitForWindowActive(form_.get()));
    QTest::keyClick(form_.get(), Qt::Key_D, Qt::ControlModifier);
    QTRY_VERIFY(drive.driving());  // a shortcut's press is animated
    QVERIFY2(statusText().contains(QStringLiteral("Drive: speed 0%, straight, amplitude 100%")), qPrintable(statusText()));

    QPushButton* move = form_->findChild<QPushButton*>(QStringLiteral("Command7"));
    move->setFocus();
    QTest::keyClick(move, Qt::Key_Up);
    QTest::keyClick(move, Qt::Key_W);
    QTest::keyClick(move, Qt::Key_Left);
    QCOMPARE(form_->driver().live().asked(), (gp::Steering{0.4, 0.2, 1}));
    QVERIFY2(statusText().contains(QStringLiteral("Drive: speed 40%, turn left 3°, amplitude 100%")), qPrintable(statusText()));
    // Q and E the amplitude, from half the base's (0) to its own (1), never past.
    for (int i = 0; i < 6; ++i) QTest::keyClick(move, Qt::Key_Q);
    QCOMPARE(form_->driver().live().asked().amplitude, 0.0);
    QTest::keyClick(move, Qt::Key_E);
    QVERIFY2(statusText().contains(QStringLiteral("amplitude 60%")), qPrintable(statusText()));
    for (int i = 0; i < 6; ++i) QTest::keyClick(move, Qt::Key_E);
    QCOMPARE(form_->driver().live().asked().amplitude, 1.0);

    // A text box keeps its arrows and letters.
    QLineEdit* amp = box(QStringLiteral("Text_Amp1"));
    amp->setFocus();
    amp->setCursorPosition(0);
    QTest::keyClick(amp, Qt::Key_Right);
    QTest::keyClick(amp, Qt::Key_S);
    QCOMPARE(amp->text(), QStringLiteral("9s0"));
    QCOMPARE(form_->driver().live().asked(), (gp::Steering{0.4, 0.2, 1}));

    move->setFocus();
    QTest::keyClick(move, Qt::Key_D, Qt::ControlModifier);
    QTRY_VERIFY(!drive.driving());
    QVERIFY(!statusText().contains(QStringLiteral("Drive:")));
  }
};

QTEST_MAIN(DriveControlTest)
#include "drive_control_test.moc"
