// "Relax" on a pseudo-terminal while the gait keeps the line full: every
// waiting position is dropped, all eight "SD" commands reach the line before
// any further position, and the gait stops sending. Prints how long the
// press took to put the last "SD" on the line.

#include "panel/relax_control.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QtTest>

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
};

}  // namespace gp

QTEST_MAIN(gp::RelaxControlTest)
#include "relax_control_test.moc"
