// Steering latency and cost: eight modules moving on a pseudo-terminal line
// at 9600 baud's pace, Drive on; a steering key is pressed and the time to
// the first position handed to the port that the gait computed after it is
// measured, many times. Also the process's CPU time while driving.

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTest>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

#include "link/serial_link.h"
#include "panel/drive_control.h"
#include "panel/form2.h"
#include "panel/gait_control.h"
#include "tests/support/pty_pair.h"

namespace {

double CpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  gp::testing::PtyPair wire;
  if (!wire.ok()) return 1;
  gp::Form2 form(gp::PanelOptions{wire.slavePath(), QString()});
  form.show();
  form.activateWindow();
  QApplication::setActiveWindow(&form);
  gp::files::Gait gait;
  gait.name = QStringLiteral("wave");
  gait.intervalMs = 50;
  for (int i = 0; i < 8; ++i) gait.modules[static_cast<std::size_t>(i)] = {30, -45.0 * i, 0, true};
  form.gaitControl().applyGait(gait, QStringLiteral("bench"));
  for (int n = 1; n <= 8; ++n) form.findChild<QCheckBox*>(QStringLiteral("Check%1").arg(n))->click();
  auto* move = form.findChild<QPushButton*>(QStringLiteral("Command7"));
  move->click();
  form.driveControl().setDriving(true);
  move->setFocus();

  // The first gait tick after the input, and the first of its positions on the port.
  qint64 pressedNs = -1, tickedNs = -1, handedNs = -1;
  QObject::connect(&form.driver().timer1(), &QTimer::timeout, &form, [&] {
    if (pressedNs >= 0 && tickedNs < 0) tickedNs = gp::SerialLink::Now().count();
  });
  QObject::connect(&form.link(), &gp::SerialLink::commandHandedOver, &form, [&](const QByteArray& bytes, qint64 at) {
    if (tickedNs >= 0 && handedNs < 0 && bytes.startsWith("SW0") && at >= tickedNs) handedNs = at;
  });

  const auto drain = [&](int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) {
      wire.ReadNow();
      QApplication::processEvents(QEventLoop::AllEvents, 5);
    }
  };
  drain(1500);

  std::vector<double> ms;
  const double cpuFrom = CpuSeconds();
  QElapsedTimer wall;
  wall.start();
  for (int i = 0; i < 40; ++i) {
    pressedNs = tickedNs = handedNs = -1;
    pressedNs = gp::SerialLink::Now().count();
    QTest::keyClick(move, i % 2 ? Qt::Key_Up : Qt::Key_Down);
    QElapsedTimer t;
    t.start();
    while (handedNs < 0 && t.elapsed() < 2000) {
      wire.ReadNow();
      QApplication::processEvents(QEventLoop::AllEvents, 1);
    }
    if (handedNs >= 0) ms.push_back(static_cast<double>(handedNs - pressedNs) / 1e6);
    drain(137 + 13 * (i % 7));  // spread the presses over the ticks' rhythm
  }
  const double cpu = CpuSeconds() - cpuFrom;
  const double seconds = static_cast<double>(wall.elapsed()) / 1000.0;
  std::sort(ms.begin(), ms.end());
  if (ms.empty()) {
    std::printf("no position followed a key\n");
    return 1;
  }
  std::printf("key to first position handed to the port, 8 modules, 50 ms ticks, %zu presses: "
              "min %.1f ms, median %.1f ms, 90%% %.1f ms, max %.1f ms (goal: under about 100 ms)\n",
              ms.size(), ms.front(), ms[ms.size() / 2], ms[ms.size() * 9 / 10], ms.back());
  std::printf("process CPU while steering by keys (the bench's own reading loop included): %.1f%% of one core "
              "(%.2f s over %.1f s)\n", 100 * cpu / seconds, cpu, seconds);
  // The same four seconds of the moving gait with and without Drive: the
  // difference is what driving costs.
  for (const bool on : {false, true}) {
    form.driveControl().setDriving(on);
    if (on) form.driveControl().steer({0.6, 0.5, 1});
    const double from = CpuSeconds();
    drain(4000);
    std::printf("process CPU, gait moving, Drive %s: %.1f%% of one core\n", on ? "on " : "off",
                100 * (CpuSeconds() - from) / 4.0);
  }
  return 0;
}
