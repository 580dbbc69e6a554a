#include "sim/robot/robot_view.h"

#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QPainter>
#include <QPushButton>
#include <QStringList>
#include <algorithm>
#include <cmath>

#include "sim/controller/head_end.h"
#include "sim/controller/virtual_controller.h"
#include "sim/robot/live_robot.h"
#include "ui/message_box.h"

namespace gp::sim {

using namespace colours;

namespace {

// What the robot chooser offers, in its order, and what each item does: load
// the built-in robot it names, or (no name) ask for a model file. The items
// are made from this table and each choice is looked up in it again, so an
// item's place and its action cannot drift apart.
struct RobotChoiceItem {
  const char* label;
  const char* robot;  // nullptr: ask for a model file
};
constexpr RobotChoiceItem kRobotChoices[] = {
    {"Snake", "snake"},
    {"Caterpillar", "caterpillar"},
    {"Pitch-yaw snake", "pitch-yaw"},
    {"Model file\u2026", nullptr},
};
constexpr int kRobotChoiceCount = static_cast<int>(std::size(kRobotChoices));

QString AskForModelFile(QWidget* parent) {
  return QFileDialog::getOpenFileName(parent, QStringLiteral("Robot model"), QString(),
                                      QStringLiteral("MuJoCo models (*.xml);;All files (*)"));
}

QString Signed(double value, int decimals) {
  return QStringLiteral("%1%2").arg(value >= 0 ? QStringLiteral("+") : QString()).arg(value, 0, 'f', decimals);
}

const QString kNoServoNote = QStringLiteral("SO, SC and SF are shown in the table but move no servo");

}  // namespace

RobotView::RobotView(const VirtualController& controller, LiveRobot& robot, QWidget* parent)
    : View(controller, "RobotView", parent), robot_(robot) {
  // Room for the readouts and a picture of the robot a few centimetres
  // across; the window lets it grow.
  setMinimumSize(560, 220);
  choice_ = new QComboBox(this);
  choice_->setObjectName(QStringLiteral("RobotChoice"));
  for (const RobotChoiceItem& item : kRobotChoices) {
    choice_->addItem(QString::fromUtf8(item.label),
                     item.robot ? QVariant(QString::fromLatin1(item.robot)) : QVariant());
  }
  choice_->setToolTip(QStringLiteral("The robot the controller drives"));
  reset_ = new QPushButton(QStringLiteral("Reset"), this);
  reset_->setObjectName(QStringLiteral("RobotReset"));
  reset_->setToolTip(QStringLiteral("Put the robot back at rest at the origin"));
  connect(reset_, &QPushButton::clicked, this, [this] { robot_.reset(); });
  connect(choice_, qOverload<int>(&QComboBox::activated), this, [this](int index) { onChoice(index); });
  connect(&robot_, &LiveRobot::robotChanged, this, [this] { takeRestPose(); });
  takeRestPose();
  showChoice(robot_.source());
}

void RobotView::takeRestPose() {
  // A model file may lay its chain either way along x; the built-in robots
  // put the head toward +x.
  const Robot& r = robot_.robot().robot();
  restHeadSign_ = r.HeadPosition()[0] < r.CentreOfMass()[0] ? -1.0 : 1.0;
}

void RobotView::resizeEvent(QResizeEvent* event) {
  View::resizeEvent(event);
  const QSize c = choice_->sizeHint(), r = reset_->sizeHint();
  reset_->setGeometry(width() - 18 - r.width(), 12, r.width(), r.height());
  choice_->setGeometry(reset_->x() - 8 - c.width(), 12, c.width(), r.height());
}

bool RobotView::chooseRobot(const QString& robot) {
  QString error;
  if (!robot_.load(robot, &error)) {
    ShowCritical(this, QStringLiteral("The robot model cannot be used.\n\n%1").arg(error));
    choice_->setCurrentIndex(lastChoice_);
    return false;
  }
  showChoice(robot);
  return true;
}

void RobotView::showChoice(const QString& robot) {
  int index = robot.isEmpty() ? -1 : choice_->findData(robot);
  if (index < 0) {
    index = choice_->count();
    choice_->addItem(QFileInfo(robot).fileName(), robot);
  }
  choice_->setCurrentIndex(index);
  lastChoice_ = index;
  update();
}

void RobotView::onChoice(int index) {
  // The table's items first; after them, the model files chosen before.
  const bool fromTable = index >= 0 && index < kRobotChoiceCount;
  if (fromTable && !kRobotChoices[index].robot) {
    const QString file = askModelFile_ ? askModelFile_(this) : AskForModelFile(this);
    if (file.isEmpty()) {
      choice_->setCurrentIndex(lastChoice_);
      return;
    }
    chooseRobot(file);
    return;
  }
  const QString robot = fromTable ? QString::fromLatin1(kRobotChoices[index].robot) : choice_->itemData(index).toString();
  if (robot.isEmpty()) {
    choice_->setCurrentIndex(lastChoice_);
    return;
  }
  chooseRobot(robot);
}

QString RobotView::headline() const {
  const std::string& failure = robot_.robot().robot().failure();
  if (!failure.empty()) {
    return QStringLiteral("The physics failed: %1. The robot stands still until Reset.")
        .arg(QString::fromStdString(failure));
  }
  const LiveRobot::Readout r = robot_.readout();
  QString speed = QStringLiteral("speed %1 m/s").arg(r.speed, 0, 'f', 3);
  speed += r.bodyLengthsPerPeriod
               ? QStringLiteral(", %1 body lengths per period (%2 s)").arg(*r.bodyLengthsPerPeriod, 0, 'f', 2).arg(*r.periodSeconds, 0, 'f', 2)
               : QStringLiteral(", no gait period on the line");
  return speed;
}

QPointF RobotView::toScreen(double u, double v) const {
  const ScreenPoint s = camera_.ToScreen(u, v);
  return QPointF(s.x, s.y);
}

void RobotView::PaintStatic(QPainter& p, const QRectF& area) {
  Title(p, area, QStringLiteral("Robot"));
}

void RobotView::Paint(QPainter& p, const QRectF& area) {
  const Robot& robot = robot_.robot().robot();
  const bool above = robot.viewFromAbove();
  // In a narrow view the note on SO, SC and SF gets a line of its own
  // above the readouts.
  const LiveRobot::Readout r = robot_.readout();
  const QString readouts = QStringLiteral("%1   distance %2 m   heading %3\u00b0   %4 s   grid 10 cm")
                               .arg(QString::fromStdString(robot.name()))
                               .arg(r.distance, 0, 'f', 3)
                               .arg(Signed(r.headingDeg, 1))
                               .arg(r.seconds, 0, 'f', 1);
  const QFont readoutFont = ViewFont(13, false, true), noteFont = ViewFont(12);
  const bool noteApart = QFontMetricsF(noteFont).horizontalAdvance(kNoServoNote) + 24 +
                             QFontMetricsF(readoutFont).horizontalAdvance(readouts) >
                         area.width();
  const QRectF room = area.adjusted(0, 40, 0, noteApart ? -44 : -26);
  p.save();
  p.setClipRect(room);

  // The camera follows the centre of mass.
  const auto com = robot.CentreOfMass();
  // The head stays on the left: once a turn has taken it well over to the
  // right, the camera turns half round (a turn, never a mirror image).
  const double headward = robot.HeadPosition()[0] - com[0];
  if (restHeadSign_ * headward < -0.25 * robot.bodyLength()) restHeadSign_ = headward < 0 ? -1.0 : 1.0;
  const ScreenRect floor{room.left(), room.top(), room.width(), room.height()};
  camera_ = FloorCamera::Follow(floor, above, robot.bodyLength(), com[0], com[1], restHeadSign_);
  const double scale = camera_.scale();

  // The floor's grid, every 10 cm, with each metre stronger.
  double uMin = 0, uMax = 0, vMin = 0, vMax = 0;
  camera_.InSight(floor, &uMin, &uMax, &vMin, &vMax);
  if (!above) vMin = 0.0;  // from the side: nothing below the floor
  // Plain lines, without antialiasing: drawn every frame, they are the view's
  // largest cost otherwise.
  QVector<QLineF> minor, major;
  for (int i = static_cast<int>(std::floor(uMin / kGridMetres)); i * kGridMetres <= uMax; ++i)
    (i % 10 == 0 ? major : minor) << QLineF(toScreen(i * kGridMetres, vMin), toScreen(i * kGridMetres, vMax));
  for (int i = static_cast<int>(std::ceil(vMin / kGridMetres)); i * kGridMetres <= vMax; ++i)
    (i % 10 == 0 ? major : minor) << QLineF(toScreen(uMin, i * kGridMetres), toScreen(uMax, i * kGridMetres));
  p.setRenderHint(QPainter::Antialiasing, false);
  p.setPen(QPen(kGrid, 1));
  p.drawLines(minor);
  p.setPen(QPen(kDim, 1));
  p.drawLines(major);
  p.setRenderHint(QPainter::Antialiasing, true);
  if (!above) {
    p.setPen(QPen(kText, 2));
    p.drawLine(toScreen(uMin, 0), toScreen(uMax, 0));
  }

  // The head's trail, on the floor: only the stretches in sight.
  if (above) {
    const QRectF sight = room.adjusted(-20, -20, 20, 20);
    QPolygonF stretch;
    p.setPen(QPen(kWarn, 1.5));
    const auto flush = [&] {
      if (stretch.size() > 1) p.drawPolyline(stretch);
      stretch.clear();
    };
    for (const QPointF& q : robot_.trail()) {
      const QPointF at = toScreen(q.x(), q.y());
      if (sight.contains(at)) stretch << at;
      else flush();
    }
    flush();
  }

  // The bodies: their outlines when the model has any, else the parts that
  // touch the floor. Seen from above in x and y, from the side in x and z.
  const std::vector<RobotShape> shapes = robot.Shapes();
  bool outlines = false;
  for (const RobotShape& s : shapes) outlines = outlines || !s.touchesFloor;
  const int second = above ? 1 : 2;
  const auto project = [&](const std::array<double, 3>& w) { return toScreen(w[0], w[second]); };
  const auto axis = [](const RobotShape& s, int k) { return std::array<double, 3>{s.rot[k], s.rot[3 + k], s.rot[6 + k]}; };
  const auto offset = [](std::array<double, 3> a, const std::array<double, 3>& d, double f) {
    for (int i = 0; i < 3; ++i) a[static_cast<std::size_t>(i)] += d[static_cast<std::size_t>(i)] * f;
    return a;
  };
  const std::vector<int>& clipped = clipped_;
  const std::vector<int> off = modulesOff();
  const auto isOff = [&](int module) { return std::find(off.begin(), off.end(), module) != off.end(); };
  const auto isClipped = [&](int module) { return std::find(clipped.begin(), clipped.end(), module) != clipped.end(); };
  std::optional<QPointF> head, neck;
  double headReach = 0;
  for (const RobotShape& s : shapes) {
    if (s.touchesFloor == outlines && outlines) continue;
    if (s.module == 0 && !head) {
      head = project(s.pos);
      headReach = std::max({s.size[0], s.size[1], s.size[2]}) * scale;
    }
    if (s.module == 1 && !neck) neck = project(s.pos);
    const QColor fill = s.module == 0 ? kText : isOff(s.module) ? kOff : ChannelColour(s.module - 1);
    p.setPen(isClipped(s.module) ? QPen(kWarn, 3.0) : QPen(fill.darker(170), 1.2));
    p.setBrush(fill);
    switch (s.kind) {
      case RobotShape::Kind::Box: {
        // The box's two axes that lie most in the picture's plane.
        const int k0 = 0, k1 = above ? 1 : 2;
        const auto a0 = axis(s, k0), a1 = axis(s, k1);
        QPolygonF poly;
        for (const auto& [f0, f1] : {std::pair{1, 1}, std::pair{-1, 1}, std::pair{-1, -1}, std::pair{1, -1}})
          poly << project(offset(offset(s.pos, a0, f0 * s.size[k0]), a1, f1 * s.size[k1]));
        p.drawPolygon(poly);
        break;
      }
      case RobotShape::Kind::Capsule: {
        const auto a2 = axis(s, 2);
        p.setPen(QPen(fill, std::max(1.0, 2 * s.size[0] * scale), Qt::SolidLine, Qt::RoundCap));
        p.drawLine(project(offset(s.pos, a2, -s.size[1])), project(offset(s.pos, a2, s.size[1])));
        break;
      }
      case RobotShape::Kind::Sphere:
        p.drawEllipse(project(s.pos), s.size[0] * scale, s.size[0] * scale);
        break;
    }
  }
  // Seen from above, each module's roll: a dot where its top faces, at
  // its centre while it stands upright, towards the side it rolls to, and
  // hollow once it lies upside down.
  if (above) {
    p.setPen(QPen(kBackground, 1.2));
    for (const RobotShape& sh : shapes) {
      if (sh.module < 1 || (outlines && sh.touchesFloor)) continue;
      // The module's up: a capsule lies along its own z, turned so that its
      // own x points down at rest; a box and a ball keep their z up.
      std::array<double, 3> up = axis(sh, sh.kind == RobotShape::Kind::Capsule ? 0 : 2);
      if (sh.kind == RobotShape::Kind::Capsule) up = {-up[0], -up[1], -up[2]};
      const double reach = (sh.kind == RobotShape::Kind::Box ? sh.size[2] : sh.size[0]) * 0.8;
      const QPointF top = project(offset(sh.pos, up, reach));
      p.setBrush(up[2] >= 0 ? QBrush(kText) : QBrush(Qt::NoBrush));
      p.drawEllipse(top, 2.5, 2.5);
    }
  }
  if (head && neck) DrawHeadLabel(p, *neck, *head, headReach);
  p.restore();

  // Readouts.
  p.setFont(readoutFont);
  p.setPen(robot.failure().empty() ? kText : kWarn);
  p.drawText(QPointF(area.left(), area.top() + 34), headline());
  QStringList marks;
  const auto names = [](const std::vector<int>& modules) {
    QStringList list;
    for (int n : modules) list << QString::number(n);
    return QStringLiteral("module%1 %2").arg(modules.size() == 1 ? QString() : QStringLiteral("s"),
                                             list.join(QStringLiteral(", ")));
  };
  if (!clipped.empty()) marks << QStringLiteral("clipped at a limit since Move: ") + names(clipped);
  if (!off.empty()) marks << QStringLiteral("servo off: ") + names(off);
  if (!marks.isEmpty()) {
    p.setPen(kWarn);
    p.drawText(QPointF(area.left(), area.top() + 52), marks.join(QStringLiteral("   ")));
  }
  p.setPen(kText);
  p.drawText(QPointF(area.left(), area.bottom() - 4), readouts);
  p.setPen(kDim);
  p.setFont(noteFont);
  p.drawText(QRectF(area.left(), area.bottom() - (noteApart ? 36 : 16), area.width(), 16),
             Qt::AlignRight | Qt::AlignVCenter, kNoServoNote);
}

void RobotView::setClipped(const std::vector<int>& modules) {
  clipped_ = modules;
  update();
}

std::vector<int> RobotView::modulesOff() const {
  std::vector<int> out;
  for (int n = kFirstModule; n <= kLastModule; ++n) {
    const ChannelState& channel = controller().model().channel(n - 1);
    if (channel.hasPosition && !channel.enabled) out.push_back(n);
  }
  return out;
}

}  // namespace gp::sim
