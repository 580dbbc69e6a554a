#include "panel/status_line.h"

#include <QFontMetrics>
#include <QPainter>
#include <QToolButton>

namespace gp {

StatusFigures::StatusFigures(QWidget* parent) : QLabel(parent) {
  setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
}

void StatusFigures::setFigures(const QString& text) {
  setText(text);
  setToolTip(text);
}

QSize StatusFigures::sizeHint() const { return QSize(40, fontMetrics().height()); }

QSize StatusFigures::minimumSizeHint() const { return sizeHint(); }

void StatusFigures::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setPen(palette().color(QPalette::WindowText));
  const QRect area = contentsRect();
  p.drawText(area, Qt::AlignLeft | Qt::AlignVCenter, fontMetrics().elidedText(text(), Qt::ElideRight, area.width()));
}

void SetUpStatusLineButton(QToolButton& button, const char* name, const char* caption, const char* tip) {
  button.setObjectName(QString::fromLatin1(name));
  button.setText(QString::fromLatin1(caption));
  button.setToolTip(QString::fromLatin1(tip));
  button.setAutoRaise(true);
  // Beside the described window: never part of its Tab order.
  button.setFocusPolicy(Qt::NoFocus);
}

}  // namespace gp
