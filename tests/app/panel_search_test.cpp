// The panel's "Search for a better gait..." as the program builds it: on the
// robot the robot view shows and through the profile the panel has open. A
// +-20 degree profile holds every swing the search tries and finds, though
// the start swings 57 degrees, and the gait found names its robot.

#include <QtTest>
#include <atomic>
#include <cmath>

#include "app/search.h"
#include "files/gait_file.h"

namespace gp {

class PanelSearchTest : public QObject {
  Q_OBJECT
 private slots:
  void keepsTheProfilesLimitsOnTheRobotShown() {
    std::string shown = "snake";
    GaitSearch search = MakePanelSearch([&shown] { return shown; }, 2.0);
    QVERIFY(search.robot && search.describe);
    shown = "caterpillar";  // chosen in the robot view after the panel started
    QCOMPARE(search.robot(), std::string("caterpillar"));
    QVERIFY2(search.describe(search.robot()).startsWith(QStringLiteral("the caterpillar")),
             qPrintable(search.describe(search.robot())));

    GaitSearchRequest request;
    request.goal = QStringLiteral("forward");
    request.evaluations = 6;
    request.robot = search.robot();
    request.start.intervalMs = 50;
    for (int i = 0; i < kModules; ++i) {
      files::GaitModule& m = request.start.modules[static_cast<std::size_t>(i)];
      m.amplitude = 57;
      m.phase = -45.0 * i;
      m.centre = 0;
      m.enabled = true;
    }
    RobotProfile tight;
    tight.name = "Tight";
    for (ModuleProfile& m : tight.modules) {
      m.min = -20;
      m.max = 20;
    }
    request.profile = tight;

    int reports = 0;
    const std::atomic<bool> cancel{false};
    const GaitSearchOutcome outcome = search.run(request, [&reports](const GaitSearchProgress&) { ++reports; }, cancel);
    QVERIFY2(outcome.error.isEmpty(), qPrintable(outcome.error));
    QCOMPARE(outcome.evaluations, 6);
    QVERIFY(reports > 0);
    QVERIFY(outcome.haveBest);
    for (int i = 0; i < kModules; ++i) {
      const files::GaitModule& m = outcome.best.modules[static_cast<std::size_t>(i)];
      QVERIFY2(m.centre - std::abs(m.amplitude) >= -20 - 1e-9 && m.centre + std::abs(m.amplitude) <= 20 + 1e-9,
               qPrintable(QStringLiteral("module %1: centre %2, amplitude %3").arg(i + 1).arg(m.centre).arg(m.amplitude)));
    }
    QVERIFY2(outcome.best.notes.startsWith(QStringLiteral("Caterpillar robot. ")), qPrintable(outcome.best.notes));
    QVERIFY2(outcome.best.notes.contains(QStringLiteral("\"Tight\"")), qPrintable(outcome.best.notes));
    QVERIFY2(outcome.best.notes.contains(QStringLiteral("the caterpillar")), qPrintable(outcome.best.notes));
  }
};

}  // namespace gp

QTEST_GUILESS_MAIN(gp::PanelSearchTest)
#include "panel_search_test.moc"
