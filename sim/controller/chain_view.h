#pragma once
// The joints as the controller sets them, drawn as a chain seen from above: a
// head, then modules 1 to 8, each turned at its joint by its channel's angle
// relative to the module before it. Where the body really lies is the robot
// view's to show; this one shows what was commanded.

#include <QPointF>
#include <array>

#include "sim/controller/view.h"

namespace gp::sim {

class ChainView : public View {
 public:
  ChainView(const VirtualController& controller, QWidget* parent);

 protected:
  void PaintStatic(QPainter& p, const QRectF& area) override;
  void Paint(QPainter& p, const QRectF& area) override;

 private:
  // The head's tip, then every joint and the tail's end.
  using Joints = std::array<QPointF, kChannels + 2>;

  static QRectF Room(const QRectF& area);
  Joints JointsInModuleLengths() const;
  // Levels the body's mean direction, centres it in the room and scales it
  // to fit; returns the length of one module in pixels.
  static double FitToRoom(Joints& joints, const QRectF& room);
  static void DrawSegment(QPainter& p, QPointF a, QPointF b, double body, const QColor& fill, const QColor& edge,
                          Qt::PenStyle style);
  static void DrawHead(QPainter& p, const Joints& joints, double body);
  void DrawModules(QPainter& p, const Joints& joints, double body) const;
  void DrawJoints(QPainter& p, const Joints& joints, double body) const;
};

}  // namespace gp::sim
