#include "sim/controller/angle_plot.h"

#include <QPainter>
#include <algorithm>
#include <cmath>

namespace gp::sim {

using namespace colours;

AnglePlot::AnglePlot(const VirtualController& controller, QWidget* parent) : View(controller, "AnglePlot", parent) {
  setMinimumHeight(150);
}

QRectF AnglePlot::PlotRect(const QRectF& area) { return area.adjusted(46, 26, -8, -18); }

double AnglePlot::Range() const {
  const std::int64_t t = now();
  double range = 90;
  for (int c = 0; c < kChannels; ++c) {
    for (const AngleSample& s : model().channel(c).history) {
      if (s.ms >= t - kSpanMs) range = std::max(range, std::abs(s.angle));
    }
  }
  return std::min(std::ceil(range / 45.0) * 45.0, 720.0);
}

QString AnglePlot::StaticKey() const {
  int enabled = 0;
  for (int c = 0; c < kChannels; ++c) enabled |= model().channel(c).enabled ? 1 << c : 0;
  return QStringLiteral("%1/%2").arg(range_).arg(enabled);
}

void AnglePlot::paintEvent(QPaintEvent* event) {
  range_ = Range();
  View::paintEvent(event);
}

void AnglePlot::PaintStatic(QPainter& p, const QRectF& area) {
  Title(p, area, QStringLiteral("Joint angles, last %1 s").arg(kPlotSeconds));
  DrawAngleGrid(p, area);
  DrawTimeGrid(p, PlotRect(area));
  DrawLegend(p, area);
}

void AnglePlot::DrawAngleGrid(QPainter& p, const QRectF& area) const {
  const QRectF plot = PlotRect(area);
  p.setFont(ViewFont(11));
  for (double a = -range_; a <= range_ + 1e-9; a += 45) {
    const double y = plot.center().y() - a / range_ * plot.height() / 2;
    p.setPen(QPen(a == 0 ? kDim : kGrid, 1, a == 0 ? Qt::SolidLine : Qt::DotLine));
    p.drawLine(QPointF(plot.left(), y), QPointF(plot.right(), y));
    p.setPen(kDim);
    p.drawText(QRectF(area.left(), y - 8, 40, 16), Qt::AlignRight | Qt::AlignVCenter,
               QStringLiteral("%1\u00b0").arg(a, 0, 'f', 0));
  }
}

void AnglePlot::DrawTimeGrid(QPainter& p, const QRectF& plot) {
  for (int s = 0; s <= kPlotSeconds; ++s) {
    const double x = plot.right() - plot.width() * s / kPlotSeconds;
    p.setPen(QPen(kGrid, 1, Qt::DotLine));
    p.drawLine(QPointF(x, plot.top()), QPointF(x, plot.bottom()));
    p.setPen(kDim);
    p.drawText(QRectF(x - 30, plot.bottom() + 2, 60, 14), Qt::AlignCenter,
               s == 0 ? QStringLiteral("now") : QStringLiteral("-%1 s").arg(s));
  }
}

void AnglePlot::DrawLegend(QPainter& p, const QRectF& area) const {
  // Which colour is which channel.
  p.setFont(ViewFont(12, true));
  double x = area.right() - kChannels * 40;
  for (int c = 0; c < kChannels; ++c) {
    p.setPen(Qt::NoPen);
    p.setBrush(ChannelColour(c));
    p.drawRoundedRect(QRectF(x, area.top() + 3, 14, 10), 2, 2);
    p.setPen(model().channel(c).enabled ? kText : kDim);
    p.drawText(QPointF(x + 18, area.top() + 13), QString::number(c));
    x += 40;
  }
}

void AnglePlot::Paint(QPainter& p, const QRectF& area) {
  const std::int64_t t = now();
  const QRectF plot = PlotRect(area);
  p.setClipRect(plot.adjusted(-2, -2, 2, 2));
  for (int c = kChannels - 1; c >= 0; --c) {
    const ChannelState& ch = model().channel(c);
    line_.clear();
    for (const AngleSample& s : ch.history) {
      if (s.ms < t - kSpanMs - 200) continue;
      line_ << QPointF(plot.right() - plot.width() * static_cast<double>(t - s.ms) / static_cast<double>(kSpanMs),
                       plot.center().y() - s.angle / range_ * plot.height() / 2);
    }
    if (line_.size() < 2) continue;
    QColor colour = ChannelColour(c);
    if (!ch.enabled) colour.setAlpha(110);
    QPen pen(colour, 1.0, ch.enabled ? Qt::SolidLine : Qt::DashLine);
    pen.setCosmetic(true);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    p.drawPolyline(line_);
    if (ch.enabled) {
      // Two hairlines a pixel apart: as bold as a wide pen at a fraction of
      // its cost.
      line_.translate(0, 1);
      p.drawPolyline(line_);
    }
  }
}

}  // namespace gp::sim
