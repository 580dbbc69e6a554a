#include "sim/controller_window.h"

#include <QBoxLayout>
#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QScrollArea>
#include <QSplitter>
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

namespace {

// The window's size when the screen has room for it.
constexpr QSize kWantedSize(980, 1000);
// Between the panel's frame and this window's.
constexpr int kGapToPanel = 8;

}  // namespace

QRect PlaceBeside(const QRect& panel, QSize wanted, QSize minimum, const QRect& available, int gap,
                  const QRect& over) {
  const int minWidth = std::min(minimum.width(), available.width());
  const int height = std::clamp(wanted.height(), std::min(minimum.height(), available.height()), available.height());
  int width = std::clamp(wanted.width(), minWidth, available.width());
  const int roomRight = available.right() - panel.right() - gap;
  const int roomLeft = panel.left() - gap - available.left();
  int x = 0;
  if (roomRight >= minWidth) {
    width = std::min(width, roomRight);
    x = panel.right() + gap + 1;
  } else if (roomLeft >= minWidth) {
    width = std::min(width, roomLeft);
    x = panel.left() - gap - width;
  } else if (const QRect room = over.intersected(available);
             !over.isNull() && room.width() >= minimum.width() && room.height() >= minimum.height()) {
    return QRect(room.left(), room.top(), std::min(wanted.width(), room.width()),
                 std::clamp(wanted.height(), minimum.height(), room.height()));
  } else {
    // Over the panel either way: as narrow as it may be, on the roomier side.
    width = std::max(minWidth, std::min(width, std::max(roomRight, roomLeft)));
    x = roomRight >= roomLeft ? available.right() + 1 - width : available.left();
  }
  x = std::clamp(x, available.left(), available.right() + 1 - width);
  const int y = std::clamp(panel.top(), available.top(), available.bottom() + 1 - height);
  return QRect(x, y, width, height);
}

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

  // The robot and the chain, each in a pane of the splitter; the numbers
  // and the plot below them in a pane that scrolls, so that no view is ever
  // squeezed below what it needs to be read.
  splitter_ = new QSplitter(Qt::Vertical, this);
  splitter_->setObjectName(QStringLiteral("ControllerSplitter"));
  splitter_->setChildrenCollapsible(false);
  splitter_->setHandleWidth(6);
  robotView_ = new RobotView(controller_, robot_, splitter_);
  chain_ = new ChainView(controller_, splitter_);
  scroll_ = new QScrollArea(splitter_);
  scroll_->setObjectName(QStringLiteral("ControllerNumbers"));
  scroll_->setFrameShape(QFrame::NoFrame);
  scroll_->setWidgetResizable(true);
  // Low enough that the window fits over the panel's sketch on a laptop's screen.
  scroll_->setMinimumHeight(130);
  scroll_->viewport()->setBackgroundRole(QPalette::Window);
  auto* lower = new QWidget(scroll_);
  table_ = new ChannelTable(controller_, lower);
  line_ = new LineView(controller_, lower);
  plot_ = new AnglePlot(controller_, lower);
  auto* column = new QVBoxLayout(lower);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);
  numbers_ = new QBoxLayout(QBoxLayout::LeftToRight);
  numbers_->setSpacing(0);
  numbers_->addWidget(table_);
  numbers_->addWidget(line_);
  column->addLayout(numbers_);
  column->addWidget(plot_, 1);
  scroll_->setWidget(lower);
  scroll_->viewport()->installEventFilter(this);
  splitter_->addWidget(robotView_);
  splitter_->addWidget(chain_);
  splitter_->addWidget(scroll_);
  splitter_->setStretchFactor(0, 5);
  splitter_->setStretchFactor(1, 2);
  splitter_->setStretchFactor(2, 5);
  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(6, 6, 6, 6);
  outer->addWidget(splitter_);
  resize(kWantedSize);
  // The table and the plot whole below the robot and the chain at the
  // wanted size.
  splitter_->setSizes({300, 230, 446});

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

bool ControllerWindow::eventFilter(QObject* watched, QEvent* event) {
  // Not while the scroll area is in the middle of laying itself out.
  if (watched == scroll_->viewport() && event->type() == QEvent::Resize)
    QMetaObject::invokeMethod(this, [this] { flowNumbers(scroll_->viewport()->width()); }, Qt::QueuedConnection);
  return QWidget::eventFilter(watched, event);
}

void ControllerWindow::flowNumbers(int width) {
  // Side by side where both fit across, else one above the other.
  const bool fits = width >= table_->minimumWidth() + line_->minimumWidth();
  const auto direction = fits ? QBoxLayout::LeftToRight : QBoxLayout::TopToBottom;
  if (numbers_->direction() == direction) return;
  numbers_->setDirection(direction);
}

bool ControllerWindow::numbersSideBySide() const { return numbers_->direction() == QBoxLayout::LeftToRight; }

void ControllerWindow::showBeside(const QWidget* panel) {
  QScreen* screen = panel && panel->screen() ? panel->screen() : QGuiApplication::primaryScreen();
  if (!screen) {
    show();
    return;
  }
  const QRect available = screen->availableGeometry();
  // This window's frame is not known before it is shown; the panel's,
  // drawn by the same window manager, is the best guess.
  QMargins frame;
  if (panel) {
    const QRect outside = panel->frameGeometry(), inside = panel->geometry();
    frame = QMargins(inside.left() - outside.left(), inside.top() - outside.top(), outside.right() - inside.right(),
                     outside.bottom() - inside.bottom());
  }
  const QSize extra(frame.left() + frame.right(), frame.top() + frame.bottom());
  const QSize wanted = size().expandedTo(minimumSizeHint()) + extra, least = minimumSizeHint() + extra;
  QRect placed;
  if (panel) {
    // The part of the panel that holds nothing but the fixed sketch: from the
    // "Simulation" frame's left edge rightwards, above the "Control" frame.
    QRect over;
    const QWidget* sketch = panel->findChild<QWidget*>(QStringLiteral("Frame2"));
    const QWidget* control = panel->findChild<QWidget*>(QStringLiteral("Frame1"));
    if (sketch && control) {
      const int left = sketch->mapToGlobal(QPoint(0, 0)).x();
      const int bottom = control->mapToGlobal(QPoint(0, 0)).y() - kGapToPanel;
      over = QRect(QPoint(left, panel->frameGeometry().top()), QPoint(available.right(), bottom));
    }
    placed = PlaceBeside(panel->frameGeometry(), wanted, least, available, kGapToPanel, over);
  } else {
    placed = QRect(QPoint(0, 0), wanted.boundedTo(available.size()).expandedTo(least.boundedTo(available.size())));
    placed.moveCenter(available.center());
  }
  setGeometry(placed.marginsRemoved(frame));
  show();
  // Once the window manager has framed it, the real frame may differ.
  QTimer::singleShot(300, this, &ControllerWindow::keepOnScreen);
}

void ControllerWindow::keepOnScreen() {
  if (!isVisible() || !screen()) return;
  const QRect available = screen()->availableGeometry();
  const QRect outside = frameGeometry();
  if (available.contains(outside)) return;
  const QSize extra = outside.size() - geometry().size();
  QSize inside = geometry().size().boundedTo(available.size() - extra).expandedTo(minimumSizeHint());
  resize(inside);
  const QSize framed = inside + extra;
  move(std::clamp(outside.left(), available.left(), std::max(available.left(), available.right() + 1 - framed.width())),
       std::clamp(outside.top(), available.top(), std::max(available.top(), available.bottom() + 1 - framed.height())));
}

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

void ControllerWindow::setClipped(const std::vector<int>& modules) {
  robotView_->setClipped(modules);
  static_cast<ChannelTable*>(table_)->setClipped(modules);
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
