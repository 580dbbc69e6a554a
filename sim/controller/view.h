#pragma once
// What the virtual controller's views share: the palette, one colour per
// channel, and a base class that keeps the unchanging part of a view in a
// pixmap and draws only the live part on every frame.

#include <QColor>
#include <QFont>
#include <QPixmap>
#include <QPointF>
#include <QRectF>
#include <QString>
#include <QWidget>
#include <cstdint>

#include "sim/controller/controller_model.h"

class QPainter;

namespace gp::sim {

class VirtualController;

namespace colours {
inline const QColor kBackground(0x1b, 0x20, 0x26);
inline const QColor kPanel(0x24, 0x2a, 0x32);
inline const QColor kGrid(0x3a, 0x42, 0x4c);
inline const QColor kText(0xe8, 0xea, 0xed);
inline const QColor kDim(0x8d, 0x96, 0xa0);
inline const QColor kGood(0x7c, 0xd9, 0x92);
inline const QColor kWarn(0xff, 0x8a, 0x65);
inline const QColor kOff(0x55, 0x5d, 0x67);
}  // namespace colours

// One colour per channel, the same in the chain, the table and the plot.
QColor ChannelColour(int channel);

QFont ViewFont(int pixels, bool bold = false, bool mono = false);

// The part of a view of `size` its content is drawn in, inside the margins.
QRectF ViewArea(const QSizeF& size);

// Names the head just beyond its tip: on the line from the module behind it
// (`neck`) through the head's centre, `reach` pixels from that centre.
void DrawHeadLabel(QPainter& p, QPointF neck, QPointF head, double reach);

// What changes only with the size (and with StaticKey) is drawn once into a
// pixmap; each frame puts that down and draws the live part over it.
class View : public QWidget {
 public:
  View(const VirtualController& controller, const char* name, QWidget* parent);

 protected:
  void paintEvent(QPaintEvent* event) override;
  virtual void PaintStatic(QPainter& p, const QRectF& area) = 0;
  virtual void Paint(QPainter& p, const QRectF& area) = 0;
  virtual QString StaticKey() const { return QString(); }

  void Title(QPainter& p, const QRectF& area, const QString& text) const;

  const VirtualController& controller() const { return controller_; }
  const ControllerModel& model() const;
  std::int64_t now() const;

 private:
  const VirtualController& controller_;
  QPixmap layer_;
  QString layerKey_;
};

}  // namespace gp::sim
