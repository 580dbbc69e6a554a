// "Relax" on a pseudo-terminal while the gait keeps the line full: every
// waiting position is dropped, all eight "SD" commands reach the line before
// any further position, and the gait stops sending. Prints how long the
// press took to put the last "SD" on the line.

#include "panel/relax_control.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QPushButton>
#include <QStatusBar>
#include <QtTest>

#include "panel/form2.h"

#include "gait/gait_driver.h"
#include "link/serial_link.h"
#include "panel/status_line.h"
#include "tests/support/pty_pair.h"

namespace gp {
namespace {

struct Host : PanelHost {
  void enterGait(const files::Gait&) override {}
  const ModuleTable& moduleTable() const override { return table; }
  int gaitIntervalMs() const override { return kDesignIntervalMs; }
  void tell(const QString& message) override { told = message; }
  ModuleTable table;
  QString told;
};

}  // namespace

class RelaxControlTest : public QObject {
  Q_OBJECT
 private slots:
  void allEightDisablesGoBeforeAnyFurtherPosition() {
    testing::PtyPair pty;
    SerialLink link;
    QVERIFY(link.Open(pty.slavePath()));
    Host host;
    GaitState state;
    for (int n = kFirstModule; n <= kLastModule; ++n) {
      host.table.Amp[n] = 60;
      host.table.Phase[n] = 36.0 * n;
      host.table.ServoEnabled[n] = kTrue;
    }
    GaitDriver driver(host.table, state, link, nullptr, [] { return false; });
    QWidget window;
    RelaxControl relax(link, state, host, &window);
    state.Running = kTrue;
    driver.start();
    // A second of gait: far more than 9600 baud carries, so positions wait.
    std::string before = pty.ReadFor(1000);
    QVERIFY(link.queuedCommands() > 0);

    QElapsedTimer pressed;
    pressed.start();
    relax.click();
    const std::string tail = "SD07\r";
    std::string after;
    while (after.find(tail) == std::string::npos && pressed.elapsed() < 3000) after += pty.ReadUntil(1, 50);
    const qint64 ms = pressed.elapsed();
    after += pty.ReadFor(300);  // the gait goes on ticking: nothing more may come

    const std::size_t first = after.find("SD00\r");
    QVERIFY2(first != std::string::npos, after.c_str());
    QCOMPARE(after.substr(first), std::string("SD00\rSD01\rSD02\rSD03\rSD04\rSD05\rSD06\rSD07\r"));
    // Ahead of them, at most what the port held already: one position and the rest of another.
    QVERIFY2(first <= 22, after.c_str());
    QVERIFY(!IsTrue(state.Running));
    QVERIFY(host.told.contains(QStringLiteral("Relaxed")));
    qInfo("Relax: last SD on the line %lld ms after the press", static_cast<long long>(ms));
  }

  // Relax with modules 2, 4 and 7 ticked, then Resume: the line gets the SE
  // commands that clearing and ticking those boxes by hand gives, in order;
  // meanwhile the control says which modules are off, a box clicked clears
  // its module's mark, and "Move" says who will not follow.
  void resumeSendsWhatReTickingTheTickedBoxesSends() {
    testing::PtyPair pty;
    Form2 form(PanelOptions{pty.slavePath(), QString()});
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    form.activateWindow();
    QApplication::setActiveWindow(&form);
    QVERIFY(QTest::qWaitForWindowActive(&form));
    const auto check = [&](int n) { return form.findChild<QCheckBox*>(QStringLiteral("Check%1").arg(n)); };
    RelaxControl& relax = form.relaxControl();
    auto* button = form.findChild<QToolButton*>(QStringLiteral("RelaxButton"));
    QCOMPARE(button, &relax);
    for (int n : {2, 4, 7}) check(n)->click();
    pty.ReadUntilQuiet();

    // By hand: each ticked box cleared and ticked again.
    for (int n : {2, 4, 7}) {
      check(n)->click();
      check(n)->click();
    }
    const QByteArray byHand = pty.ReadUntilQuiet();
    QCOMPARE(byHand, QByteArray("SD01\rSE01\rSD03\rSE03\rSD06\rSE06\r"));
    QByteArray handEnables;
    for (const QByteArray& c : byHand.split('\r'))
      if (c.startsWith("SE")) handEnables += c + '\r';

    QTest::keyClick(&form, Qt::Key_Space, Qt::ControlModifier);
    QCOMPARE(pty.ReadUntilQuiet(), QByteArray("SD00\rSD01\rSD02\rSD03\rSD04\rSD05\rSD06\rSD07\r"));
    QVERIFY(relax.relaxed());
    QCOMPARE(relax.relaxedModules(), (std::vector<int>{2, 4, 7}));
    QCOMPARE(button->text(), QStringLiteral("Resume (2, 4, 7 off)"));
    QVERIFY(button->styleSheet().contains(QStringLiteral("color")));
    for (int n : {2, 4, 7}) QVERIFY(check(n)->isChecked());  // only the operator changes a box

    // "Move" does what it always does and says who stays off.
    form.findChild<QPushButton*>(QStringLiteral("Command7"))->click();
    QTRY_VERIFY(form.statusBar()->currentMessage().contains(QStringLiteral("modules 2, 4, 7 are relaxed")));
    QVERIFY(IsTrue(form.state().Running));
    form.findChild<QPushButton*>(QStringLiteral("Command8"))->click();
    pty.ReadUntilQuiet();

    QTest::keyClick(&form, Qt::Key_Space, Qt::ControlModifier);
    QCOMPARE(pty.ReadUntilQuiet(), handEnables);
    QVERIFY(!relax.relaxed());
    QCOMPARE(button->text(), QStringLiteral("Relax"));
    QVERIFY(button->styleSheet().isEmpty());

    // A box clicked while relaxed does what it always does and clears its mark.
    relax.press();
    pty.ReadUntilQuiet();
    check(4)->click();
    QCOMPARE(pty.ReadUntilQuiet(), QByteArray("SD03\r"));
    QCOMPARE(relax.relaxedModules(), (std::vector<int>{2, 7}));
    QCOMPARE(button->text(), QStringLiteral("Resume (2, 7 off)"));
    check(2)->click();
    check(7)->click();
    QCOMPARE(pty.ReadUntilQuiet(), QByteArray("SD01\rSD06\r"));
    QVERIFY(!relax.relaxed());
    QCOMPARE(button->text(), QStringLiteral("Relax"));
    // With nothing ticked, Relax has nothing to resume.
    relax.press();
    QCOMPARE(pty.ReadUntilQuiet(), QByteArray("SD00\rSD01\rSD02\rSD03\rSD04\rSD05\rSD06\rSD07\r"));
    QVERIFY(!relax.relaxed());
  }
};

}  // namespace gp

QTEST_MAIN(gp::RelaxControlTest)
#include "relax_control_test.moc"
