#pragma once
// The "Record" toggle in the panel's status line: writes every command as it
// goes to the port, after the transmit queue, to a file. Kept out of the Tab
// order: Ctrl+R toggles it.

#include <QString>
#include <QToolButton>

#include "files/recording.h"

namespace gp {

class PanelHost;
class SerialLink;

class RecordControl : public QToolButton {
  Q_OBJECT
 public:
  RecordControl(SerialLink& link, PanelHost& panel, QWidget* parent);
  ~RecordControl() override;

  bool startRecording(const QString& path);
  void stopRecording();
  bool isRecording() const { return recorder_.isRecording(); }

 private:
  void onToggled(bool on);
  void setCheckedQuietly(bool on);

  // Commands handed over that the device was not seen to take, counted as
  // each opening of the link ends (the link may be gone by the time the
  // recording is).
  qint64 unconfirmed() const;

  SerialLink& link_;
  PanelHost& panel_;
  files::RecordingWriter recorder_;
  qint64 unconfirmedBefore_ = 0;
};

}  // namespace gp
