// "Search for a better gait..." on a panel driving a pseudo-terminal, with a
// stand-in search: it runs off the user-interface thread while the panel
// answers, the panel's gait stays as it is until the person opens the gait
// found, Cancel keeps the best so far, and a panel closed mid-search waits
// for the search instead of leaving it running on freed memory.

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QStatusBar>
#include <QTest>
#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <thread>

#include "panel/form2.h"
#include "panel/gait_control.h"
#include "panel/robot_control.h"
#include "panel/search_dialog.h"
#include "tests/support/critical_boxes.h"
#include "tests/support/panel_on_pty.h"
#include "ui/message_box.h"

namespace {

// Reports an evaluation every few milliseconds until cancelled or done.
struct StandIn {
  std::mutex mutex;
  gp::GaitSearchRequest request;
  std::thread::id thread;
  std::atomic<bool> sawCancel{false};
  int finishAfter = 1 << 30;

  gp::GaitSearch Search() {
    gp::GaitSearch search;
    search.setting = QStringLiteral("a stand-in robot");
    search.goals = {{QStringLiteral("ahead"), QStringLiteral("Ahead")}, {QStringLiteral("round"), QStringLiteral("Round")}};
    // Scores as the program writes them, the goal's name beside them.
    search.scoreText = [](const QString& goal, double score) {
      return QStringLiteral("%1 of %2").arg(score, 0, 'f', 4).arg(goal);
    };
    search.run = [this](const gp::GaitSearchRequest& r, const std::function<void(const gp::GaitSearchProgress&)>& progress,
                        const std::atomic<bool>& cancel) {
      {
        const std::lock_guard<std::mutex> lock(mutex);
        request = r;
        thread = std::this_thread::get_id();
      }
      int done = 0;
      while (!cancel && done < std::min(finishAfter, r.evaluations)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        ++done;
        progress({done, r.evaluations, true, 0.01 * done, 1.0});
      }
      sawCancel = cancel.load();
      gp::GaitSearchOutcome outcome;
      outcome.evaluations = done;
      outcome.requested = r.evaluations;
      outcome.haveStart = outcome.haveBest = true;
      outcome.startScore = 0;
      outcome.bestScore = 0.01 * done;
      outcome.best = r.start;
      outcome.best.name = QStringLiteral("Found");
      outcome.best.modules[0].amplitude = 45;
      outcome.best.intervalMs = 35;
      return outcome;
    };
    return search;
  }
};

}  // namespace

class SearchDialogTest : public QObject {
  Q_OBJECT
  std::unique_ptr<gp::testing::CriticalBoxes> boxes_;
  std::unique_ptr<gp::testing::PanelOnPty> rig_;
  gp::Form2* form_ = nullptr;

  gp::GaitControl& control() { return form_->gaitControl(); }
  template <typename T>
  T* child(gp::SearchDialog* dialog, const char* name) {
    return dialog->findChild<T*>(QLatin1String(name));
  }

 private slots:
  void init() {
    boxes_ = std::make_unique<gp::testing::CriticalBoxes>();
    rig_ = std::make_unique<gp::testing::PanelOnPty>();
    QVERIFY(rig_->ok());
    form_ = &rig_->form();
    form_->show();
    QVERIFY(QTest::qWaitForWindowExposed(form_));
    gp::files::Gait gait;
    gait.name = QStringLiteral("Start");
    gait.intervalMs = 50;
    for (auto& m : gait.modules) m = {30, 0, 0, true};
    control().applyGait(gait, QStringLiteral("start.json"));
    form_->findChild<QCheckBox*>(QStringLiteral("Check1"))->click();
  }
  void cleanup() {
    rig_.reset();
    boxes_.reset();
  }

  void offeredOnlyWhenTheProgramHandsInASearch() {
    QMenu* menu = control().menu();
    emit menu->aboutToShow();
    QVERIFY(!menu->findChild<QAction*>(QStringLiteral("SearchGait")));
    StandIn standIn;
    control().setSearch(standIn.Search());
    emit menu->aboutToShow();
    QAction* action = menu->findChild<QAction*>(QStringLiteral("SearchGait"));
    QVERIFY(action);
    QCOMPARE(action->text(), QStringLiteral("Search for a better gait..."));
  }

  // The dialog searches on the robot the search names when it opens and
  // through the panel's profile, says both first, and hands both to the run.
  void searchesOnTheRobotShownThroughTheOpenProfile() {
    StandIn standIn;
    standIn.finishAfter = 1;
    gp::GaitSearch search = standIn.Search();
    std::string shown = "caterpillar";
    search.robot = [&shown] { return shown; };
    search.describe = [](const std::string& robot) { return QStringLiteral("the %1 here").arg(QString::fromStdString(robot)); };
    control().setSearch(search);
    gp::RobotProfile tight;
    tight.name = "My tight";
    for (gp::ModuleProfile& m : tight.modules) m = {-20, 20, 0, false, std::nullopt};
    form_->robotControl().useProfile(tight, QStringLiteral("tight.json"));
    gp::SearchDialog* dialog = control().showSearch();
    shown = "snake";  // the robot chosen is the one shown when the dialog opened
    QVERIFY2(dialog->about().startsWith(QStringLiteral("Searches on the caterpillar here, through the robot profile "
                                                       "\"My tight\", every swing kept within its limits (-20 to 20")),
             qPrintable(dialog->about()));
    child<QPushButton>(dialog, "SearchStart")->click();
    QTRY_VERIFY(!dialog->searching());
    const std::lock_guard<std::mutex> lock(standIn.mutex);
    QCOMPARE(standIn.request.robot, std::string("caterpillar"));
    QVERIFY(standIn.request.profile);
    QCOMPARE(standIn.request.profile->name, std::string("My tight"));
    QCOMPARE(standIn.request.profile->module(3).max, 20.0);
  }

  void withNoProfileItSaysSo() {
    StandIn standIn;
    control().setSearch(standIn.Search());
    gp::SearchDialog* dialog = control().showSearch();
    QVERIFY2(dialog->about().startsWith(QStringLiteral("Searches on a stand-in robot, with no robot profile")),
             qPrintable(dialog->about()));
  }

  void searchesOffThePanelsThreadAndOpensTheResultOnlyWhenAsked() {
    StandIn standIn;
    control().setSearch(standIn.Search());
    gp::SearchDialog* dialog = control().showSearch();
    QVERIFY(dialog);
    child<QComboBox>(dialog, "SearchGoal")->setCurrentIndex(1);
    child<QSpinBox>(dialog, "SearchEvaluations")->setValue(5000);
    auto* fewest = child<QSpinBox>(dialog, "SearchMinPositions");
    QCOMPARE(fewest->value(), 8);  // the command line's default
    fewest->setValue(12);
    child<QPushButton>(dialog, "SearchStart")->click();

    // The panel's thread keeps handling events: the bar moves meanwhile.
    auto* bar = child<QProgressBar>(dialog, "SearchProgress");
    QTRY_VERIFY(bar->value() >= 3);
    QCOMPARE(bar->maximum(), 5000);
    QVERIFY(dialog->searching());
    {
      const std::lock_guard<std::mutex> lock(standIn.mutex);
      QVERIFY(standIn.thread != std::this_thread::get_id());
      QCOMPARE(standIn.request.goal, QStringLiteral("round"));
      QCOMPARE(standIn.request.evaluations, 5000);
      QCOMPARE(standIn.request.minPositions, 12.0);
      // From the panel's own gait: the ticked module is the one enabled.
      QCOMPARE(standIn.request.start.modules[0].amplitude, 30.0);
      QVERIFY(standIn.request.start.modules[0].enabled);
      QVERIFY(!standIn.request.start.modules[1].enabled);
    }

    child<QPushButton>(dialog, "SearchCancel")->click();
    auto* status = child<QLabel>(dialog, "SearchStatus");
    QTRY_VERIFY2(status->text().contains(QStringLiteral("Cancelled after")), qPrintable(status->text()));
    QVERIFY(standIn.sawCancel);
    QVERIFY(!dialog->searching());
    QCOMPARE(form_->table().Amp[1], 30);  // untouched until opened
    auto* open = child<QPushButton>(dialog, "SearchOpen");
    QVERIFY(open->isVisible());
    const QString shots = qEnvironmentVariable("GAITPANEL_SCREENSHOT_DIR");
    if (!shots.isEmpty()) {
      QDir().mkpath(shots);
      QVERIFY(dialog->grab().save(shots + QStringLiteral("/search-dialog.png")));
    }
    open->click();
    QCOMPARE(form_->table().Amp[1], 45);
    QCOMPARE(form_->driver().timer1().interval(), 35);
    QTRY_VERIFY(form_->statusBar()->currentMessage().contains(QStringLiteral("from the search")));
    QVERIFY(boxes_->texts.isEmpty());
  }

  void aFinishedSearchSaysWhatItFoundAgainstThePanelsGait() {
    StandIn standIn;
    standIn.finishAfter = 4;
    control().setSearch(standIn.Search());
    gp::SearchDialog* dialog = control().showSearch();
    child<QSpinBox>(dialog, "SearchEvaluations")->setValue(4);
    child<QPushButton>(dialog, "SearchStart")->click();
    auto* status = child<QLabel>(dialog, "SearchStatus");
    QTRY_VERIFY2(status->text().contains(QStringLiteral("Done: 4 evaluations")), qPrintable(status->text()));
    // The figures in the words the program hands in, for the goal chosen.
    QVERIFY2(status->text().contains(QStringLiteral("scores 0.0400 of ahead, the panel's gait 0.0000 of ahead")),
             qPrintable(status->text()));
    QVERIFY(!standIn.sawCancel);
    // A second request raises the same dialog rather than starting another.
    QCOMPARE(control().showSearch(), dialog);
  }

  void aPanelClosedMidSearchWaitsForIt() {
    StandIn standIn;
    control().setSearch(standIn.Search());
    gp::SearchDialog* dialog = control().showSearch();
    child<QPushButton>(dialog, "SearchStart")->click();
    QTRY_VERIFY(child<QProgressBar>(dialog, "SearchProgress")->value() >= 2);
    rig_->closePanel();  // takes the dialog with it
    form_ = nullptr;
    QVERIFY(standIn.sawCancel);
  }
};

QTEST_MAIN(SearchDialogTest)
#include "search_dialog_test.moc"
