// The serial link under the gait's full load: eight modules, both timers at
// 20 ms, the far end of a pseudo-terminal read no faster than a 9600-baud line
// drains (960 bytes a second), then "Pause". The same scenario runs with the
// queued link and with a naive link that writes every command straight to
// the port, and the figures are printed side by side.
//
//   link_bench [--seconds N]

#include <QApplication>
#include <QCommandLineParser>
#include <QEventLoop>
#include <QSerialPort>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <mutex>
#include <optional>
#include <pty.h>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include "gait/gait_driver.h"
#include "gait/operator_sequence.h"
#include "protocol/line.h"
#include "link/serial_link.h"

namespace gp {
namespace {

using Time = TransmitQueue::Time;
using namespace std::chrono_literals;

constexpr double kLineBytesPerSecond = line::kBytesPerSecond;

double Seconds(Time t) { return std::chrono::duration<double>(t).count(); }
double Millis(Time t) { return std::chrono::duration<double, std::milli>(t).count(); }

// The far end: takes bytes off the pseudo-terminal's master no faster than
// the line carries them. Idle time is not banked: a line that had nothing to
// carry cannot catch up later.
class LineReader {
 public:
  explicit LineReader(int master) : master_(master), thread_([this] { Run(); }) {}
  ~LineReader() { Stop(); }

  void Stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
  }
  std::size_t received() const { return received_.load(); }

  // (time of the read, bytes received up to it), and the bytes themselves.
  std::vector<std::pair<Time, std::size_t>> samples;
  std::string data;

 private:
  void Run() {
    const TransmitQueue wire(line::kBaudRate);
    Time free = SerialLink::Now();  // when the line has carried all it took
    char buf[256];
    while (!stop_) {
      const Time now = SerialLink::Now();
      const auto allowed = static_cast<std::size_t>(Seconds(now - free) * kLineBytesPerSecond);
      if (allowed > 0) {
        const ssize_t n = ::read(master_, buf, std::min(allowed, sizeof buf));
        const auto got = static_cast<std::size_t>(std::max<ssize_t>(n, 0));
        if (got > 0) {
          data.append(buf, got);
          samples.emplace_back(now, data.size());
          received_ = data.size();
        }
        // A line that ran dry has lost the time it stood idle; one that had
        // bytes waiting carried them all along, however late this thread
        // woke up to look.
        free = got < std::min(allowed, sizeof buf) ? now : free + wire.LineTime(got);
      }
      std::this_thread::sleep_for(500us);
    }
  }

  int master_;
  std::atomic<bool> stop_{false};
  std::atomic<std::size_t> received_{0};
  std::thread thread_;
};

// One command as it went to the port: where its bytes end in the stream and
// when the program wrote them.
struct Handed {
  std::size_t end = 0;
  Time writtenAt{};
  Time handedAt{};
  int channel = ServoCommand::kNoChannel;
  bool pause = false;
};

// Every command straight into QSerialPort, with no queue in between.
class NaiveLink : public CommandSink {
 public:
  bool Open(const QString& device) {
    port_.setPortName(device);
    port_.setBaudRate(line::kBaudRate);
    port_.setParity(QSerialPort::NoParity);
    port_.setDataBits(QSerialPort::Data8);
    port_.setStopBits(QSerialPort::OneStop);
    port_.setFlowControl(QSerialPort::NoFlowControl);
    return port_.open(QIODevice::ReadWrite);
  }
  void Write(ServoCommand command) override {
    const Time now = SerialLink::Now();
    port_.write(command.bytes.data(), static_cast<qint64>(command.bytes.size()));
    largestBacklog_ = std::max(largestBacklog_, port_.bytesToWrite());
    if (observer) observer(command, now, now);
  }
  void Discard() {
    port_.clear(QSerialPort::Output);
    port_.close();
  }
  qint64 largestBacklog() const { return largestBacklog_; }
  SerialLink::HandOverObserver observer;

 private:
  QSerialPort port_;
  qint64 largestBacklog_ = 0;
};

struct Result {
  double bytesPerSecond = 0;
  std::vector<double> channelShare;
  double spread = 0;  // max/min - 1 of the channel shares
  double ageP50 = NAN, ageP99 = NAN, ageMax = NAN;
  double handOverP50 = NAN, handOverP99 = NAN;
  double pauseToSf = NAN;
  bool pauseEstimated = false;
  std::string largestQueue;
  std::uint64_t stale = 0;
  std::size_t agesMeasured = 0;
  bool intact = false;
};

double Percentile(std::vector<double> v, double p) {
  if (v.empty()) return NAN;
  std::sort(v.begin(), v.end());
  const auto i = static_cast<std::size_t>(std::ceil(p * static_cast<double>(v.size()))) - 1;
  return v[std::min(i, v.size() - 1)];
}

void RunFor(Time t) {
  QEventLoop loop;
  QTimer::singleShot(static_cast<int>(Millis(t)), Qt::PreciseTimer, &loop, &QEventLoop::quit);
  loop.exec();
}

Result Run(bool naive, double seconds) {
  int master = -1, slave = -1;
  char name[256] = {};
  if (::openpty(&master, &slave, name, nullptr, nullptr) != 0) {
    std::perror("openpty");
    std::exit(1);
  }
  ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);

  std::vector<Handed> handed;
  std::string stream;  // every byte given to the port, in order
  auto observe = [&](const ServoCommand& c, Time writtenAt, Time handedAt) {
    stream += c.bytes;
    handed.push_back({stream.size(), writtenAt, handedAt, c.channel, c.bytes == "SF\r"});
  };

  SerialLink link;
  NaiveLink plain;
  CommandSink* sink = nullptr;
  if (naive) {
    if (!plain.Open(QString::fromLocal8Bit(name))) std::fprintf(stderr, "naive open failed\n");
    plain.observer = observe;
    sink = &plain;
  } else {
    if (!link.Open(QString::fromLocal8Bit(name))) std::fprintf(stderr, "%s\n", qPrintable(link.lastError()));
    link.setHandOverObserver(observe);
    sink = &link;
  }
  ::close(slave);
  LineReader reader(master);

  ModuleTable table;
  GaitState state;
  for (int n = 1; n <= kModules; ++n) {
    table.Amp[n] = 90;
    table.Phase[n] = 45.0 * (n - 1);  // a travelling wave: every module differs
    table.ServoEnabled[n] = kTrue;
  }
  // The sine never shows the "Error" box, and no modal box ever opens here.
  GaitDriver driver(table, state, *sink, nullptr, [] { return false; });

  // "Move": the controller-wide pair, then the gait runs.
  const Time start = SerialLink::Now();
  state.StepIndex = 0;
  Move(state, *sink);
  driver.start();
  RunFor(std::chrono::duration_cast<Time>(std::chrono::duration<double>(seconds)));

  // "Pause".
  const Time pauseAt = SerialLink::Now();
  const std::size_t receivedAtPause = reader.received();
  WriteCommand(*sink, kAllOff);
  state.Running = kFalse;
  const Time cap = naive ? 3s : 5s;
  while (SerialLink::Now() - pauseAt < cap) {
    RunFor(5ms);
    auto sf = std::find_if(handed.begin(), handed.end(), [](const Handed& h) { return h.pause; });
    if (sf != handed.end() && reader.received() >= sf->end) break;
  }
  reader.Stop();
  if (naive) plain.Discard();

  Result r;
  r.intact = reader.data == stream.substr(0, reader.data.size());

  // Arrival at the far end of every command that got there.
  std::vector<Time> arrival(handed.size(), Time::max());
  for (std::size_t i = 0, s = 0; i < handed.size(); ++i) {
    while (s < reader.samples.size() && reader.samples[s].second < handed[i].end) ++s;
    if (s == reader.samples.size()) break;
    arrival[i] = reader.samples[s].first;
  }

  // The saturated stretch: from one second after the start to "Pause".
  const Time from = start + 1s;
  auto receivedBy = [&](Time t) {
    std::size_t got = 0;
    for (const auto& [at, total] : reader.samples) {
      if (at > t) break;
      got = total;
    }
    return got;
  };
  r.bytesPerSecond = static_cast<double>(receivedBy(pauseAt) - receivedBy(from)) / Seconds(pauseAt - from);

  std::vector<double> perChannel(kModules, 0.0), ages, handOver;
  double positions = 0;
  for (std::size_t i = 0; i < handed.size(); ++i) {
    const Handed& h = handed[i];
    if (h.channel == ServoCommand::kNoChannel) continue;
    if (h.handedAt >= from && h.handedAt <= pauseAt) handOver.push_back(Millis(h.handedAt - h.writtenAt));
    if (arrival[i] < from || arrival[i] > pauseAt) continue;
    perChannel[static_cast<std::size_t>(h.channel)] += 1;
    positions += 1;
    ages.push_back(Millis(arrival[i] - h.writtenAt));
  }
  for (double& c : perChannel) c = positions > 0 ? c / positions : 0;
  r.channelShare = perChannel;
  const auto [lo, hi] = std::minmax_element(perChannel.begin(), perChannel.end());
  r.spread = *lo > 0 ? *hi / *lo - 1 : INFINITY;
  r.agesMeasured = ages.size();
  r.ageP50 = Percentile(ages, 0.5);
  r.ageP99 = Percentile(ages, 0.99);
  r.ageMax = Percentile(ages, 1.0);
  if (!naive) {
    r.handOverP50 = Percentile(handOver, 0.5);
    r.handOverP99 = Percentile(handOver, 0.99);
  }

  auto sf = std::find_if(handed.begin(), handed.end(), [](const Handed& h) { return h.pause; });
  if (sf != handed.end()) {
    const auto i = static_cast<std::size_t>(sf - handed.begin());
    if (arrival[i] != Time::max()) {
      r.pauseToSf = Millis(arrival[i] - pauseAt);
    } else {
      // Still far behind when the wait ended: what was ahead of it, at 960 B/s.
      r.pauseToSf = static_cast<double>(sf->end - receivedAtPause) / kLineBytesPerSecond * 1000.0;
      r.pauseEstimated = true;
    }
  }

  if (naive) {
    std::size_t onLine = 0;
    for (std::size_t i = 0; i < handed.size(); ++i)
      if (arrival[i] != Time::max() && arrival[i] <= pauseAt) ++onLine;
    std::size_t before = 0;
    for (const Handed& h : handed)
      if (h.writtenAt <= pauseAt) ++before;
    r.largestQueue = std::to_string(before - onLine) + " commands (" +
                     std::to_string(stream.size() - receivedAtPause) + " B; " +
                     std::to_string(plain.largestBacklog()) + " B in Qt)";
  } else {
    r.largestQueue = std::to_string(link.counters().largestQueue) + " commands";
    r.stale = link.counters().stale;
    link.Close();
  }
  ::close(master);
  return r;
}

std::string Fmt(const char* format, double v) {
  if (std::isnan(v)) return "-";
  char buf[64];
  std::snprintf(buf, sizeof buf, format, v);
  return buf;
}

}  // namespace
}  // namespace gp

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  QCommandLineParser parser;
  parser.setApplicationDescription("The serial link under the gait's full load, queued and naive.");
  parser.addHelpOption();
  QCommandLineOption secondsOption("seconds", "Seconds of motion before \"Pause\" (default 20).", "N", "20");
  parser.addOption(secondsOption);
  parser.process(app);
  const double seconds = std::max(2.0, parser.value(secondsOption).toDouble());

  using namespace gp;
  const Result q = Run(false, seconds);
  const Result n = Run(true, seconds);

  std::printf("8 modules, Timer1 = Timer2 = 20 ms, %.0f s of motion, far end read at %d B/s\n", seconds,
              line::kBytesPerSecond);
  std::printf("saturated stretch: from 1 s after the start to Pause; shares and ages of the positions that\n"
              "reached the far end in it; age = from Write() to the bytes read at the far end\n\n");
  const char* row = "%-34s %-22s %-22s\n";
  std::printf(row, "", "queued link", "naive link");
  auto both = [&](const char* label, const std::string& a, const std::string& b) {
    std::printf(row, label, a.c_str(), b.c_str());
  };
  both("line bytes/s", Fmt("%.1f", q.bytesPerSecond), Fmt("%.1f", n.bytesPerSecond));
  both("  share of the line", Fmt("%.1f %%", 100 * q.bytesPerSecond / kLineBytesPerSecond),
       Fmt("%.1f %%", 100 * n.bytesPerSecond / kLineBytesPerSecond));
  for (int c = 0; c < kModules; ++c) {
    const std::string label = "  channel " + std::to_string(c) + " share of positions";
    both(label.c_str(), Fmt("%.2f %%", q.channelShare[c] * 100), Fmt("%.2f %%", n.channelShare[c] * 100));
  }
  both("channel spread (max/min - 1)", Fmt("%.1f %%", q.spread * 100), Fmt("%.1f %%", n.spread * 100));
  both("position age p50", Fmt("%.1f ms", q.ageP50), Fmt("%.0f ms", n.ageP50));
  both("position age p99", Fmt("%.1f ms", q.ageP99), Fmt("%.0f ms", n.ageP99));
  both("position age max", Fmt("%.1f ms", q.ageMax), Fmt("%.0f ms", n.ageMax));
  both("  ages measured", std::to_string(q.agesMeasured), std::to_string(n.agesMeasured));
  both("age at hand-over to port p50/p99", Fmt("%.1f", q.handOverP50) + " / " + Fmt("%.1f ms", q.handOverP99), "0 (writes at once)");
  both("Pause -> SF on the line", Fmt("%.1f ms", q.pauseToSf) + (q.pauseEstimated ? " (est.)" : ""),
       Fmt("%.0f ms", n.pauseToSf) + (n.pauseEstimated ? " (est.)" : ""));
  both("largest queue", q.largestQueue, n.largestQueue);
  both("stale positions left out", std::to_string(q.stale), "0");
  both("line bytes = bytes written, in order", q.intact ? "yes" : "NO", n.intact ? "yes" : "NO");

  const bool ok = q.bytesPerSecond >= 0.95 * kLineBytesPerSecond && q.spread <= 0.10 && q.ageP99 < 150 && q.pauseToSf < 150 &&
                  !q.pauseEstimated && q.intact;
  std::printf("\nqueued link targets (>= 95 %% line, spread <= 10 %%, p99 age and Pause->SF < 150 ms): %s\n",
              ok ? "met" : "NOT met");
  return 0;
}
