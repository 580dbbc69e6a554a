// Runs gaitpanel with its start-up probe several times against a
// pseudo-terminal and prints the time from process start to the welcome
// window, from "Enter" to the panel, and the resident memory with the panel
// open, as medians.
//
//   startup_bench [runs] [extra arguments for gaitpanel...]

#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QStringList>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <pty.h>
#include <unistd.h>
#include <vector>

namespace {

long long MonotonicNs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

}  // namespace

int main(int argc, char* argv[]) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 9;
  QStringList extra;
  for (int i = 2; i < argc; ++i) extra << QString::fromLocal8Bit(argv[i]);

  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(QStringLiteral("GAITPANEL_STARTUP_PROBE"), QStringLiteral("1"));
  const QRegularExpression line(QStringLiteral(
      "startup main_ns=(\\d+) welcome_ns=(\\d+) enter_ns=(\\d+) panel_ns=(\\d+) rss_kb=(\\d+) hwm_kb=(\\d+)"));

  std::vector<double> toMain, toWelcome, handOver, rss, hwm;
  std::printf("%4s %12s %14s %14s %10s %10s\n", "run", "exec->main", "start->welcome", "enter->panel", "rss MB",
              "peak MB");
  for (int run = 1; run <= runs; ++run) {
    int master = -1, slave = -1;
    char name[256] = {};
    if (openpty(&master, &slave, name, nullptr, nullptr) != 0) {
      std::perror("openpty");
      return 1;
    }
    QProcess process;
    process.setProcessEnvironment(env);
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    const long long startNs = MonotonicNs();
    process.start(QStringLiteral(GAITPANEL_BINARY), QStringList{QStringLiteral("--port"), QString::fromLocal8Bit(name)} + extra);
    const bool finished = process.waitForFinished(30000);
    ::close(slave);
    ::close(master);
    const QRegularExpressionMatch m = line.match(QString::fromLocal8Bit(process.readAllStandardOutput()));
    if (!finished || !m.hasMatch()) {
      std::fprintf(stderr, "run %d: no figures from gaitpanel (exit %d)\n", run, process.exitCode());
      return 1;
    }
    const double main = (m.captured(1).toDouble() - static_cast<double>(startNs)) / 1e6;
    const double welcome = (m.captured(2).toDouble() - static_cast<double>(startNs)) / 1e6;
    const double panel = (m.captured(4).toDouble() - m.captured(3).toDouble()) / 1e6;
    toMain.push_back(main);
    toWelcome.push_back(welcome);
    handOver.push_back(panel);
    rss.push_back(m.captured(5).toDouble() / 1024);
    hwm.push_back(m.captured(6).toDouble() / 1024);
    std::printf("%4d %9.1f ms %11.1f ms %11.1f ms %10.1f %10.1f\n", run, main, welcome, panel, rss.back(),
                hwm.back());
  }
  std::printf("%4s %9.1f ms %11.1f ms %11.1f ms %10.1f %10.1f\n", "med", Median(toMain), Median(toWelcome),
              Median(handOver), Median(rss), Median(hwm));
  std::printf("targets: start->welcome < 300 ms, enter->panel < 100 ms, resident < 100 MB\n");
  return 0;
}
