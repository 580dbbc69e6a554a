#include "sim/controller/view.h"

#include <QPainter>
#include <array>

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

View::View(const VirtualController& controller, const char* name, QWidget* parent)
    : QWidget(parent), controller_(controller) {
  setObjectName(QString::fromLatin1(name));
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void View::paintEvent(QPaintEvent*) {
  const QRectF area = QRectF(rect()).adjusted(16, 14, -16, -14);
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
