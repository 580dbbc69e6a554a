#include "sim/controller/channel_table.h"

#include <QPainter>
#include <algorithm>

namespace gp::sim {

using namespace colours;

namespace {

QString Degrees(double angle) {
  return QStringLiteral("%1%2\u00b0").arg(angle >= 0 ? QStringLiteral("+") : QString()).arg(angle, 0, 'f', 1);
}

}  // namespace

ChannelTable::ChannelTable(const VirtualController& controller, QWidget* parent)
    : View(controller, "ChannelTable", parent) {
  setMinimumSize(470, 290);
}

void ChannelTable::setClipped(const std::vector<int>& modules) {
  clipped_ = modules;
  update();
}

bool ChannelTable::marksClipped(int channel) const {
  return std::find(clipped_.begin(), clipped_.end(), channel + 1) != clipped_.end();
}

void ChannelTable::PaintStatic(QPainter& p, const QRectF& area) { Title(p, area, QStringLiteral("Channels")); }

void ChannelTable::Paint(QPainter& p, const QRectF& area) {
  double y = DrawHeader(p, area, area.top() + 26);
  for (int c = 0; c < kChannels; ++c) y = DrawChannelRow(p, area, y, c);
  p.setPen(QPen(kGrid, 1));
  p.drawLine(QPointF(area.left(), y + 1), QPointF(area.left() + kColumns[5], y + 1));
  DrawNinthRow(p, area, y + 4);
  if (!clipped_.empty()) {
    p.setFont(ViewFont(12));
    p.setPen(kWarn);
    p.drawText(QRectF(area.left(), y + 4 + kRowHeight, kColumns[5], kRowHeight), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("orange: clipped at a robot-profile limit since Move"));
  }
}

double ChannelTable::DrawHeader(QPainter& p, const QRectF& area, double y) const {
  p.setFont(ViewFont(12, true));
  p.setPen(kDim);
  const std::array<QString, 5> heads = {QStringLiteral("Channel"), QStringLiteral("State"), QStringLiteral("Width"),
                                        QStringLiteral("Angle"), QStringLiteral("Positions/s")};
  for (std::size_t i = 0; i < heads.size(); ++i) {
    const Qt::Alignment align = i >= 2 ? Qt::AlignRight | Qt::AlignVCenter : Qt::AlignLeft | Qt::AlignVCenter;
    p.drawText(QRectF(area.left() + kColumns[i], y, kColumns[i + 1] - kColumns[i] - 12, kRowHeight), align,
               heads[i]);
  }
  y += kRowHeight;
  p.setPen(QPen(kGrid, 1));
  p.drawLine(QPointF(area.left(), y), QPointF(area.left() + kColumns[5], y));
  return y + 3;
}

double ChannelTable::DrawChannelRow(QPainter& p, const QRectF& area, double y, int c) const {
  const ChannelState& ch = model().channel(c);
  p.setPen(Qt::NoPen);
  p.setBrush(ChannelColour(c));
  p.drawRoundedRect(QRectF(area.left(), y + 6, 10, kRowHeight - 12), 2, 2);
  p.setFont(ViewFont(13, true));
  Cell(p, area, y, 0, QStringLiteral("   %1  (M%2)").arg(c).arg(c + 1), kText, false);
  StateCell(p, area, y, ch.enabled);
  p.setFont(ViewFont(13, false, true));
  const QColor value = ch.enabled ? kText : kDim;
  if (ch.hasPosition) {
    const QColor position = marksClipped(c) ? kWarn : value;
    Cell(p, area, y, 2, QStringLiteral("%1 \u00b5s").arg(ch.pulseWidth), position);
    Cell(p, area, y, 3, Degrees(ch.angle), position);
  } else {
    Cell(p, area, y, 2, QStringLiteral("\u2014"), kDim);
    Cell(p, area, y, 3, QStringLiteral("\u2014"), kDim);
  }
  Cell(p, area, y, 4, QString::number(ch.rate.PerSecond(now()), 'f', 0), value);
  return y + kRowHeight;
}

void ChannelTable::DrawNinthRow(QPainter& p, const QRectF& area, double y) const {
  p.setFont(ViewFont(13, true));
  Cell(p, area, y, 0, QStringLiteral("   13  (ninth)"), kText, false);
  StateCell(p, area, y, model().ninthEnabled());
  p.setFont(ViewFont(12));
  p.setPen(kDim);
  p.drawText(QRectF(area.left() + kColumns[2] + 10, y, kColumns[5] - kColumns[2] - 10, kRowHeight),
             Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("enabled and disabled only, no positions"));
}

void ChannelTable::Cell(QPainter& p, const QRectF& area, double y, int column, const QString& text,
                        const QColor& colour, bool right) {
  const auto col = static_cast<std::size_t>(column);
  p.setPen(colour);
  p.drawText(QRectF(area.left() + kColumns[col], y, kColumns[col + 1] - kColumns[col] - 12, kRowHeight),
             (right ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter, text);
}

void ChannelTable::StateCell(QPainter& p, const QRectF& area, double y, bool on) {
  const QRectF pill(area.left() + kColumns[1], y + 4, 48, kRowHeight - 8);
  p.setPen(Qt::NoPen);
  p.setBrush(on ? kGood.darker(260) : QColor(0x33, 0x39, 0x41));
  p.drawRoundedRect(pill, 7, 7);
  p.setFont(ViewFont(11, true));
  p.setPen(on ? kGood : kDim);
  p.drawText(pill, Qt::AlignCenter, on ? QStringLiteral("ON") : QStringLiteral("off"));
}

}  // namespace gp::sim
