// Eight modules moving through the real link into the virtual controller and
// its window, with the robot's physics at the wall clock's pace, for a while;
// then the process's CPU time and where it went.
//   bench_sim [seconds] [--no-window]
#include <QApplication>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <sys/resource.h>

#include "gait/gait_driver.h"
#include "link/serial_link.h"
#include "sim/controller/view.h"
#include "sim/controller_window.h"
#include "sim/robot/live_robot.h"
#include "sim/controller/virtual_controller.h"

namespace {

double CpuSeconds(const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; }

// CPU time of this thread: the drawing's own cost, not the time the
// scheduler gave to someone else.
std::chrono::nanoseconds ThreadTime() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return std::chrono::seconds(ts.tv_sec) + std::chrono::nanoseconds(ts.tv_nsec);
}

// Charges the time spent handling events to what handled them: the
// controller's input notifier (reading and decoding, wall time) and the
// controller window's views (drawing, CPU time), wherever they sit in it.
class MeasuringApplication : public QApplication {
 public:
  using QApplication::QApplication;

  bool notify(QObject* receiver, QEvent* event) override {
    if (event->type() == QEvent::SockAct && receiver->objectName() == QStringLiteral("ControllerInput")) {
      const auto begin = std::chrono::steady_clock::now();
      const bool done = QApplication::notify(receiver, event);
      readTime += std::chrono::steady_clock::now() - begin;
      ++reads;
      return done;
    }
    if (event->type() == QEvent::Paint && window != nullptr && dynamic_cast<gp::sim::View*>(receiver) != nullptr) {
      const auto begin = ThreadTime();
      const bool done = QApplication::notify(receiver, event);
      const auto spent = ThreadTime() - begin;
      paintTime += spent;
      if (receiver->objectName() == QStringLiteral("RobotView")) robotPaintTime += spent;
      return done;
    }
    return QApplication::notify(receiver, event);
  }

  const QObject* window = nullptr;
  std::chrono::nanoseconds readTime{0};
  std::chrono::nanoseconds paintTime{0};
  std::chrono::nanoseconds robotPaintTime{0};
  std::uint64_t reads = 0;
};

}  // namespace

int main(int argc, char* argv[]) {
  MeasuringApplication app(argc, argv);
  int seconds = 60;
  bool window = true;
  for (int i = 1; i < argc; ++i) {
    const QString arg = QString::fromLocal8Bit(argv[i]);
    if (arg == QStringLiteral("--no-window")) window = false;
    else seconds = arg.toInt();
  }

  gp::sim::VirtualController controller;
  QString error;
  if (!controller.start(&error)) {
    std::fprintf(stderr, "%s\n", qPrintable(error));
    return 1;
  }
  std::unique_ptr<gp::sim::LiveRobot> robot;
  std::unique_ptr<gp::sim::ControllerWindow> view;
  if (window) {
    std::string why;
    robot = std::make_unique<gp::sim::LiveRobot>(controller, gp::sim::Robot::Load("snake", &why), "snake");
    view = std::make_unique<gp::sim::ControllerWindow>(controller, *robot);
    app.window = view.get();
    view->show();
  }
  gp::SerialLink link;
  if (!link.Open(controller.devicePath())) {
    std::fprintf(stderr, "%s\n", qPrintable(link.lastError()));
    return 1;
  }
  gp::ModuleTable table;
  gp::GaitState state;
  for (int m = gp::kFirstModule; m <= gp::kLastModule; ++m) {
    table.Amp[static_cast<std::size_t>(m)] = 30;
    table.Phase[static_cast<std::size_t>(m)] = -45.0 * (m - 1);
    table.ServoEnabled[static_cast<std::size_t>(m)] = gp::kTrue;
    gp::WriteCommand(link, gp::kEnableChannel[static_cast<std::size_t>(m - 1)]);
  }
  gp::WriteCommand(link, gp::kAllOn);
  gp::WriteCommand(link, gp::kAllConfirm);
  state.Running = gp::kTrue;
  // The sine never shows the "Error" box, and no modal box ever opens here.
  gp::GaitDriver driver(table, state, link, nullptr, [] { return false; });
  driver.start();  // both timers at the design 20 ms: far more than the line carries

  rusage before{};
  getrusage(RUSAGE_SELF, &before);
  const std::int64_t startMs = controller.nowMs();
  const auto bytesBefore = controller.model().bytes();
  QTimer::singleShot(seconds * 1000, &app, &QCoreApplication::quit);
  app.exec();
  rusage after{};
  getrusage(RUSAGE_SELF, &after);

  const double user = CpuSeconds(after.ru_utime) - CpuSeconds(before.ru_utime);
  const double sys = CpuSeconds(after.ru_stime) - CpuSeconds(before.ru_stime);
  const double wall = static_cast<double>(controller.nowMs() - startMs) / 1000.0;
  const auto& m = controller.model();
  const double read = std::chrono::duration<double>(app.readTime).count();
  const double paint = std::chrono::duration<double>(app.paintTime).count();
  std::printf("wall %.1f s, %s\n", wall, window ? "with the window" : "without the window");
  std::printf("process CPU: user %.2f s + sys %.2f s = %.2f s (%.1f%% of one core)\n", user, sys, user + sys,
              100.0 * (user + sys) / wall);
  std::printf("received %llu bytes (%.0f bytes/s), %llu commands, %llu malformed, %llu reads\n",
              static_cast<unsigned long long>(m.bytes() - bytesBefore),
              static_cast<double>(m.bytes() - bytesBefore) / wall, static_cast<unsigned long long>(m.commands()),
              static_cast<unsigned long long>(m.malformed()), static_cast<unsigned long long>(app.reads));
  std::printf("reading and decoding: %.3f s (%.1f%% of the CPU time)\n", read, 100.0 * read / (user + sys));
  if (view) {
    std::printf("drawing: %.3f s in %llu frames (%.1f frames/s, %.2f ms a frame; %.1f%% of the CPU time)\n", paint,
                static_cast<unsigned long long>(view->frames()), static_cast<double>(view->frames()) / wall,
                1000.0 * paint / static_cast<double>(std::max<std::uint64_t>(1, view->frames())),
                100.0 * paint / (user + sys));
    const double robotPaint = std::chrono::duration<double>(app.robotPaintTime).count();
    std::printf("  of which the robot view: %.3f s (%.1f%% of the CPU time)\n", robotPaint, 100.0 * robotPaint / (user + sys));
    const double physics = std::chrono::duration<double>(view->liveRobot().physicsTime()).count();
    std::printf("robot physics: %.3f s for %.1f simulated s (%.1f%% of the CPU time, %.1f%% of one core)\n", physics,
                view->liveRobot().robot().robot().time(), 100.0 * physics / (user + sys), 100.0 * physics / wall);
  }
  state.Running = gp::kFalse;
  link.Close();
  return 0;
}
