#pragma once
// The joints as the controller sets them, drawn as a chain seen from above: a
// head, then modules 1 to 8, each turned at its joint by its channel's angle
// relative to the module before it, the head on the views' head side. Where
// the body really lies is the robot view's to show; this one shows what was
// commanded.

#include <QPointF>
#include <array>

#include "sim/controller/view.h"

namespace gp::sim {

class ChainView : public View {
 public:
  // The head's tip, then every joint and the tail's end.
  using Joints = std::array<QPointF, kChannels + 2>;

  ChainView(const VirtualController& controller, QWidget* parent);

  // Where the chain bent by `angles` (degrees, channels 0 to 7) lies in a
  // view of `size`, and the length of one module in pixels.
  static Joints Layout(const std::array<double, kChannels>& angles, const QSizeF& size, double* moduleLength);

 protected:
  void PaintStatic(QPainter& p, const QRectF& area) override;
  void Paint(QPainter& p, const QRectF& area) override;

 private:
  static QRectF Room(const QRectF& area);
  static Joints JointsInModuleLengths(const std::array<double, kChannels>& angles);
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
