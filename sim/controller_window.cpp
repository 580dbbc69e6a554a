#include "sim/controller_window.h"

#include <QGridLayout>
#include <algorithm>

#include "sim/controller/angle_plot.h"
#include "sim/controller/chain_view.h"
#include "sim/controller/channel_table.h"
#include "sim/controller/line_view.h"
#include "sim/robot/live_robot.h"
#include "sim/robot/robot_view.h"
#include "sim/controller/view.h"
#include "sim/controller/virtual_controller.h"

namespace gp::sim {

ControllerWindow::ControllerWindow(VirtualController& controller, LiveRobot& robot, QWidget* parent)
    : QWidget(parent), controller_(controller), robot_(robot) {
  setObjectName(QStringLiteral("ControllerWindow"));
  setWindowTitle(QStringLiteral("Virtual servo controller"));
  // Closing this window alone does not end the program, and it does not keep
  // the program alive once the panel has closed.
  setAttribute(Qt::WA_QuitOnClose, false);
  setAutoFillBackground(true);
  QPalette pal = palette();
  pal.setColor(QPalette::Window, colours::kBackground);
  setPalette(pal);

  robotView_ = new RobotView(controller_, robot_, this);
  chain_ = new ChainView(controller_, this);
  table_ = new ChannelTable(controller_, this);
  line_ = new LineView(controller_, this);
  plot_ = new AnglePlot(controller_, this);
  auto* grid = new QGridLayout(this);
  grid->setContentsMargins(6, 6, 6, 6);
  grid->setSpacing(0);
  grid->addWidget(robotView_, 0, 0, 1, 2);
  grid->addWidget(chain_, 1, 0, 1, 2);
  grid->addWidget(table_, 2, 0);
  grid->addWidget(line_, 2, 1);
  grid->addWidget(plot_, 3, 0, 1, 2);
  grid->setRowStretch(0, 5);
  grid->setRowStretch(1, 2);
  grid->setRowStretch(3, 2);
  resize(980, 1000);

  frameTimer_.setSingleShot(true);
  connect(&frameTimer_, &QTimer::timeout, this, &ControllerWindow::drawFrame);
  connect(&robot_, &LiveRobot::robotChanged, this, [this] { robotView_->update(); });
  connect(&controller_, &VirtualController::received, this, [this] {
    lastDataMs_ = controller_.nowMs();
    scheduleFrame();
  });
  // With nothing arriving, rates and ages still change and the plot still
  // scrolls: a few frames a second, and none once all is still.
  idleTimer_.setInterval(kTextIntervalMs);
  connect(&idleTimer_, &QTimer::timeout, this, [this] {
    if (frameTimer_.isActive() || controller_.nowMs() - lastFrameMs_ < kTextIntervalMs) return;
    if (controller_.nowMs() - lastDataMs_ < 12000) drawFrame();
  });
  idleTimer_.start();
}

ControllerWindow::~ControllerWindow() = default;

void ControllerWindow::scheduleFrame() {
  if (frameTimer_.isActive()) return;
  const std::int64_t frameMs = (1000 + kMaxFramesPerSecond - 1) / kMaxFramesPerSecond;
  const std::int64_t wait = std::max<std::int64_t>(0, lastFrameMs_ + frameMs - controller_.nowMs());
  frameTimer_.start(static_cast<int>(wait));
}

void ControllerWindow::drawFrame() {
  const std::int64_t now = controller_.nowMs();
  lastFrameMs_ = now;
  // Hidden or minimised, the window draws nothing; the robot moves on.
  if (!isVisible() || isMinimized()) return;
  ++frames_;
  // The chain and the plot move with every frame; numbers are read, not
  // watched, and a few updates a second are easier on the eye and the CPU.
  robotView_->update();
  chain_->update();
  plot_->update();
  if (now - lastTextMs_ >= kTextIntervalMs) {
    lastTextMs_ = now;
    table_->update();
    line_->update();
  }
}

void ControllerWindow::refresh() {
  robot_.catchUp();
  robotView_->repaint();
  chain_->repaint();
  table_->repaint();
  line_->repaint();
  plot_->repaint();
}

}  // namespace gp::sim
