// The panel driving the virtual controller through the real link, as the
// program runs with the simulator: what the operator does is what the
// controller receives.
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>
#include <set>

#include "ui/message_box.h"
#include "gait/waveform.h"
#include "panel/form2.h"
#include "sim/controller/virtual_controller.h"
#include "tests/support/critical_boxes.h"

using namespace gp;
using namespace gp::sim;

namespace {

// Every width the gait can send for a module with these settings.
std::set<std::int32_t> GaitWidths(std::int16_t amp, double phase) {
  std::set<std::int32_t> widths;
  for (std::int16_t step = 1; step <= 20; ++step) widths.insert(*AngleToPulse(GaitAngle(amp, phase, 0, step)));
  return widths;
}

}  // namespace

class PanelSimulatorTest : public QObject {
  Q_OBJECT
 private slots:
  void movePauseReachTheControllerAsTheyShould();
};

void PanelSimulatorTest::movePauseReachTheControllerAsTheyShould() {
  const gp::testing::CriticalBoxes critical;
  const QStringList& boxes = critical.texts;
  VirtualController vc;
  QString error;
  QVERIFY2(vc.start(&error), qPrintable(error));
  std::vector<DecodedCommand> seen;
  vc.setCommandObserver([&seen](const DecodedCommand& c) { seen.push_back(c); });

  Form2 panel(PanelOptions{vc.devicePath(), QStringLiteral("virtual servo controller")});
  panel.show();
  QVERIFY(QTest::qWaitForWindowExposed(&panel));
  QVERIFY(panel.link().isOpen());

  // Module 5 45 degrees out of phase with module 1: the two channels' widths
  // then come from different sets and cannot be mistaken for each other.
  auto* phase5 = panel.findChild<QLineEdit*>(QStringLiteral("Text_Phase5"));
  QVERIFY(phase5);
  phase5->setText(QStringLiteral("45"));
  panel.findChild<QCheckBox*>(QStringLiteral("Check1"))->click();
  panel.findChild<QCheckBox*>(QStringLiteral("Check5"))->click();
  panel.findChild<QPushButton*>(QStringLiteral("Command7"))->click();
  // As long as a busy machine needs for forty commands.
  QTRY_VERIFY_WITH_TIMEOUT(seen.size() > 40, 20000);
  QStringList firstFour;
  for (std::size_t i = 0; i < 4; ++i) firstFour << QString::fromStdString(CommandText(seen[i]));
  QCOMPARE(firstFour, (QStringList{"SE00", "SE04", "SO", "SC"}));
  const std::set<std::int32_t> module1 = GaitWidths(90, 0.0);
  const std::set<std::int32_t> module5 = GaitWidths(90, 45.0);
  std::set<std::int32_t> distinct0, distinct4;
  for (std::size_t i = 4; i < seen.size(); ++i) {
    const DecodedCommand& c = seen[i];
    QCOMPARE(c.kind, CommandKind::Position);
    QVERIFY2(c.channel == 0 || c.channel == 4, qPrintable(QString::fromStdString(CommandText(c))));
    QVERIFY((c.channel == 0 ? module1 : module5).count(c.pulseWidth) == 1);
    (c.channel == 0 ? distinct0 : distinct4).insert(c.pulseWidth);
  }
  // Moving, not standing: many different widths on each channel.
  QVERIFY(distinct0.size() >= 5);
  QVERIFY(distinct4.size() >= 5);
  QCOMPARE(vc.model().malformed(), 0u);

  panel.findChild<QPushButton*>(QStringLiteral("Command8"))->click();
  QTRY_VERIFY(vc.model().count(CommandKind::AllOff) == 1);
  const std::size_t atPause = seen.size();
  QTest::qWait(500);
  QCOMPARE(seen.size(), atPause);  // nothing after "SF"
  QCOMPARE(QString::fromStdString(CommandText(seen.back())), QStringLiteral("SF"));
  QVERIFY2(boxes.isEmpty(), qPrintable(boxes.join('\n')));
}

QTEST_MAIN(PanelSimulatorTest)
#include "panel_simulator_test.moc"
