#pragma once
// The controller-wide command, the line's load and what could not be read.

#include "sim/controller/view.h"

namespace gp::sim {

class LineView : public View {
 public:
  LineView(const VirtualController& controller, QWidget* parent);

 protected:
  void PaintStatic(QPainter& p, const QRectF& area) override;
  void Paint(QPainter& p, const QRectF& area) override;

 private:
  // Each draws its rows from y down and returns the top of what follows.
  double DrawControllerCommand(QPainter& p, const QRectF& area, double y) const;
  double DrawLoad(QPainter& p, const QRectF& area, double y) const;
  double DrawCommandRate(QPainter& p, const QRectF& area, double y) const;
  void DrawMalformed(QPainter& p, const QRectF& area, double y) const;
  void DrawDevice(QPainter& p, const QRectF& area) const;

  // A row's caption in the left column, and its value beside it.
  static void Label(QPainter& p, const QRectF& area, double y, const QString& text);
  static void Value(QPainter& p, const QRectF& area, double y, const QString& text, const QColor& colour,
                    int size = 14, bool bold = true);
};

}  // namespace gp::sim
