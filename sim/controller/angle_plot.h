#pragma once
// Every channel's angle over the last seconds: the wave and the phase between
// modules.

#include <QPolygonF>
#include <cstdint>

#include "sim/controller/view.h"

namespace gp::sim {

class AnglePlot : public View {
 public:
  static constexpr int kPlotSeconds = 5;

  AnglePlot(const VirtualController& controller, QWidget* parent);

 protected:
  void paintEvent(QPaintEvent* event) override;
  QString StaticKey() const override;
  void PaintStatic(QPainter& p, const QRectF& area) override;
  void Paint(QPainter& p, const QRectF& area) override;

 private:
  static constexpr std::int64_t kSpanMs = kPlotSeconds * 1000;

  static QRectF PlotRect(const QRectF& area);
  // The scale grows past +-90 degrees only when an angle needs it.
  double Range() const;
  void DrawAngleGrid(QPainter& p, const QRectF& area) const;
  static void DrawTimeGrid(QPainter& p, const QRectF& plot);
  void DrawLegend(QPainter& p, const QRectF& area) const;

  double range_ = 90;
  QPolygonF line_;  // kept, so that each frame reuses its memory
};

}  // namespace gp::sim
