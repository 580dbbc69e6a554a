// A line that stalls 5 s and comes back, with eight modules moving: how many
// bytes reach the far end in the first 200 ms after the resume, and how long
// from Relax (positions dropped, SD00 to SD07) to the last SD, on a device
// that reports its output queue and on a plain pseudo-terminal (which cannot:
// everything handed over sits in its buffer). Prints its figures.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <cstdio>
#include <string>

#include "link/serial_link.h"
#include "protocol/command_sink.h"
#include "protocol/protocol.h"
#include "tests/support/queued_device.h"

namespace {

void Wait(int ms) {
  QElapsedTimer t;
  t.start();
  while (t.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

void Run(bool reports) {
  gp::testing::QueuedDevice device;
  gp::SerialLink link;
  if (reports) link.setQueueProbe(device.probe());
  link.Open(device.path());
  QTimer gait;
  int step = 0;
  QObject::connect(&gait, &QTimer::timeout, [&] {
    for (int m = 1; m <= 8; ++m) {
      const auto module = static_cast<std::int16_t>(m);
      gp::SendServoCommand(link, module,
                           gp::BuildPositionCommand(gp::kPositionPrefix, module, std::to_string(1000 + step % 900)));
    }
    ++step;
  });
  gait.start(20);
  Wait(500);
  device.stop();
  Wait(5000);
  // Relax at the end of the stall, then the line comes back.
  gait.stop();
  link.DropQueuedPositions();
  for (const auto literal : gp::kDisableChannel) link.Write(gp::ControlCommand(literal));
  const qint64 resumed = device.nowMs();
  device.resume();
  QElapsedTimer waited;
  waited.start();
  while (device.received().find("SD07\r") == std::string::npos && waited.elapsed() < 60000) Wait(5);
  qint64 lastSd = -1;
  std::string since;
  for (const auto& a : device.arrivals()) {
    if (a.ms < resumed) continue;
    since += a.bytes;
    if (since.find("SD07\r") != std::string::npos) {
      lastSd = a.ms;
      break;
    }
  }
  const std::size_t first200 = device.receivedBetween(resumed, 200).size();
  std::printf("%-40s bytes in the first 200 ms after the resume: %5zu; Relax to the last SD: %6lld ms\n",
              reports ? "device that reports its queue:" : "pseudo-terminal (cannot report):", first200,
              static_cast<long long>(lastSd - resumed));
  link.Close();
}

}  // namespace

int main(int argc, char* argv[]) {
  QCoreApplication app(argc, argv);
  std::printf("Line stalled 5 s with eight modules at 20 ms, then resumed at 960 bytes/s\n");
  Run(true);
  Run(false);
  return 0;
}
