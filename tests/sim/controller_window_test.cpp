// The controller's window on a laptop's screen and on a large one: it fits
// 1366x768 without squeezing any view below what it needs, opens beside the
// panel and within the screen; and the robot view and the chain view put
// the head at the same end and bend the body the same way.
#include <QImage>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSplitter>
#include <QtTest>
#include <cmath>

#include "gait/waveform.h"
#include "link/protocol.h"
#include "panel/form2.h"
#include "sim/controller/chain_view.h"
#include "sim/controller/controller_model.h"
#include "sim/controller/head_end.h"
#include "sim/controller/virtual_controller.h"
#include "sim/controller_window.h"
#include "sim/robot/floor_camera.h"
#include "sim/robot/live_robot.h"
#include "sim/robot/robot_view.h"
#include "sim/robot/virtual_robot.h"

using namespace gp;
using namespace gp::sim;

class ControllerWindowTest : public QObject {
  Q_OBJECT
 private slots:
  void fitsALaptopScreenWithoutSqueezingAView();
  void placementKeepsTheFrameOnTheScreen();
  void opensBesideThePanelWithinTheScreen();
  void bothViewsPutTheHeadOnOneSideAndBendAlike();
  void bothViewsDrawTheHeadOnThatSide();
};

namespace {

const char* const kViews[] = {"RobotView", "ChainView", "ChannelTable", "LineView", "AnglePlot"};

// Lets queued relayouts run.
void Settle() {
  for (int i = 0; i < 5; ++i) {
    QCoreApplication::processEvents();
    QTest::qWait(20);
  }
}

// Mean x of the pixels of exactly `colour`, or NaN with none.
double MeanX(const QImage& image, const QColor& colour) {
  double sum = 0;
  int count = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if (image.pixelColor(x, y).rgb() == colour.rgb()) {
        sum += x;
        ++count;
      }
  return count > 0 ? sum / count : std::nan("");
}

// Which way the chain head -> middle -> tail turns on the screen (y down):
// > 0 clockwise as seen.
double Turn(ScreenPoint head, ScreenPoint mid, ScreenPoint tail) {
  return (mid.x - head.x) * (tail.y - head.y) - (mid.y - head.y) * (tail.x - head.x);
}

}  // namespace

// A 1366x768 screen less a title bar and a desktop panel leaves about
// 1350x700; the window's least size fits that, and at that size every view
// still has its own least size: the numbers scroll instead.
void ControllerWindowTest::fitsALaptopScreenWithoutSqueezingAView() {
  VirtualController vc;
  LiveRobot live(vc, Robot::Load("snake", nullptr), QStringLiteral("snake"));
  ControllerWindow window(vc, live);
  const QSize least = window.minimumSizeHint();
  QVERIFY2(least.width() <= 1350 && least.height() <= 700,
           qPrintable(QStringLiteral("%1x%2").arg(least.width()).arg(least.height())));
  QVERIFY(!window.splitter().childrenCollapsible());

  window.resize(least);
  window.show();
  Settle();
  for (const char* name : kViews) {
    const QWidget* view = window.findChild<QWidget*>(QString::fromLatin1(name));
    QVERIFY2(view, name);
    QVERIFY2(view->width() >= view->minimumWidth() && view->height() >= view->minimumHeight(), name);
  }
  auto* table = window.findChild<QWidget*>(QStringLiteral("ChannelTable"));
  auto* line = window.findChild<QWidget*>(QStringLiteral("LineView"));
  auto* plot = window.findChild<QWidget*>(QStringLiteral("AnglePlot"));
  QVERIFY(!window.numbersSideBySide());
  QVERIFY(line->y() >= table->y() + table->height());
  // Everything below can be scrolled into sight.
  QScrollArea& numbers = window.numbersArea();
  QCOMPARE(numbers.verticalScrollBar()->maximum(),
           numbers.widget()->height() - numbers.viewport()->height());
  QVERIFY(numbers.widget()->height() >= plot->y() + plot->height());
  QCOMPARE(numbers.horizontalScrollBar()->maximum(), 0);

  // With room across, the table and the line sit side by side again.
  window.resize(1200, 1000);
  Settle();
  QVERIFY(window.numbersSideBySide());
  QCOMPARE(line->y(), table->y());
  QVERIFY(line->x() >= table->x() + table->width());
}

void ControllerWindowTest::placementKeepsTheFrameOnTheScreen() {
  const QSize wanted(980, 1000), least(600, 560);
  struct Case {
    const char* what;
    QRect available, panel;
    enum { Right, Left, Over } where;
  };
  const Case cases[] = {
      {"a large screen: right of the panel", QRect(0, 0, 1600, 1000), QRect(0, 0, 890, 790), Case::Right},
      {"a laptop with a top bar: over the panel's right edge", QRect(0, 27, 1366, 741), QRect(0, 27, 890, 790),
       Case::Over},
      {"the panel on the right: left of it", QRect(0, 0, 1920, 1080), QRect(1000, 40, 900, 700), Case::Left},
      {"a second screen to the right", QRect(1920, 0, 1280, 1024), QRect(1930, 10, 800, 700), Case::Over},
      {"a screen smaller than the least size", QRect(0, 0, 500, 400), QRect(0, 0, 300, 200), Case::Over},
      {"the panel off every screen", QRect(0, 0, 1366, 768), QRect(-3000, 2000, 890, 790), Case::Right},
  };
  for (const Case& c : cases) {
    const QRect placed = PlaceBeside(c.panel, wanted, least, c.available, 8);
    const QString what = QStringLiteral("%1: %2,%3 %4x%5")
                             .arg(QString::fromLatin1(c.what))
                             .arg(placed.x())
                             .arg(placed.y())
                             .arg(placed.width())
                             .arg(placed.height());
    QVERIFY2(c.available.contains(placed), qPrintable(what));
    QVERIFY2(placed.width() <= wanted.width() && placed.height() <= wanted.height(), qPrintable(what));
    QVERIFY2(placed.width() >= std::min(least.width(), c.available.width()), qPrintable(what));
    QVERIFY2(placed.height() >= std::min(least.height(), c.available.height()), qPrintable(what));
    switch (c.where) {
      case Case::Right: QVERIFY2(placed.left() > c.panel.right() + 8, qPrintable(what)); break;
      case Case::Left: QVERIFY2(placed.right() < c.panel.left() - 8, qPrintable(what)); break;
      case Case::Over:
        // No wider than it must be where it covers the panel.
        QVERIFY2(placed.width() == std::min(least.width(), c.available.width()), qPrintable(what));
        break;
    }
  }
  // Where the panel stands, as high as the screen lets it.
  QCOMPARE(PlaceBeside(QRect(0, 100, 890, 600), wanted, least, QRect(0, 0, 1600, 1200), 8).top(), 100);
  QCOMPARE(PlaceBeside(QRect(0, 500, 890, 600), wanted, least, QRect(0, 0, 1600, 1200), 8).bottom(), 1199);
}

// With the panel at the screen's top left, the window opens within the
// screen's available part, under an X server too.
void ControllerWindowTest::opensBesideThePanelWithinTheScreen() {
  VirtualController vc;
  QString error;
  QVERIFY2(vc.start(&error), qPrintable(error));
  LiveRobot live(vc, Robot::Load("snake", nullptr), QStringLiteral("snake"));
  Form2 panel(PanelOptions{vc.devicePath(), QStringLiteral("virtual servo controller")});
  QScreen* screen = QGuiApplication::primaryScreen();
  QVERIFY(screen);
  const QRect available = screen->availableGeometry();
  panel.move(available.topLeft());
  panel.show();
  QVERIFY(QTest::qWaitForWindowExposed(&panel));
  ControllerWindow window(vc, live);
  window.showBeside(&panel);
  QVERIFY(QTest::qWaitForWindowExposed(&window));
  Settle();
  const QString where = QStringLiteral("screen %1,%2 %3x%4, window %5,%6 %7x%8")
                            .arg(available.x())
                            .arg(available.y())
                            .arg(available.width())
                            .arg(available.height())
                            .arg(window.frameGeometry().x())
                            .arg(window.frameGeometry().y())
                            .arg(window.frameGeometry().width())
                            .arg(window.frameGeometry().height());
  QVERIFY2(available.contains(window.frameGeometry()), qPrintable(where));
  QVERIFY(window.width() >= window.minimumSizeHint().width());
  QVERIFY(window.height() >= window.minimumSizeHint().height());
  const QString dir = qEnvironmentVariable("GAITPANEL_SCREENSHOT_DIR");
  if (!dir.isEmpty() && QGuiApplication::platformName() == QStringLiteral("xcb")) {
    QDir().mkpath(dir);
    QVERIFY(screen->grabWindow(0).save(dir + QStringLiteral("/controller_window_on_screen.png")));
  }

  // Pushed half off the screen, it comes back whole.
  window.move(available.right() - 200, available.top() + 40);
  Settle();
  window.keepOnScreen();
  Settle();
  QVERIFY(available.contains(window.frameGeometry()));
}

// Every joint at +20 degrees: the chain as commanded, and the physics'
// robot after its servos have got there, seen through the robot view's
// camera. The head is on the same side in both, and the body curls the
// same way.
void ControllerWindowTest::bothViewsPutTheHeadOnOneSideAndBendAlike() {
  ControllerModel model;
  VirtualRobot robot(Robot::Load("snake", nullptr));
  const auto rest = robot.robot().HeadPosition()[0] - robot.robot().CentreOfMass()[0];
  model.setCommandObserver([&robot](const DecodedCommand& command) { robot.Apply(command); });
  const std::int32_t pulse = *AngleToPulse(20.0);
  std::string bytes;
  for (int m = 1; m <= 8; ++m) {
    bytes += std::string(kEnableChannel[static_cast<std::size_t>(m - 1)]) + "\r";
    bytes += PositionCommand(static_cast<std::int16_t>(m),
                             BuildPositionCommand(kPositionPrefix, static_cast<std::int16_t>(m), PulseText(pulse)))
                 .bytes;
  }
  model.Feed(bytes, 0);
  robot.AdvanceTo(2.0, 100000);
  for (int m = 1; m <= 8; ++m) QVERIFY(std::abs(robot.robot().JointAngle(m) - qDegreesToRadians(20.0)) < 0.05);

  std::array<double, kChannels> angles{};
  for (int c = 0; c < kChannels; ++c) angles[static_cast<std::size_t>(c)] = model.channel(c).angle;
  const ChainView::Joints chain = ChainView::Layout(angles, QSizeF(900, 250), nullptr);
  const auto at = [](QPointF q) { return ScreenPoint{q.x(), q.y()}; };
  const ScreenPoint chainHead = at(chain[0]), chainMid = at(chain[5]), chainTail = at(chain[9]);

  const Robot& r = robot.robot();
  const auto com = r.CentreOfMass();
  const FloorCamera camera = FloorCamera::Follow(ScreenRect{0, 0, 900, 400}, r.viewFromAbove(), r.bodyLength(),
                                                 com[0], com[1], rest > 0 ? 1 : -1);
  std::array<std::optional<ScreenPoint>, kRobotModules + 1> body;
  for (const RobotShape& s : r.Shapes()) {
    auto& slot = body[static_cast<std::size_t>(s.module)];
    if (!slot || !s.touchesFloor) slot = camera.ToScreen(s.pos[0], s.pos[1]);
  }
  QVERIFY(body[0] && body[4] && body[8]);

  // The curl turns the tail back toward the head, so the side is read at
  // rest; the bend is the sense of the turn from head through the middle to
  // the tail.
  QVERIFY(rest > 0);
  const ScreenPoint headAtRest = camera.ToScreen(com[0] + rest, com[1]);
  const ScreenPoint comOnScreen = camera.ToScreen(com[0], com[1]);
  QCOMPARE(headAtRest.x < comOnScreen.x, kHeadScreenSide < 0);
  const ChainView::Joints straight = ChainView::Layout({}, QSizeF(900, 250), nullptr);
  QCOMPARE(straight[0].x() < straight[9].x(), kHeadScreenSide < 0);
  const double chainTurn = Turn(chainHead, chainMid, chainTail);
  const double robotTurn = Turn(*body[0], *body[4], *body[8]);
  QVERIFY2(std::abs(chainTurn) > 1 && std::abs(robotTurn) > 1, "both bodies bend");
  QVERIFY2((chainTurn > 0) == (robotTurn > 0), "the chain and the robot curl the same way");
}

// What a person sees: in both views, at rest, the head's colour lies on
// the head's side of the body's; and the robot seen from the side too.
void ControllerWindowTest::bothViewsDrawTheHeadOnThatSide() {
  VirtualController vc;
  for (const char* name : {"snake", "caterpillar"}) {
    LiveRobot live(vc, Robot::Load(name, nullptr), QString::fromLatin1(name));
    ControllerWindow window(vc, live);
    window.resize(980, 1000);
    window.show();
    Settle();
    window.refresh();
    const QImage robot = window.robotView().grab().toImage();
    // Module 1, next to the head, and module 8 at the tail.
    const double near = MeanX(robot, ChannelColour(0)), far = MeanX(robot, ChannelColour(7));
    QVERIFY2(!std::isnan(near) && !std::isnan(far), name);
    QCOMPARE(near < far, kHeadScreenSide < 0);

    const QImage chain = window.findChild<QWidget*>(QStringLiteral("ChainView"))->grab().toImage();
    const double head = MeanX(chain, QColor(0x46, 0x50, 0x5c)), modules = MeanX(chain, QColor(0x2e, 0x34, 0x3b));
    QVERIFY(!std::isnan(head) && !std::isnan(modules));
    QCOMPARE(head < modules, kHeadScreenSide < 0);
  }
}

QTEST_MAIN(ControllerWindowTest)
#include "controller_window_test.moc"
