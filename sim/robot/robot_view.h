#pragma once
// The robot on its floor, drawn from the physics: a 10 cm grid seen from
// above (joint axes vertical) or from the side, the bodies, the head's
// trail, the view following the robot with its head, at rest, on the side
// the chain view draws it; readouts of speed, distance and heading; "Reset"
// and the choice of robot.

#include <QPointF>
#include <QString>
#include <functional>
#include <optional>
#include <vector>

#include "sim/controller/view.h"
#include "sim/robot/floor_camera.h"

class QComboBox;
class QPushButton;

namespace gp::sim {

class LiveRobot;

class RobotView : public View {
  Q_OBJECT
 public:
  static constexpr double kGridMetres = 0.1;

  RobotView(const VirtualController& controller, LiveRobot& robot, QWidget* parent);

  QComboBox* robotChoice() const { return choice_; }
  QPushButton* resetButton() const { return reset_; }

  // Asks for the model file that "Model file..." loads; a file dialog
  // unless told otherwise (tests). An empty answer chooses nothing.
  void setModelFileAsker(std::function<QString(QWidget*)> ask) { askModelFile_ = std::move(ask); }

  // Switches to "snake", "caterpillar", "pitch-yaw" or a model file; a model that cannot
  // be used is reported in a message box and the robot in use stays.
  bool chooseRobot(const QString& robot);

  // The line over the robot: its speed, or, once the physics has failed, the
  // reason, until "Reset" or another robot starts it afresh.
  QString headline() const;

  // The modules the panel's robot profile clipped at a limit since the gait
  // last started, as the panel found them from the pulses it sent; marked
  // on the bodies and named over the robot.
  void setClipped(const std::vector<int>& modules);
  const std::vector<int>& clippedModules() const { return clipped_; }
  // Modules 1 to 8 whose servo the controller holds disabled now, though
  // they have had a position: drawn grey and named.
  std::vector<int> modulesOff() const;

 protected:
  void PaintStatic(QPainter& p, const QRectF& area) override;
  void Paint(QPainter& p, const QRectF& area) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void onChoice(int index);
  // Shows `robot` as the choice, adding a model file to the list.
  void showChoice(const QString& robot);
  QPointF toScreen(double u, double v) const;

  LiveRobot& robot_;
  std::function<QString(QWidget*)> askModelFile_;
  std::vector<int> clipped_;
  QComboBox* choice_ = nullptr;
  QPushButton* reset_ = nullptr;
  int lastChoice_ = 0;
  // Which way the head lay from the centre of mass at the last reset: the
  // camera keeps that end on the views' head side.
  void takeRestPose();

  // The camera of the frame being drawn.
  FloorCamera camera_;
  double restHeadSign_ = 1;
};

}  // namespace gp::sim
