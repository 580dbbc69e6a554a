#include "sim/controller/chain_view.h"

#include "sim/controller/head_end.h"

#include <QLineF>
#include <QPainter>
#include <QtMath>
#include <algorithm>
#include <cmath>

namespace gp::sim {

using namespace colours;

ChainView::ChainView(const VirtualController& controller, QWidget* parent) : View(controller, "ChainView", parent) {
  setMinimumHeight(150);
}

QRectF ChainView::Room(const QRectF& area) { return area.adjusted(20, 26, -20, -8); }

void ChainView::PaintStatic(QPainter& p, const QRectF& area) {
  Title(p, area, QStringLiteral("Joint angles as commanded"));
  // A faint line through the middle shows the body's axis.
  const QRectF room = Room(area);
  p.setPen(QPen(kGrid, 1, Qt::DashLine));
  p.drawLine(QPointF(room.left(), room.center().y()), QPointF(room.right(), room.center().y()));
  p.setFont(ViewFont(12));
  const QRectF legend(area.right() - 330, area.top(), 330, 16);
  p.setPen(kDim);
  p.drawText(legend, Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("filled: channel enabled    dashed: disabled"));
}

ChainView::Joints ChainView::Layout(const std::array<double, kChannels>& angles, const QSizeF& size,
                                    double* moduleLength) {
  Joints joints = JointsInModuleLengths(angles);
  const double len = FitToRoom(joints, Room(ViewArea(size)));
  if (moduleLength) *moduleLength = len;
  return joints;
}

void ChainView::Paint(QPainter& p, const QRectF&) {
  std::array<double, kChannels> angles{};
  for (int c = 0; c < kChannels; ++c) angles[static_cast<std::size_t>(c)] = model().channel(c).angle;
  double len = 0;
  const Joints joints = Layout(angles, size(), &len);
  const double body = len * 0.46;
  DrawSegment(p, joints[0], joints[1], body, QColor(0x46, 0x50, 0x5c), kDim, Qt::SolidLine);
  DrawHead(p, joints, body);
  DrawModules(p, joints, body);
  DrawJoints(p, joints, body);
  DrawHeadLabel(p, joints[1], (joints[0] + joints[1]) / 2, QLineF(joints[0], joints[1]).length() / 2);
}

ChainView::Joints ChainView::JointsInModuleLengths(const std::array<double, kChannels>& angles) {
  // Built from the head toward +x, turned to the head's side in FitToRoom.
  Joints pts;
  pts[0] = QPointF(-0.55, 0);
  pts[1] = QPointF(0, 0);  // the head's joint at the origin
  double heading = 0;
  for (int c = 0; c < kChannels; ++c) {
    heading += qDegreesToRadians(angles[static_cast<std::size_t>(c)]);
    const QPointF d(std::cos(heading), -std::sin(heading));  // positive turns to the left
    pts[static_cast<std::size_t>(c) + 2] = pts[static_cast<std::size_t>(c) + 1] + d;
  }
  return pts;
}

double ChainView::FitToRoom(Joints& pts, const QRectF& room) {
  // Keep the body's mean direction level and its centre in the middle, as
  // a camera following the robot would, the head on the views' head side.
  double sumX = 1, sumY = 0;  // from the head toward the tail, along +x
  for (std::size_t i = 2; i < pts.size(); ++i) {
    sumX += pts[i].x() - pts[i - 1].x();
    sumY += pts[i].y() - pts[i - 1].y();
  }
  double along = std::hypot(sumX, sumY) > 0.5 ? std::atan2(sumY, sumX) : 0.0;
  // Tail toward +x leaves the head on the left; a half turn puts it right.
  if (kHeadScreenSide > 0) along += qDegreesToRadians(180.0);
  QPointF centre(0, 0);
  for (const QPointF& q : pts) centre += q;
  centre /= static_cast<double>(pts.size());
  double minX = 1e9, maxX = -1e9, minY = 1e9, maxY = -1e9;
  for (QPointF& q : pts) {
    const QPointF r = q - centre;
    q = QPointF(r.x() * std::cos(-along) - r.y() * std::sin(-along), r.x() * std::sin(-along) + r.y() * std::cos(-along));
    minX = std::min(minX, q.x());
    maxX = std::max(maxX, q.x());
    minY = std::min(minY, q.y());
    maxY = std::max(maxY, q.y());
  }
  const double base = room.width() / 9.2;
  const double fit = std::min((room.width() - base * 0.6) / std::max(1e-6, 2 * std::max(-minX, maxX)),
                              (room.height() - base * 0.6) / std::max(1e-6, 2 * std::max(-minY, maxY)));
  const double len = std::min(base, fit);
  const QPointF mid = room.center();
  for (QPointF& q : pts) q = mid + q * len;
  return len;
}

void ChainView::DrawSegment(QPainter& p, QPointF a, QPointF b, double body, const QColor& fill, const QColor& edge,
                            Qt::PenStyle style) {
  const QLineF line(a, b);
  p.save();
  p.translate(a);
  p.rotate(-line.angle());
  // Filled shapes only: an edge as a fill beneath is far cheaper than a wide
  // stroked outline.
  const QRectF shape(0, -body / 2, line.length(), body);
  const double radius = body * 0.3;
  p.setPen(Qt::NoPen);
  if (style == Qt::SolidLine) {
    p.setBrush(edge);
    p.drawRoundedRect(shape.adjusted(-1, -1, 1, 1), radius + 1, radius + 1);
    p.setBrush(fill);
    p.drawRoundedRect(shape.adjusted(1, 1, -1, -1), radius - 1, radius - 1);
  } else {
    QPen pen(edge, 1, style);
    pen.setCosmetic(true);
    p.setPen(pen);
    p.setBrush(fill);
    p.drawRoundedRect(shape, radius, radius);
  }
  p.restore();
}

void ChainView::DrawHead(QPainter& p, const Joints& pts, double body) {
  // Two eyes near the tip.
  const QLineF headLine(pts[1], pts[0]);
  const QPointF tip = headLine.pointAt(0.75);
  const QPointF side = QLineF(QPointF(0, 0), QLineF::fromPolar(body * 0.22, headLine.angle() + 90).p2()).p2();
  p.setPen(Qt::NoPen);
  p.setBrush(kText);
  p.drawEllipse(tip + side, body * 0.08, body * 0.08);
  p.drawEllipse(tip - side, body * 0.08, body * 0.08);
}

void ChainView::DrawModules(QPainter& p, const Joints& pts, double body) const {
  p.setFont(ViewFont(std::max(10, static_cast<int>(body * 0.42)), true));
  for (int c = 0; c < kChannels; ++c) {
    const ChannelState& ch = model().channel(c);
    const QPointF a = pts[static_cast<std::size_t>(c) + 1];
    const QPointF b = pts[static_cast<std::size_t>(c) + 2];
    const QColor colour = ChannelColour(c);
    if (ch.enabled) DrawSegment(p, a, b, body, colour.darker(210), colour, Qt::SolidLine);
    else DrawSegment(p, a, b, body, QColor(0x2e, 0x34, 0x3b), kOff, Qt::DashLine);
    p.setPen(ch.enabled ? kText : kDim);
    const QPointF m = (a + b) / 2;
    p.drawText(QRectF(m.x() - body, m.y() - body / 2, 2 * body, body), Qt::AlignCenter, QString::number(c + 1));
  }
}

void ChainView::DrawJoints(QPainter& p, const Joints& pts, double body) const {
  // On top of the modules, each the servo of the module it turns.
  for (int c = 0; c < kChannels; ++c) {
    const ChannelState& ch = model().channel(c);
    const QPointF j = pts[static_cast<std::size_t>(c) + 1];
    const double r = body * 0.2;
    p.setPen(Qt::NoPen);
    p.setBrush(ch.enabled ? kBackground : kOff);
    p.drawEllipse(j, r + 1.5, r + 1.5);
    p.setBrush(ch.enabled ? ChannelColour(c) : kPanel);
    p.drawEllipse(j, r, r);
  }
}

}  // namespace gp::sim
