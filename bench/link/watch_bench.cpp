// What watching for a lost serial device costs, and how soon it is reopened.
// A symbolic link stands for the adapter's stable name; its pseudo-terminal
// is hung up, the process's CPU time is read across the watching, then a new
// pseudo-terminal is put behind the name, several times over, at moments
// spread across the watch's rhythm.
//
//   watch_bench [--seconds N] [--cycles N]

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <pty.h>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

#include "link/port_watch.h"
#include "link/serial_link.h"

namespace {

double CpuSeconds() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void RunFor(int ms) {
  QEventLoop loop;
  QTimer::singleShot(ms, &loop, &QEventLoop::quit);
  loop.exec();
}

struct Pty {
  Pty() {
    char name[256] = {};
    if (::openpty(&master, &slave, name, nullptr, nullptr) == 0) path = QString::fromLocal8Bit(name);
  }
  void HangUp() {
    ::close(master);
    ::close(slave);
    master = slave = -1;
  }
  ~Pty() {
    if (master >= 0) HangUp();
  }
  int master = -1, slave = -1;
  QString path;
};

}  // namespace

int main(int argc, char* argv[]) {
  QCoreApplication app(argc, argv);
  QCommandLineParser parser;
  const QCommandLineOption secondsOption(QStringLiteral("seconds"), QStringLiteral("Watching time."),
                                         QStringLiteral("N"), QStringLiteral("20"));
  const QCommandLineOption cyclesOption(QStringLiteral("cycles"), QStringLiteral("Unplug and replug cycles."),
                                        QStringLiteral("N"), QStringLiteral("10"));
  parser.addOptions({secondsOption, cyclesOption});
  parser.addHelpOption();
  parser.process(app);
  const int seconds = std::max(1, parser.value(secondsOption).toInt());
  const int cycles = std::max(1, parser.value(cyclesOption).toInt());

  QTemporaryDir dir;
  const QString stable = dir.filePath(QStringLiteral("usb-Bench_Servo_Bridge-if00-port0"));
  auto plugged = std::make_unique<Pty>();
  QFile::link(plugged->path, stable);
  gp::SerialLink link;
  if (!link.Open(stable)) {
    std::fprintf(stderr, "%s\n", qPrintable(link.lastError()));
    return 1;
  }
  std::vector<double> reopenMs;
  double watchCpu = 0;
  for (int cycle = 0; cycle < cycles; ++cycle) {
    plugged->HangUp();
    QElapsedTimer lost;
    lost.start();
    while (link.state() != gp::SerialLink::State::Lost && lost.elapsed() < 5000) RunFor(5);
    if (cycle == 0) {
      const double cpu = CpuSeconds();
      RunFor(seconds * 1000);
      watchCpu = CpuSeconds() - cpu;
    }
    // The adapter comes back at any moment of the watch's half-second
    // rhythm, not just after the loss was noticed; spread the moments so
    // the figures cover the whole rhythm.
    RunFor((cycle * 137) % gp::PortWatch::kIntervalMs);
    plugged = std::make_unique<Pty>();
    QFile::remove(stable);
    QFile::link(plugged->path, stable);
    QElapsedTimer back;
    back.start();
    while (!link.isOpen() && back.elapsed() < 10000) RunFor(1);
    reopenMs.push_back(static_cast<double>(back.nsecsElapsed()) / 1e6);
  }
  std::sort(reopenMs.begin(), reopenMs.end());
  std::printf("watch seconds=%d cpu_ms=%.1f cpu_percent_of_a_core=%.4f\n", seconds, watchCpu * 1e3,
              100.0 * watchCpu / seconds);
  std::printf("reopen cycles=%d ms_min=%.0f ms_median=%.0f ms_max=%.0f\n", cycles, reopenMs.front(),
              reopenMs[reopenMs.size() / 2], reopenMs.back());
  link.Close();
  return reopenMs.back() <= 2000.0 ? 0 : 1;
}
