// The controller's window on a laptop's screen: it fits 1366x768 without
// squeezing any view, opens beside the panel and within the screen; and the
// robot view and the chain view put the head at one end and bend alike.
#include <QImage>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSplitter>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QMenu>
#include <QtTest>
#include <cmath>

#include "gait/waveform.h"
#include "protocol/protocol.h"
#include "panel/form2.h"
#include "panel/relax_control.h"
#include "sim/controller/chain_view.h"
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
  void thePanelsShortcutsWorkFromThisWindow();
};

namespace {

void Settle() {
  for (int i = 0; i < 5; ++i) QTest::qWait(20);
}

// Sense of the turn head -> middle -> tail on the screen.
bool Clockwise(ScreenPoint h, ScreenPoint m, ScreenPoint t) {
  return (m.x - h.x) * (t.y - h.y) - (m.y - h.y) * (t.x - h.x) > 0;
}

}  // namespace

// 1366x768 less a title bar and a desktop panel leaves about 1350x700.
void ControllerWindowTest::fitsALaptopScreenWithoutSqueezingAView() {
  VirtualController vc;
  LiveRobot live(vc, Robot::Load("snake", nullptr), QStringLiteral("snake"));
  ControllerWindow window(vc, live);
  QVERIFY(window.minimumSizeHint().width() <= 1350 && window.minimumSizeHint().height() <= 700);
  window.resize(window.minimumSizeHint());
  window.show();
  Settle();
  for (const char* name : {"RobotView", "ChainView", "ChannelTable", "LineView", "AnglePlot"}) {
    const QWidget* view = window.findChild<QWidget*>(QString::fromLatin1(name));
    QVERIFY2(view->width() >= view->minimumWidth() && view->height() >= view->minimumHeight(), name);
  }
  // The numbers stack and scroll, down to the plot's bottom.
  QScrollArea& numbers = window.numbersArea();
  QVERIFY(!window.numbersSideBySide());
  const QWidget* table = window.findChild<QWidget*>(QStringLiteral("ChannelTable"));
  QVERIFY(window.findChild<QWidget*>(QStringLiteral("LineView"))->y() >= table->y() + table->height());
  QCOMPARE(numbers.verticalScrollBar()->maximum(), numbers.widget()->height() - numbers.viewport()->height());
  QCOMPARE(numbers.horizontalScrollBar()->maximum(), 0);
  window.resize(1200, 1000);
  Settle();
  QVERIFY(window.numbersSideBySide());
}

void ControllerWindowTest::placementKeepsTheFrameOnTheScreen() {
  const QSize wanted(980, 1000), least(600, 560);
  // Screen, panel, and whether the window fits beside the panel.
  const std::tuple<QRect, QRect, bool> cases[] = {
      {QRect(0, 0, 1600, 1000), QRect(0, 0, 890, 790), true},
      {QRect(0, 27, 1366, 741), QRect(0, 27, 890, 790), false},     // a laptop with a top bar
      {QRect(0, 0, 1920, 1080), QRect(1000, 40, 900, 700), true},   // room on the left only
      {QRect(1920, 0, 1280, 1024), QRect(1930, 10, 800, 700), false},  // a second screen
      {QRect(0, 0, 500, 400), QRect(0, 0, 300, 200), false},        // smaller than the least size
      {QRect(0, 0, 1366, 768), QRect(-3000, 2000, 890, 790), true},  // the panel off every screen
  };
  // No room either side: over the part of the panel it may cover, as
  // large as that part allows, when its minimum fits there.
  const QRect laptop(0, 0, 1366, 768), panelFrame(0, 0, 882, 768), sketch(QPoint(464, 0), QPoint(1365, 529));
  QCOMPARE(PlaceBeside(panelFrame, wanted, QSize(572, 524), laptop, 8, sketch), QRect(464, 0, 902, 530));
  // ...and at the screen's edge when it does not.
  QCOMPARE(PlaceBeside(panelFrame, wanted, QSize(572, 560), laptop, 8, sketch).left(), 1366 - 572);
  for (const auto& [screen, panel, beside] : cases) {
    const QRect placed = PlaceBeside(panel, wanted, least, screen, 8);
    QVERIFY(screen.contains(placed));
    QVERIFY(placed.width() <= wanted.width() && placed.height() <= wanted.height());
    QCOMPARE(placed.intersects(panel.adjusted(-8, -8, 8, 8)), !beside);
    // Over the panel, no wider than it must be.
    if (!beside) QCOMPARE(placed.width(), std::min(least.width(), screen.width()));
  }
}

// Also run under an X server with a 1366x768 screen.
void ControllerWindowTest::opensBesideThePanelWithinTheScreen() {
  VirtualController vc;
  QString error;
  QVERIFY2(vc.start(&error), qPrintable(error));
  LiveRobot live(vc, Robot::Load("snake", nullptr), QStringLiteral("snake"));
  Form2 panel(PanelOptions{vc.devicePath(), QStringLiteral("virtual servo controller")});
  const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
  panel.move(available.topLeft());
  panel.show();
  QVERIFY(QTest::qWaitForWindowExposed(&panel));
  ControllerWindow window(vc, live);
  window.showBeside(&panel);
  QVERIFY(QTest::qWaitForWindowExposed(&window));
  Settle();
  QTest::qWait(400);  // the check after the window manager has framed it
  window.refresh();
  const QString dir = qEnvironmentVariable("GAITPANEL_SCREENSHOT_DIR");
  if (!dir.isEmpty()) {
    QDir().mkpath(dir);
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    QVERIFY(QGuiApplication::primaryScreen()->grabWindow(0).save(
        dir + QStringLiteral("/screen-%1x%2.png").arg(screen.width()).arg(screen.height())));
  }
  qInfo("screen %dx%d: panel frame %d,%d %dx%d; controller window frame %d,%d %dx%d", available.width(),
        available.height(), panel.frameGeometry().x(), panel.frameGeometry().y(), panel.frameGeometry().width(),
        panel.frameGeometry().height(), window.frameGeometry().x(), window.frameGeometry().y(),
        window.frameGeometry().width(), window.frameGeometry().height());
  QVERIFY(available.contains(window.frameGeometry()));
  // The panel whole on the screen, its status line one row, and neither
  // "Exit" nor the status line under the controller's window.
  // (The offscreen platform's screen is smaller than any laptop's.)
  if (available.width() >= 1366 && available.height() >= 768) {
    QVERIFY2(available.contains(panel.frameGeometry()), "the panel is taller or wider than the screen");
    const auto global = [](const QWidget* w) { return QRect(w->mapToGlobal(QPoint(0, 0)), w->size()); };
    const QWidget* exit = panel.findChild<QWidget*>(QStringLiteral("Command_Exit"));
    const QWidget* status = panel.findChild<QWidget*>(QStringLiteral("StatusBar"));
    QVERIFY(exit && status);
    QVERIFY(status->height() <= 24);
    QVERIFY2(!window.frameGeometry().intersects(global(exit)), "the controller's window covers Exit");
    QVERIFY2(!window.frameGeometry().intersects(global(status)), "the controller's window covers the status line");
  }

  // Pushed half off the screen, it comes back whole.
  window.move(available.right() - 200, available.top() + 40);
  Settle();
  window.keepOnScreen();
  Settle();
  QVERIFY(available.contains(window.frameGeometry()));
}

// Every joint at +20 degrees: the chain as commanded, and the physics'
// robot once its servos are there, through the robot view's camera.
void ControllerWindowTest::bothViewsPutTheHeadOnOneSideAndBendAlike() {
  VirtualController vc;
  LiveRobot live(vc, Robot::Load("snake", nullptr), QStringLiteral("snake"));
  ControllerWindow window(vc, live);
  window.show();
  Settle();
  window.refresh();
  // At rest, module 1 (beside the head) is drawn on the head's side of
  // module 8, and the chain's head on the head's side of its tail.
  const QImage image = window.robotView().grab().toImage();
  double x1 = 0, x8 = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) {
      if (image.pixel(x, y) == ChannelColour(0).rgb()) x1 = x;
      if (image.pixel(x, y) == ChannelColour(7).rgb()) x8 = x;
    }
  QVERIFY(x1 > 0 && x8 > 0);
  QCOMPARE(x1 < x8, kHeadScreenSide < 0);
  const ChainView::Joints straight = ChainView::Layout({}, QSizeF(900, 250), nullptr);
  QCOMPARE(straight[0].x() < straight[9].x(), kHeadScreenSide < 0);

  VirtualRobot robot(Robot::Load("snake", nullptr));
  ControllerModel model;
  model.setCommandObserver([&robot](const DecodedCommand& command) { robot.Apply(command); });
  std::string bytes;
  for (std::int16_t m = 1; m <= 8; ++m)
    bytes += std::string(kEnableChannel[static_cast<std::size_t>(m - 1)]) + "\r" +
             PositionCommand(m, BuildPositionCommand(kPositionPrefix, m, PulseText(*AngleToPulse(20.0)))).bytes;
  model.Feed(bytes, 0);
  robot.AdvanceTo(2.0, 100000);

  std::array<double, kChannels> angles{};
  for (int c = 0; c < kChannels; ++c) angles[static_cast<std::size_t>(c)] = model.channel(c).angle;
  const ChainView::Joints chain = ChainView::Layout(angles, QSizeF(900, 250), nullptr);
  const Robot& r = robot.robot();
  const auto com = r.CentreOfMass();
  const FloorCamera camera = FloorCamera::Follow(ScreenRect{0, 0, 900, 400}, true, r.bodyLength(), com[0], com[1], 1);
  std::array<ScreenPoint, kRobotModules + 1> body{};
  for (const RobotShape& s : r.Shapes())
    if (!s.touchesFloor) body[static_cast<std::size_t>(s.module)] = camera.ToScreen(s.pos[0], s.pos[1]);
  const auto at = [](QPointF q) { return ScreenPoint{q.x(), q.y()}; };
  QCOMPARE(Clockwise(body[0], body[4], body[8]), Clockwise(at(chain[0]), at(chain[5]), at(chain[9])));
}

namespace {

// A control of the controller's window that takes Ctrl+Space for itself.
class TakesCtrlSpace : public QWidget {
 public:
  using QWidget::QWidget;
  int taken = 0;

 protected:
  bool event(QEvent* e) override {
    if (e->type() == QEvent::ShortcutOverride &&
        QKeySequence(static_cast<QKeyEvent*>(e)->keyCombination()) == QKeySequence(Qt::CTRL | Qt::Key_Space)) {
      e->accept();
      return true;
    }
    if (e->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(e)->key() == Qt::Key_Space) ++taken;
    return QWidget::event(e);
  }
};

}  // namespace

// With the controller's window in front (after its robot chooser, say), the
// panel's Ctrl+Space and Ctrl+G still do what they do in the panel; a
// control there that takes the key keeps it.
void ControllerWindowTest::thePanelsShortcutsWorkFromThisWindow() {
  VirtualController vc;
  QString error;
  QVERIFY2(vc.start(&error), qPrintable(error));
  LiveRobot live(vc, Robot::Load("snake", nullptr), QStringLiteral("snake"));
  Form2 panel(PanelOptions{vc.devicePath(), QStringLiteral("virtual servo controller")});
  ControllerWindow window(vc, live);
  panel.offerShortcutsTo(&window);
  panel.show();
  window.show();
  QVERIFY(QTest::qWaitForWindowExposed(&window));
  panel.findChild<QCheckBox*>(QStringLiteral("Check1"))->click();
  window.robotView().robotChoice()->setFocus();
  window.activateWindow();
  QApplication::setActiveWindow(&window);
  QVERIFY(QTest::qWaitForWindowActive(&window));

  QTest::keyClick(window.robotView().robotChoice(), Qt::Key_Space, Qt::ControlModifier);
  QVERIFY(panel.relaxControl().relaxed());

  // Ctrl+G opens the panel's Gait menu.
  QString opened;
  QTimer closer;
  closer.setInterval(20);
  QObject::connect(&closer, &QTimer::timeout, [&] {
    if (QWidget* popup = QApplication::activePopupWidget()) {
      opened = popup->objectName();
      popup->close();
    }
  });
  closer.start();
  QTest::keyClick(&window, Qt::Key_G, Qt::ControlModifier);
  QTRY_COMPARE(opened, QStringLiteral("GaitMenu"));
  closer.stop();

  // A control that takes the key first keeps it: no Resume.
  auto* taker = new TakesCtrlSpace(&window);
  taker->setFocusPolicy(Qt::StrongFocus);
  taker->show();
  window.activateWindow();
  QApplication::setActiveWindow(&window);
  QVERIFY(QTest::qWaitForWindowActive(&window));
  taker->setFocus();
  QTest::keyClick(taker, Qt::Key_Space, Qt::ControlModifier);
  QCOMPARE(taker->taken, 1);
  QVERIFY(panel.relaxControl().relaxed());
}

QTEST_MAIN(ControllerWindowTest)
#include "controller_window_test.moc"
