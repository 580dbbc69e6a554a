#include "sim/controller/line_view.h"

#include <QPainter>
#include <algorithm>

#include "protocol/line.h"
#include "sim/controller/virtual_controller.h"

namespace gp::sim {

using namespace colours;

namespace {

constexpr double kLineBytesPerSecond = line::kBytesPerSecond;
constexpr double kValueLeft = 130;

QString ControllerCommandName(CommandKind kind) {
  switch (kind) {
    case CommandKind::AllOn: return QStringLiteral("SO");
    case CommandKind::AllConfirm: return QStringLiteral("SC");
    case CommandKind::AllOff: return QStringLiteral("SF");
    default: return QString();
  }
}

}  // namespace

LineView::LineView(const VirtualController& controller, QWidget* parent) : View(controller, "LineView", parent) {
  setMinimumSize(430, 290);
}

void LineView::PaintStatic(QPainter& p, const QRectF& area) { Title(p, area, QStringLiteral("Controller and line")); }

void LineView::Paint(QPainter& p, const QRectF& area) {
  double y = DrawControllerCommand(p, area, area.top() + 30);
  y = DrawLoad(p, area, y);
  y = DrawCommandRate(p, area, y);
  DrawMalformed(p, area, y);
  DrawDevice(p, area);
}

void LineView::Label(QPainter& p, const QRectF& area, double y, const QString& text) {
  p.setFont(ViewFont(12));
  p.setPen(kDim);
  p.drawText(QRectF(area.left(), y, kValueLeft, 22), Qt::AlignLeft | Qt::AlignVCenter, text);
}

void LineView::Value(QPainter& p, const QRectF& area, double y, const QString& text, const QColor& colour, int size,
                     bool bold) {
  p.setFont(ViewFont(size, bold));
  p.setPen(colour);
  p.drawText(QRectF(area.left() + kValueLeft, y, area.width() - kValueLeft, 22), Qt::AlignLeft | Qt::AlignVCenter,
             text);
}

double LineView::DrawControllerCommand(QPainter& p, const QRectF& area, double y) const {
  const ControllerModel& m = model();
  Label(p, area, y, QStringLiteral("Controller-wide"));
  if (const auto last = m.lastControllerCommand()) {
    const QString when = controller().wallTime(m.lastControllerMs()).toString(QStringLiteral("HH:mm:ss.zzz"));
    // The age only while it is short: it stops being redrawn once all is still.
    const double ago = static_cast<double>(now() - m.lastControllerMs()) / 1000.0;
    Value(p, area, y,
          ago < 10 ? QStringLiteral("%1   at %2  (%3 s ago)").arg(ControllerCommandName(*last), when).arg(ago, 0, 'f', 1)
                   : QStringLiteral("%1   at %2").arg(ControllerCommandName(*last), when),
          kText);
  } else {
    Value(p, area, y, QStringLiteral("none yet"), kDim, 13, false);
  }
  y += 22;
  Label(p, area, y, QString());
  Value(p, area, y,
        QStringLiteral("SO %1   SC %2   SF %3")
            .arg(m.count(CommandKind::AllOn))
            .arg(m.count(CommandKind::AllConfirm))
            .arg(m.count(CommandKind::AllOff)),
        kDim, 12, false);
  return y + 30;
}

double LineView::DrawLoad(QPainter& p, const QRectF& area, double y) const {
  const double bps = model().bytesPerSecond(now());
  Label(p, area, y, QStringLiteral("Line"));
  Value(p, area, y, QStringLiteral("%1 of %2 bytes/s").arg(bps, 0, 'f', 0).arg(kLineBytesPerSecond, 0, 'f', 0), kText);
  y += 24;
  // A bar of the share of the line in use; over the line's rate it warns.
  const QRectF bar(area.left() + kValueLeft, y, std::max(60.0, area.width() - 140), 9);
  const double share = std::clamp(bps / kLineBytesPerSecond, 0.0, 1.0);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0x33, 0x39, 0x41));
  p.drawRoundedRect(bar, 4, 4);
  p.setBrush(bps > kLineBytesPerSecond * 1.02 ? kWarn : kGood);
  p.drawRoundedRect(QRectF(bar.left(), bar.top(), bar.width() * share, bar.height()), 4, 4);
  return y + 16;
}

double LineView::DrawCommandRate(QPainter& p, const QRectF& area, double y) const {
  const ControllerModel& m = model();
  Label(p, area, y, QStringLiteral("Commands"));
  Value(p, area, y, QStringLiteral("%1 /s").arg(m.commandsPerSecond(now()), 0, 'f', 0), kText);
  p.setFont(ViewFont(12));
  p.setPen(kDim);
  p.drawText(QRectF(area.left() + 230, y, area.width() - 230, 22), Qt::AlignLeft | Qt::AlignVCenter,
             QStringLiteral("%1 in all, %2 bytes").arg(m.commands()).arg(m.bytes()));
  return y + 24;
}

void LineView::DrawMalformed(QPainter& p, const QRectF& area, double y) const {
  const ControllerModel& m = model();
  const double w = area.width();
  Label(p, area, y, QStringLiteral("Malformed"));
  Value(p, area, y, QString::number(m.malformed()), m.malformed() ? kWarn : kText);
  y += 24;
  p.setFont(ViewFont(11, false, true));
  const auto& recent = m.recentMalformed();
  if (recent.empty()) {
    p.setPen(kDim);
    p.drawText(QRectF(area.left() + kValueLeft, y, w - kValueLeft, 18), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("none"));
  }
  // Newest first, as many as fit above the device's line.
  for (auto it = recent.rbegin(); it != recent.rend() && y < area.bottom() - 30; ++it) {
    p.setPen(kWarn);
    p.drawText(QRectF(area.left(), y, w, 16), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("%1  %2").arg(controller().wallTime(it->ms).toString(QStringLiteral("HH:mm:ss")),
                                            QString::fromLatin1(FaultText(it->command.fault))));
    y += 15;
    p.setPen(kText);
    p.drawText(QRectF(area.left() + 14, y, w - 14, 16), Qt::AlignLeft | Qt::AlignVCenter,
               p.fontMetrics().elidedText(QString::fromStdString(HexBytes(it->command)), Qt::ElideRight,
                                          static_cast<int>(w - 14)));
    y += 18;
  }
}

void LineView::DrawDevice(QPainter& p, const QRectF& area) const {
  p.setFont(ViewFont(11));
  p.setPen(kDim);
  p.drawText(QRectF(area.left(), area.bottom() - 16, area.width(), 16), Qt::AlignLeft | Qt::AlignVCenter,
             QStringLiteral("Device %1   %2 baud, 8 data bits, no parity, 1 stop bit")
                 .arg(controller().devicePath())
                 .arg(line::kBaudRate));
}

}  // namespace gp::sim
