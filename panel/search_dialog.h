#pragma once
// "Search for a better gait...": the gait search started from the panel. The
// dialog asks for the goal and the number of evaluations and runs the search
// on a thread of its own, with a progress bar and "Cancel", so that the panel
// and the gait on the line carry on meanwhile; at the end it offers the gait
// found. The search itself lives above the panel: the program hands it in
// as a GaitSearch.

#include <QDialog>
#include <QString>
#include <atomic>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "files/gait_file.h"
#include "gait/robot_profile.h"

class QComboBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QSpinBox;

namespace gp {

struct GaitSearchRequest {
  files::Gait start;  // the ticked modules enabled
  QString goal;       // one of GaitSearch::goals' names
  int evaluations = 200;
  // The robot every run is on ("snake", "caterpillar", "pitch-yaw" or a
  // model file; empty: the search's own), and the robot profile the panel
  // sends through, or none. With a profile the runs go through it and every
  // swing the search tries keeps within its limits.
  std::string robot;
  std::optional<RobotProfile> profile;
  // Only gaits in which every servo that swings gets at least this many
  // positions a gait period on the line; 0: no such rule.
  double minPositions = 8;
};

struct GaitSearchProgress {
  int done = 0;
  int total = 0;
  bool haveBest = false;
  double bestScore = 0;
  double secondsLeft = 0;
};

struct GaitSearchOutcome {
  QString error;  // not empty: the search could not be run
  int evaluations = 0;
  int requested = 0;
  bool haveStart = false;
  double startScore = 0;
  bool haveBest = false;
  double bestScore = 0;
  files::Gait best;   // named, with notes saying how it was found
};

// A goal the person may choose: its name for the search and its title.
struct GaitSearchGoal {
  QString name;   // "forward"
  QString title;  // "Forward (m/s)"
};

// What the program hands the panel: where a search runs (for the dialog to
// say), the goals and how their scores are written (so that the panel shows
// the figures the command line prints), and the search, which runs to the
// end on the thread that calls it, calls `progress` from any thread and ends
// early once `cancel` is set.
struct GaitSearch {
  QString setting;  // e.g. "the snake, 9600 line, 10 s a run"; where `describe` is not given
  // The robot to search on now, asked when the dialog opens (the one the
  // robot view shows), and how the setting on a robot reads.
  std::function<std::string()> robot;
  std::function<QString(const std::string& robot)> describe;
  std::vector<GaitSearchGoal> goals;
  std::function<QString(const QString& goal, double score)> scoreText;  // "0.2913 m/s"
  std::function<GaitSearchOutcome(const GaitSearchRequest& request,
                                  const std::function<void(const GaitSearchProgress&)>& progress,
                                  const std::atomic<bool>& cancel)>
      run;
};

class SearchDialog : public QDialog {
  Q_OBJECT
 public:
  // Searches from `start`, the gait the panel holds when the dialog opens,
  // on the search's robot now and through `profile` (or none).
  SearchDialog(GaitSearch search, files::Gait start, QWidget* parent, const RobotProfile* profile = nullptr);

  // The first line: from what, on which robot, through which profile.
  QString about() const;
  // A search still running is cancelled and waited for.
  ~SearchDialog() override;

  bool searching() const { return worker_.joinable() && !finished_; }

 signals:
  // The person chose to open the gait found.
  void openGait(const files::Gait& gait);

 protected:
  void reject() override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void begin();
  void showProgress(const GaitSearchProgress& progress);
  void finish(const GaitSearchOutcome& outcome);
  void saveResult();
  QString score(double value) const;

  GaitSearch search_;
  files::Gait start_;
  std::string robot_;
  std::optional<RobotProfile> profile_;
  QLabel* about_ = nullptr;
  QComboBox* goal_ = nullptr;
  QSpinBox* evaluations_ = nullptr;
  QSpinBox* minPositions_ = nullptr;
  QProgressBar* bar_ = nullptr;
  QLabel* status_ = nullptr;
  QPushButton* searchButton_ = nullptr;
  QPushButton* openButton_ = nullptr;
  QPushButton* saveButton_ = nullptr;
  QPushButton* cancelButton_ = nullptr;

  std::atomic<bool> cancel_{false};
  std::thread worker_;
  bool finished_ = false;
  bool closeWhenDone_ = false;
  QString goalName_;
  GaitSearchOutcome outcome_;
};

}  // namespace gp
