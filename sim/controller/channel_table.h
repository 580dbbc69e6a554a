#pragma once
// One row a channel: enabled, last width and angle, positions per second;
// then the ninth channel, which is only ever enabled or disabled.

#include <array>
#include <vector>

#include "sim/controller/view.h"

namespace gp::sim {

class ChannelTable : public View {
 public:
  ChannelTable(const VirtualController& controller, QWidget* parent);

  // The modules (1 to 8) the panel's robot profile clipped at a limit since
  // the gait last started: their width and angle are drawn in the warning
  // colour, as the robot view marks them.
  void setClipped(const std::vector<int>& modules);
  bool marksClipped(int channel) const;

 protected:
  void PaintStatic(QPainter& p, const QRectF& area) override;
  void Paint(QPainter& p, const QRectF& area) override;

 private:
  static constexpr double kRowHeight = 23;
  std::vector<int> clipped_;
  // Left edges of the columns, and the table's right edge.
  static constexpr std::array<double, 6> kColumns = {0, 112, 178, 262, 346, 440};

  // Each returns the top of what follows it.
  double DrawHeader(QPainter& p, const QRectF& area, double y) const;
  double DrawChannelRow(QPainter& p, const QRectF& area, double y, int channel) const;
  void DrawNinthRow(QPainter& p, const QRectF& area, double y) const;

  static void Cell(QPainter& p, const QRectF& area, double y, int column, const QString& text, const QColor& colour,
                   bool right = true);
  static void StateCell(QPainter& p, const QRectF& area, double y, bool on);
};

}  // namespace gp::sim
