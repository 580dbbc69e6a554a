#include "sim/controller/view.h"

#include <QPainter>
#include <array>
#include <cmath>

#include "sim/controller/head_end.h"

#include "sim/controller/virtual_controller.h"

namespace gp::sim {

using namespace colours;

QColor ChannelColour(int channel) {
  static const std::array<QColor, kChannels> kColours = {
      QColor(0x4f, 0xc3, 0xf7), QColor(0x81, 0xc7, 0x84), QColor(0xff, 0xd5, 0x4f),
      QColor(0xff, 0x8a, 0x65), QColor(0xba, 0x68, 0xc8), QColor(0xf0, 0x62, 0x92),
      QColor(0x4d, 0xb6, 0xac), QColor(0xdc, 0xe7, 0x75)};
  return kColours[static_cast<std::size_t>(channel)];
}

QFont ViewFont(int pixels, bool bold, bool mono) {
  QFont f;
  if (mono) {
    f.setFamily(QStringLiteral("DejaVu Sans Mono"));
    f.setStyleHint(QFont::Monospace);
  }
  f.setPixelSize(pixels);
  f.setBold(bold);
  return f;
}

QRectF ViewArea(const QSizeF& size) { return QRectF(QPointF(0, 0), size).adjusted(16, 14, -16, -14); }

void DrawHeadLabel(QPainter& p, QPointF neck, QPointF head, double reach) {
  const QFont font = ViewFont(12, true);
  const QString text = QString::fromLatin1(kHeadLabel);
  const QSizeF box(QFontMetricsF(font).horizontalAdvance(text) + 4, 16);
  QPointF along = head - neck;
  const double length = std::hypot(along.x(), along.y());
  along = length > 1e-6 ? along / length : QPointF(kHeadScreenSide, 0);
  // Far enough out that the label's box, whichever way the head points,
  // clears the head.
  const double out = reach + 4 + std::abs(along.x()) * box.width() / 2 + std::abs(along.y()) * box.height() / 2;
  const QPointF at = head + along * out;
  p.setFont(font);
  p.setPen(colours::kText);
  p.drawText(QRectF(at - QPointF(box.width() / 2, box.height() / 2), box), Qt::AlignCenter, text);
}

View::View(const VirtualController& controller, const char* name, QWidget* parent)
    : QWidget(parent), controller_(controller) {
  setObjectName(QString::fromLatin1(name));
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void View::paintEvent(QPaintEvent*) {
  const QRectF area = ViewArea(size());
  const qreal ratio = devicePixelRatioF();
  const QString key = StaticKey();
  if (layer_.size() != size() * ratio || key != layerKey_) {
    layer_ = QPixmap(size() * ratio);
    layer_.setDevicePixelRatio(ratio);
    layer_.fill(kBackground);
    QPainter lp(&layer_);
    lp.setRenderHint(QPainter::Antialiasing);
    lp.setPen(Qt::NoPen);
    lp.setBrush(kPanel);
    lp.drawRoundedRect(QRectF(rect()).adjusted(4, 4, -4, -4), 8, 8);
    PaintStatic(lp, area);
    layerKey_ = key;
  }
  QPainter p(this);
  p.drawPixmap(0, 0, layer_);
  p.setRenderHint(QPainter::Antialiasing);
  Paint(p, area);
}

void View::Title(QPainter& p, const QRectF& area, const QString& text) const {
  p.setFont(ViewFont(13, true));
  p.setPen(kDim);
  p.drawText(area.topLeft() + QPointF(0, 13), text);
}

const ControllerModel& View::model() const { return controller_.model(); }

std::int64_t View::now() const { return controller_.nowMs(); }

}  // namespace gp::sim
