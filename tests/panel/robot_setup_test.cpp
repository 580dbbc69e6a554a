// "Set up the robot..." on a pseudo-terminal: a jog sends only its own
// channel's positions, never past the limits shown, no faster than the
// speed limit and starting slowly; Relax overtakes it; the profile it writes
// reads back as the same numbers, is opened in the panel and holds the gait
// within its limits; while the gait moves, the sliders are disabled.

#include "panel/robot_setup.h"

#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QTemporaryDir>
#include <QtTest>
#include <cstdlib>
#include <vector>

#include "files/robot_profile.h"
#include "gait/gait_tick.h"
#include "gait/waveform.h"
#include "panel/form2.h"
#include "panel/relax_control.h"
#include "panel/robot_control.h"
#include "tests/support/pty_pair.h"

namespace gp {
namespace {

struct Position {
  int channel;
  int pulse;
};

// The position commands in what came over the line, in order.
std::vector<Position> Positions(const QByteArray& bytes) {
  std::vector<Position> out;
  for (const QByteArray& c : bytes.split('\r')) {
    if (!c.startsWith("SW0")) continue;
    out.push_back({c.mid(3, 2).trimmed().toInt(), c.mid(5).toInt(nullptr, 16)});
  }
  return out;
}

int Pulse(double angle) { return *AngleToPulse(angle); }

}  // namespace

class RobotSetupTest : public QObject {
  Q_OBJECT
  std::unique_ptr<testing::PtyPair> pty_;
  std::unique_ptr<Form2> form_;
  QTemporaryDir dir_;

  RobotSetup& openSetup(const RobotProfile* profile) {
    if (profile) form_->robotControl().useProfile(*profile, QStringLiteral("given.json"));
    form_->showRobotSetup();
    return *form_->robotSetup();
  }

 private slots:
  void init() {
    pty_ = std::make_unique<testing::PtyPair>();
    QVERIFY(pty_->ok());
    form_ = std::make_unique<Form2>(PanelOptions{pty_->slavePath(), QString()});
    form_->show();
    QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
  }
  void cleanup() {
    form_.reset();
    pty_.reset();
  }

  void jogsOneChannelWithinItsLimitsAtTheSpeedLimit() {
    RobotSetup& setup = openSetup(nullptr);
    // No profile open: every limit at 30 degrees, no trim.
    QCOMPARE(setup.profile().module(3).min, -30.0);
    QCOMPARE(setup.profile().module(3).trim, 0.0);
    form_->findChild<QCheckBox*>(QStringLiteral("Check3"))->click();
    QCOMPARE(pty_->ReadUntilQuiet(), QByteArray("SE02\r"));

    setup.slider(3)->setValue(80);  // past the limit: stops at it
    QCOMPARE(setup.slider(3)->value(), 30);
    QTRY_VERIFY_WITH_TIMEOUT(!setup.jogging(), 10000);
    const std::vector<Position> sent = Positions(pty_->ReadUntilQuiet(300));
    QVERIFY(sent.size() >= 20);
    int last = Pulse(0);
    int widest = 0;
    for (const Position& p : sent) {
      QCOMPARE(p.channel, 2);
      QVERIFY(p.pulse >= Pulse(-30) && p.pulse <= Pulse(30));
      widest = std::max(widest, std::abs(p.pulse - last));
      last = p.pulse;
    }
    QCOMPARE(last, Pulse(30));
    // 60 degrees a second, one position every 20 ms: 1.2 degrees, 13.3 us.
    QVERIFY2(widest <= 14, qPrintable(QString::number(widest)));
    // Soft start: the first step is a small part of that.
    QVERIFY(std::abs(sent.front().pulse - Pulse(0)) <= 3);
    QCOMPARE(*setup.standsAt(3), 30.0);
    const QString shots = qEnvironmentVariable("GAITPANEL_SCREENSHOT_DIR");
    if (!shots.isEmpty()) QVERIFY(setup.grab().save(shots + QStringLiteral("/robot-setup.png")));
  }

  void relaxOvertakesAJog() {
    RobotProfile slow;
    slow.name = "Slow";
    for (ModuleProfile& m : slow.modules) m = {-60, 60, 0, false, 30.0};
    RobotSetup& setup = openSetup(&slow);
    form_->findChild<QCheckBox*>(QStringLiteral("Check5"))->click();
    pty_->ReadUntilQuiet();
    setup.jogTo(5, -60);  // two seconds at 30 degrees a second
    QTRY_VERIFY(setup.standsAt(5) && *setup.standsAt(5) < -5);
    form_->relaxControl().press();
    const QByteArray after = pty_->ReadUntilQuiet(400);
    const qsizetype sd = after.indexOf("SD00\rSD01\rSD02\rSD03\rSD04\rSD05\rSD06\rSD07\r");
    QVERIFY2(sd >= 0, after.constData());
    QVERIFY2(!after.mid(sd).contains("SW0"), after.constData());
    QVERIFY(!setup.jogging());
    // Pause stops a jog as well.
    setup.jogTo(5, 0);
    QTRY_VERIFY(setup.jogging());
    form_->findChild<QPushButton*>(QStringLiteral("Command8"))->click();
    QVERIFY(!setup.jogging());
  }

  void theProfileItWritesReadsBackAndHoldsTheGait() {
    RobotSetup& setup = openSetup(nullptr);
    const auto jogTo = [&](int n, double a) {
      setup.jogTo(n, a);
      QTRY_VERIFY_WITH_TIMEOUT(!setup.jogging(), 10000);
    };
    jogTo(2, 10);
    QVERIFY(setup.setCentre(2));  // the servo's 10 degrees is module 2's centre
    QCOMPARE(setup.profile().module(2).trim, 10.0);
    QCOMPARE(*setup.standsAt(2), 0.0);
    jogTo(2, -17);
    QVERIFY(setup.setLower(2));
    QVERIFY(!setup.setUpper(2));  // below the centre: refused, said why
    QVERIFY(setup.note().contains(QStringLiteral("below its centre")));
    jogTo(2, 12);
    QVERIFY(setup.setUpper(2));
    // Reversed: the servo stays where it stands, the numbers change sign.
    setup.setReversed(7, true);
    QCOMPARE(setup.profile().module(7).min, -30.0);
    QVERIFY(setup.profile().module(7).reversed);
    QVERIFY(!setup.setCentre(4));  // never jogged

    const QString path = dir_.filePath(QStringLiteral("desk.json"));
    QVERIFY2(setup.save(path), qPrintable(setup.note()));
    RobotProfile back;
    QString error;
    QVERIFY2(files::ReadRobotProfile(path, &back, &error), qPrintable(error));
    for (int n = 1; n <= kModules; ++n) {
      const ModuleProfile &a = setup.profile().module(n), &b = back.module(n);
      QCOMPARE(b.min, a.min);
      QCOMPARE(b.max, a.max);
      QCOMPARE(b.trim, a.trim);
      QCOMPARE(b.reversed, a.reversed);
      QCOMPARE(b.maxSpeedDegS, a.maxSpeedDegS);
    }
    QCOMPARE(back.module(2).min, -17.0);
    QCOMPARE(back.module(2).max, 12.0);
    QCOMPARE(form_->robotControl().profilePath(), path);  // opened in the panel

    // The gait at full swing stays within what the set-up found.
    ProfileApplier applier(back);
    ModuleTable table;
    for (int n = 1; n <= kModules; ++n) {
      table.Amp[n] = 90;
      table.Phase[n] = 36.0 * n;
      table.ServoEnabled[n] = kTrue;
    }
    GaitState state;
    state.Running = kTrue;
    struct Null : CommandSink {
      void Write(ServoCommand) override {}
    } sink;
    for (int k = 0; k < 40; ++k) {
      GaitTick(table, state, sink, nullptr, &applier);
      QVERIFY(table.PulseWidth[2] >= Pulse(-17 + 10) && table.PulseWidth[2] <= Pulse(12 + 10));
      QVERIFY(table.PulseWidth[7] >= Pulse(-30) && table.PulseWidth[7] <= Pulse(30));
    }

    // A profile the reader would refuse is not written.
    RobotProfile bad = back;
    bad.modules[0].min = 40;
    const QString refused = dir_.filePath(QStringLiteral("bad.json"));
    QVERIFY(!files::WriteRobotProfile(refused, bad, &error));
    QVERIFY2(error.contains(QStringLiteral("modules[0].min")), qPrintable(error));
    QVERIFY(!QFile::exists(refused));
  }

  void whileTheGaitMovesTheSlidersAreDisabled() {
    RobotSetup& setup = openSetup(nullptr);
    auto* note = setup.findChild<QLabel*>(QStringLiteral("SetupGaitNote"));
    form_->findChild<QPushButton*>(QStringLiteral("Command7"))->click();
    QTRY_VERIFY(!setup.slider(1)->isEnabled());
    QVERIFY(!note->isHidden());
    setup.jogTo(1, 20);
    QVERIFY(!setup.jogging());
    form_->findChild<QPushButton*>(QStringLiteral("Command9"))->click();
    QTRY_VERIFY(setup.slider(1)->isEnabled());
    QVERIFY(note->isHidden());
  }
};

}  // namespace gp

QTEST_MAIN(gp::RobotSetupTest)
#include "robot_setup_test.moc"
