// The gait search on short budgets: the gaits it may try keep to the limits
// and to the start's pattern, it finds better than a poor start, the number of
// workers never changes what it finds, and a stopped search keeps its best.

#include <gtest/gtest.h>

#include <QXmlStreamReader>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <stdexcept>
#include <string>

#include "search/gait_search.h"
#include "search/search_report.h"

namespace gp::sim {
namespace {

SearchStart Start(int amplitude, double phaseStep, int centre = 0, int intervalMs = 50) {
  SearchStart start;
  for (int n = kFirstModule; n <= kLastModule; ++n) {
    start.table.Amp[n] = static_cast<std::int16_t>(amplitude);
    start.table.Phase[n] = phaseStep * (n - 1);
    start.table.InitAngle[n] = static_cast<std::int16_t>(centre);
    start.table.ServoEnabled[n] = kTrue;
  }
  start.intervalMs = intervalMs;
  return start;
}

SearchOptions Short(int evaluations, int jobs) {
  SearchOptions options;
  options.run.seconds = 2;
  options.evaluations = evaluations;
  options.jobs = jobs;
  return options;
}

SearchResult Search(const SearchStart& start, const SearchOptions& options, const std::atomic<bool>* stop = nullptr,
                    const std::function<void(const SearchProgress&)>& progress = {}) {
  std::string error;
  auto result = SearchGait(start, options, stop, progress, &error);
  EXPECT_TRUE(result) << error;
  return result ? *result : SearchResult{};
}

TEST(GaitSearchSpace, TheStartStandsForItselfAndTheParametersMoveEveryEnabledModuleAlike) {
  SearchStart start = Start(30, -45, -5, 40);
  start.table.Amp[3] = 20;  // an irregular start keeps its irregularity
  start.table.ServoEnabled[8] = kFalse;
  const ModuleLimits limits{};
  const WaveParameters from = StartParameters(start);
  EXPECT_EQ(from.amplitude, 30);
  EXPECT_DOUBLE_EQ(from.phaseStep, -45);
  EXPECT_EQ(from.intervalMs, 40);
  const ModuleTable same = WaveTable(start, from, limits);
  for (int n = kFirstModule; n <= kLastModule; ++n) {
    EXPECT_EQ(same.Amp[n], start.table.Amp[n]);
    EXPECT_EQ(same.Phase[n], start.table.Phase[n]);
    EXPECT_EQ(same.InitAngle[n], start.table.InitAngle[n]);
  }

  WaveParameters moved = from;
  moved.amplitude = 40;
  moved.phaseStep = -30.04;  // kept to tenths
  moved.centreOffset = 3;
  const ModuleTable table = WaveTable(start, moved, limits);
  for (int n = kFirstModule; n <= 7; ++n) {
    EXPECT_EQ(table.Amp[n], start.table.Amp[n] + 10) << n;
    EXPECT_NEAR(table.Phase[n], -30.0 * (n - 1), 1e-9) << n;
    EXPECT_EQ(table.InitAngle[n], -2) << n;
    EXPECT_EQ(table.ServoEnabled[n], kTrue);
  }
  // A module the start leaves off stays off and as it was.
  EXPECT_EQ(table.ServoEnabled[8], kFalse);
  EXPECT_EQ(table.Amp[8], 30);
  EXPECT_EQ(table.Phase[8], start.table.Phase[8]);
}

TEST(GaitSearchSpace, AmplitudesKeepToThePanelsLimitAndToAModulesRange) {
  const SearchStart start = Start(80, 45, 10);
  ModuleLimits limits{};
  limits[2].amplitude = 40;
  limits[5].lowestAngle = -30;  // a servo that stops short on one side
  limits[5].highestAngle = 60;
  WaveParameters wave = StartParameters(start);
  wave.amplitude = 200;
  wave.centreOffset = 45;
  const ModuleTable table = WaveTable(start, wave, limits);
  for (int n = kFirstModule; n <= kLastModule; ++n) {
    EXPECT_LE(table.Amp[n], kAmpLimit) << n;
    EXPECT_GE(table.Amp[n], 0) << n;
  }
  EXPECT_EQ(table.Amp[2], 40);
  EXPECT_LE(table.InitAngle[5] + table.Amp[5], 60);
  EXPECT_GE(table.InitAngle[5] - table.Amp[5], -30);
  EXPECT_EQ(table.Amp[1], kAmpLimit);
}

TEST(GaitSearch, FindsAGaitThatMovesFromOneThatStandsStill) {
  // Every module enabled but with no swing: the robot does not go anywhere.
  const SearchResult result = Search(Start(0, 0), Short(24, 2));
  ASSERT_TRUE(result.haveStart);
  ASSERT_TRUE(result.haveBest);
  EXPECT_LT(std::abs(result.startScore), 0.01);
  EXPECT_EQ(result.evaluations, 24);
  EXPECT_FALSE(result.interrupted);
  // A few centimetres a second at least: a wave that swings and travels.
  EXPECT_GT(result.bestScore, 0.05);
  EXPECT_GE(result.best.amplitude, 10);
  EXPECT_NEAR(GoalScore(SearchGoal::Forward, result.bestRun), result.bestScore, 1e-12);
  // The best is the best of what was tried, and at least the start.
  double most = result.startScore;
  for (const auto& e : result.history)
    if (!e.failed) most = std::max(most, e.score);
  EXPECT_EQ(most, result.bestScore);
}

TEST(GaitSearch, OneWorkerAndThreeFindTheSameGaitInTheSameOrder) {
  const SearchStart start = Start(30, -45);
  SearchOptions options = Short(15, 1);
  options.goal = SearchGoal::TurnRight;
  const SearchResult one = Search(start, options);
  options.jobs = 3;
  const SearchResult three = Search(start, options);
  ASSERT_EQ(one.history.size(), three.history.size());
  for (std::size_t i = 0; i < one.history.size(); ++i) EXPECT_EQ(one.history[i].score, three.history[i].score) << i;
  EXPECT_EQ(one.bestScore, three.bestScore);
  EXPECT_EQ(one.best.amplitude, three.best.amplitude);
  EXPECT_EQ(one.best.phaseStep, three.best.phaseStep);
  EXPECT_EQ(one.best.centreOffset, three.best.centreOffset);
  EXPECT_EQ(one.best.intervalMs, three.best.intervalMs);
}

TEST(GaitSearch, TheBestGaitRunAloneScoresWhatTheSearchSaid) {
  SearchOptions options = Short(9, 2);
  options.goal = SearchGoal::TurnLeft;
  const SearchResult result = Search(Start(30, -45, -5), options);
  ASSERT_TRUE(result.haveBest);
  std::string error;
  const auto alone = RunHeadless(result.bestTable, result.bestIntervalMs, options.run, &error);
  ASSERT_TRUE(alone) << error;
  EXPECT_EQ(GoalScore(SearchGoal::TurnLeft, *alone), result.bestScore);
}

TEST(GaitSearch, AStoppedSearchEndsBetweenEvaluationsAndKeepsItsBest) {
  std::atomic<bool> stop{false};
  int calls = 0;
  const SearchResult result = Search(Start(30, -45), Short(400, 2), &stop, [&](const SearchProgress& p) {
    ++calls;
    EXPECT_EQ(p.total, 400);
    EXPECT_EQ(p.done, calls);
    if (p.done == 6) stop = true;
  });
  EXPECT_TRUE(result.interrupted);
  EXPECT_GE(result.evaluations, 6);
  EXPECT_LE(result.evaluations, 6 + 2);  // at most the runs already under way finish
  EXPECT_EQ(static_cast<int>(result.history.size()), result.evaluations);
  ASSERT_TRUE(result.haveBest);
  EXPECT_GE(result.bestScore, result.startScore);
}

TEST(GaitSearch, NeverKeepsAGaitTheLineCannotCarry) {
  // Eight modules at a 16 ms tick on the 9600 line: each servo gets about
  // 3.5 positions of a 0.32 s period, coarse jumps whatever the physics
  // makes of them. The start itself is such a gait.
  const SearchStart start = Start(50, -45, -5, 16);
  SearchOptions options = Short(12, 2);
  options.goal = SearchGoal::TurnLeft;
  const SearchResult result = Search(start, options);
  ASSERT_TRUE(result.haveStart);
  EXPECT_TRUE(result.history.front().rejected);
  EXPECT_GE(result.rejected, 1);
  ASSERT_TRUE(result.haveBest) << "some gait of twelve is carried";
  ASSERT_TRUE(result.bestFewestPositions);
  EXPECT_GE(*result.bestFewestPositions, kFewestPositionsPerPeriod);
  std::string error;
  const auto alone = RunHeadless(result.bestTable, result.bestIntervalMs, options.run, &error);
  ASSERT_TRUE(alone) << error;
  EXPECT_GE(*FewestSwingingPositions(result.bestTable, *alone), kFewestPositionsPerPeriod);
  for (const auto& e : result.history) {
    if (!e.failed && !e.rejected) {
      EXPECT_LE(e.score, result.bestScore);
    }
  }

  // Without the rule the start counts like any other gait.
  options.minPositions = 0;
  options.evaluations = 1;
  const SearchResult anything = Search(start, options);
  EXPECT_EQ(anything.rejected, 0);
  EXPECT_TRUE(anything.haveBest);
  EXPECT_LT(*anything.bestFewestPositions, kFewestPositionsPerPeriod);
}

TEST(GaitSearch, ScoresEachGaitByItsWorstOrItsMeanFloor) {
  const SearchStart start = Start(30, -45);
  const std::vector<Floor> floors{{0.1, 1.5}, {0.3, 0.6}};
  std::vector<double> alone;
  for (const Floor& floor : floors) {
    HeadlessOptions run = Short(1, 1).run;
    run.floor = floor;
    std::string error;
    const auto r = RunHeadless(start.table, start.intervalMs, run, &error);
    ASSERT_TRUE(r) << error;
    alone.push_back(GoalScore(SearchGoal::Forward, *r));
  }
  ASSERT_GT(std::abs(alone[0] - alone[1]), 0.01) << "the floors differ";
  SearchOptions options = Short(1, 1);
  options.floors = floors;
  EXPECT_EQ(Search(start, options).startScore, std::min(alone[0], alone[1]));
  options.floorScore = FloorScore::Mean;
  EXPECT_NEAR(Search(start, options).startScore, (alone[0] + alone[1]) / 2, 1e-12);
}

// An exception inside the search (here from its progress report, on the
// calling thread for the start and on a search thread later) comes back as a
// failed search with its message: not an ended program, not a caller
// waiting for ever.
TEST(GaitSearch, AnExceptionInsideIsAFailedSearchWithItsMessage) {
  for (const int throwAt : {1, 5}) {
    std::string error;
    const auto result = SearchGait(Start(30, -45), Short(40, 2), nullptr,
                                   [throwAt](const SearchProgress& p) {
                                     if (p.done == throwAt) throw std::runtime_error("the report broke");
                                   },
                                   &error);
    EXPECT_FALSE(result);
    EXPECT_NE(error.find("the report broke"), std::string::npos) << error;
  }
}

TEST(GaitSearch, RefusesWhatItCannotSearch) {
  std::string error;
  SearchStart still = Start(30, -45);
  for (int n = kFirstModule; n <= kLastModule; ++n) still.table.ServoEnabled[n] = kFalse;
  EXPECT_FALSE(SearchGait(still, Short(5, 1), nullptr, {}, &error));
  EXPECT_NE(error.find("enables no module"), std::string::npos) << error;
  SearchOptions options = Short(5, 1);
  options.run.robot = "/no/such/robot.xml";
  EXPECT_FALSE(SearchGait(Start(30, -45), options, nullptr, {}, &error));
  EXPECT_NE(error.find("robot.xml"), std::string::npos) << error;
  EXPECT_FALSE(SearchGait(Start(30, -45), Short(0, 1), nullptr, {}, &error));
}

// A turning score the search cannot game: a chain curled into a ring, its
// wave running round it, spins the ring's pattern many times a second (some
// ten turns in these 10 s) while each body only turns as far as the chain
// really goes round. On a floor that grips alike every way nothing drives
// the ring round (its head goes round the centre of mass a fifth of a turn);
// on the snake's wheels the ring does roll round, head and bodies together,
// about four turns, and that is a turn.
TEST(GaitSearchScore, ARingWhoseWaveRunsRoundItDoesNotCountAsSpinning) {
  HeadlessOptions ideal;
  ideal.idealLine = true;
  HeadlessOptions even = ideal;
  even.floor = Floor{0.1, 0.1};
  std::string error;
  const auto ring = RunHeadless(Start(77, -113, -43).table, 19, even, &error);
  ASSERT_TRUE(ring) << error;
  EXPECT_LT(std::abs(ring->headingChangeDeg), 2 * 360.0);
  // Mirrored gaits turn as far the other way: left is counter-clockwise.
  const auto left = RunHeadless(Start(30, -45, -5).table, 50, ideal, &error);
  const auto right = RunHeadless(Start(30, -45, 5).table, 50, ideal, &error);
  ASSERT_TRUE(left && right) << error;
  EXPECT_GT(GoalScore(SearchGoal::TurnLeft, *left), 5.0);
  EXPECT_GT(GoalScore(SearchGoal::TurnRight, *right), 5.0);
  EXPECT_NEAR(left->headingChangeDeg, -right->headingChangeDeg, 0.2 * std::abs(left->headingChangeDeg));
}

TEST(SearchReport, IsWellFormedSvgWithBothPathsAndTheScoreCurve) {
  const SearchResult result = Search(Start(30, -45), Short(6, 2));
  const std::string svg = SearchReportSvg(result, {"Search <forward> & more", "second", "third"});
  QXmlStreamReader xml(QByteArray::fromStdString(svg));
  int polylines = 0, circles = 0;
  bool titled = false;
  while (!xml.atEnd()) {
    xml.readNext();
    if (!xml.isStartElement()) continue;
    if (xml.name() == QLatin1String("polyline")) ++polylines;
    if (xml.name() == QLatin1String("circle")) ++circles;
    if (xml.name() == QLatin1String("title")) titled = xml.readElementText() == QStringLiteral("Search <forward> & more");
  }
  EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
  EXPECT_TRUE(titled);
  EXPECT_EQ(polylines, 3);  // best so far, the start's path, the best's path
  EXPECT_GE(circles, 6);    // every evaluation
}

}  // namespace
}  // namespace gp::sim
