#pragma once
// Plays a behaviour in the panel: each step's gait is opened as the Gait
// menu opens one (blended in while the robot moves), and the next follows
// once the step has run for its time while the gait moved. The status line
// names the step. It stops when the gait stops moving (Pause, Stop, Relax,
// the gait's own halt) once it had begun, or after its last step.

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include "files/behaviour_file.h"

namespace gp {

class PanelHost;

class BehaviourPlayer : public QObject {
  Q_OBJECT
 public:
  BehaviourPlayer(PanelHost& panel, QObject* parent);

  void play(const files::Behaviour& behaviour);
  void stop(const QString& why);
  bool playing() const { return playing_; }
  // The step under way, from 0.
  int step() const { return step_; }

 signals:
  void stepBegun(int step);
  void ended(const QString& why);

 private:
  void enter(int step);
  void poll();

  PanelHost& panel_;
  files::Behaviour behaviour_;
  QTimer poll_;
  QElapsedTimer clock_;
  bool playing_ = false;
  bool moved_ = false;      // the gait has moved since the behaviour began
  int step_ = 0;
  double stepRun_ = 0;      // seconds the step has run while the gait moved
  qint64 lastNs_ = 0;
};

}  // namespace gp
