#pragma once
// The "Gait" control in the panel's status line: opening and saving gait
// files, the presets by name, and the "Record" toggle that writes every
// command as it goes to the port. Kept out of the Tab order: Ctrl+G opens
// the menu and Ctrl+R toggles recording.

#include <QString>
#include <QWidget>
#include <optional>

#include "files/gait_file.h"
#include "files/recording.h"

class QMenu;
class QToolButton;

namespace gp {

class Form2;

class GaitControl : public QWidget {
  Q_OBJECT
 public:
  explicit GaitControl(Form2& form, QWidget* parent = nullptr);
  ~GaitControl() override;

  // Writes the gait into the amplitude, phase and initial-angle boxes and
  // TimerText as if typed, so that their own change handling stores it; the
  // check boxes are left alone and the status line names the modules the
  // gait enables. `source` names where it came from.
  void applyGait(const files::Gait& gait, const QString& source);
  // Reads the file and applies it; a file that cannot be used is shown in a
  // critical box and changes nothing.
  bool openGait(const QString& path);
  // What the panel holds now: the table's values, Timer1's interval and the
  // check boxes.
  files::Gait currentGait() const;
  bool saveGait(const QString& path);

  bool startRecording(const QString& path);
  void stopRecording();
  bool isRecording() const { return recorder_.isRecording(); }

  QToolButton* gaitButton() const { return gaitButton_; }
  QToolButton* recordButton() const { return recordButton_; }

 private:
  void fillMenu();
  void onRecordToggled(bool on);
  void setRecordChecked(bool on);
  void tell(const QString& message);
  void showPending();
  void showEvent(QShowEvent* event) override;

  Form2& form_;
  QToolButton* gaitButton_ = nullptr;
  QToolButton* recordButton_ = nullptr;
  QMenu* menu_ = nullptr;
  files::RecordingWriter recorder_;
  QString pendingMessage_;
};

}  // namespace gp
