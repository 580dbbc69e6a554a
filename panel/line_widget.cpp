#include "panel/line_widget.h"

#include <QPainter>

namespace gp {

LineWidget::LineWidget(int x1, int x2, int y, QWidget* parent) : QWidget(parent) {
  setGeometry(x1, y, x2 - x1 + 1, 1);
  setAttribute(Qt::WA_TransparentForMouseEvents);
  setFocusPolicy(Qt::NoFocus);
}

void LineWidget::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), palette().color(QPalette::WindowText));
}

}  // namespace gp
