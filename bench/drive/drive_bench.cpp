// Steering latency and cost: eight modules moving on a pseudo-terminal line
// at 9600 baud's pace, Drive on; a steering key is pressed and the time to
// the first position handed to the port that the gait computed after it is
// measured, many times. The same for a gamepad's stick (SDL's virtual pad,
// through the pad's poll). Also the process's CPU time while driving.

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <QPushButton>
#include <QTest>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>
#include <vector>

#include "link/serial_link.h"
#include "panel/drive_control.h"
#include "panel/form2.h"
#include "panel/gait_control.h"
#include "tests/support/pty_pair.h"
#include "tests/support/virtual_pad.h"

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
  // (A pad's stick is seen at the pad's next poll: the tick that counts
  // comes after the steering took it.)
  qint64 pressedNs = -1, steeredNs = -1, tickedNs = -1, handedNs = -1;
  QObject::connect(&form.driveControl(), &gp::DriveControl::changed, &form, [&] {
    if (pressedNs >= 0 && steeredNs < 0) steeredNs = gp::SerialLink::Now().count();
  });
  QObject::connect(&form.driver().timer1(), &QTimer::timeout, &form, [&] {
    if (steeredNs >= 0 && tickedNs < 0) tickedNs = gp::SerialLink::Now().count();
  });
  QObject::connect(&form.link(), &gp::SerialLink::commandHandedOver, &form, [&](const QByteArray& bytes, qint64 at) {
    if (tickedNs >= 0 && handedNs < 0 && bytes.startsWith("SW0") && at >= tickedNs) handedNs = at;
  });

  // The far side of the line is read every 2 ms from a timer, and the bench
  // otherwise sleeps in the event loop, so that the CPU figures are the
  // panel's own and not a busy loop's.
  QTimer reader;
  reader.setTimerType(Qt::PreciseTimer);
  QObject::connect(&reader, &QTimer::timeout, [&] { wire.ReadNow(); });
  reader.start(2);
  const auto drain = [&](int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
  };
  drain(1500);

  // Forty inputs spread over the ticks' rhythm; each time from the input
  // to the first position of the tick after it handed to the port.
  const auto measure = [&](const char* what, const std::function<void(int)>& input) {
    std::vector<double> ms;
    const double cpuFrom = CpuSeconds();
    QElapsedTimer wall;
    wall.start();
    for (int i = 0; i < 40; ++i) {
      pressedNs = steeredNs = tickedNs = handedNs = -1;
      pressedNs = gp::SerialLink::Now().count();
      input(i);
      QElapsedTimer t;
      t.start();
      while (handedNs < 0 && t.elapsed() < 2000) QApplication::processEvents(QEventLoop::WaitForMoreEvents);
      if (handedNs >= 0) ms.push_back(static_cast<double>(handedNs - pressedNs) / 1e6);
      drain(137 + 13 * (i % 7));
    }
    const double cpu = CpuSeconds() - cpuFrom;
    const double seconds = static_cast<double>(wall.elapsed()) / 1000.0;
    std::sort(ms.begin(), ms.end());
    if (ms.empty()) {
      std::printf("no position followed a %s\n", what);
      return false;
    }
    std::printf("%s to first position handed to the port, 8 modules, 50 ms ticks, %zu inputs: "
                "min %.1f ms, median %.1f ms, 90%% %.1f ms, max %.1f ms (goal: under about 100 ms)\n",
                what, ms.size(), ms.front(), ms[ms.size() / 2], ms[ms.size() * 9 / 10], ms.back());
    std::printf("process CPU while steering by %s (the bench's reading of the line included): %.1f%% of one core "
                "(%.2f s over %.1f s)\n", what, 100 * cpu / seconds, cpu, seconds);
    return true;
  };
  if (!measure("key", [&](int i) { QTest::keyClick(move, i % 2 ? Qt::Key_Up : Qt::Key_Down); })) return 1;
  // The same four seconds of the moving gait with and without Drive: the
  // difference is what driving costs.
  const auto cpuFigures = [&](const char* pad) {
    for (const bool on : {false, true}) {
      form.driveControl().setDriving(on);
      if (on) form.driveControl().steer({0.6, 0.5, 1});
      const double from = CpuSeconds();
      drain(4000);
      std::printf("process CPU, gait moving, %s, Drive %s: %.1f%% of one core\n", pad, on ? "on " : "off",
                  100 * (CpuSeconds() - from) / 4.0);
    }
  };
  cpuFigures("no pad");

  gp::testing::VirtualPad pad("Bench pad");
  if (!pad.ok()) {
    std::printf("no virtual pad: %s\n", gp::testing::VirtualPad::Error().c_str());
    return 1;
  }
  drain(300);
  // The handle held whatever the remembered setting, the trigger pulled.
  pad.Button(SDL_CONTROLLER_BUTTON_RIGHTSHOULDER, true);
  pad.Axis(SDL_CONTROLLER_AXIS_TRIGGERRIGHT, 32767);
  drain(300);
  if (!measure("pad axis", [&](int i) { pad.Axis(SDL_CONTROLLER_AXIS_LEFTY, i % 2 ? -32768 : -12000); })) return 1;
  cpuFigures("a pad held, right shoulder and trigger down");
  return 0;
}
