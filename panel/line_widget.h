#pragma once
// A straight horizontal line as the panel draws its separators and its
// module sketch: one pixel of the window-text colour, nothing else. It takes
// no focus and no input.

#include <QWidget>

namespace gp {

class LineWidget : public QWidget {
  Q_OBJECT
 public:
  // A line from x1 to x2 (inclusive) at height y, in the parent's pixels.
  LineWidget(int x1, int x2, int y, QWidget* parent);

 protected:
  void paintEvent(QPaintEvent* event) override;
};

}  // namespace gp
