#pragma once
// Recordings of the serial line: every command as it went to the port, with
// its time, so that a run can be shown, compared and played back.
//
//   # gaitpanel 1.0.0 recording; device /dev/ttyUSB0; begun 2026-12-08T13:06:18Z
//   0	SO\r
//   1541	SC\r
//   1600	SW0 0066D\r\r
//
// A line is the milliseconds since the recording began, a tab and the
// command's exact bytes with a carriage return written \r, a line feed \n,
// a backslash \\ and any other byte outside printable ASCII \xHH. Lines
// starting with # are comments; empty lines are skipped. Qt Core only.

#include <QByteArray>
#include <QFile>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <chrono>
#include <vector>

namespace gp::files {

struct RecordedCommand {
  qint64 ms = 0;
  QByteArray bytes;
};

QByteArray EscapeCommand(const QByteArray& bytes);

// The latest time a line may have: the longest a timer waits.
constexpr qint64 kMaxRecordedMs = 2147483647;

// False with *error = "FILE: line N: column C: reason" (or "FILE: reason"
// for a file that cannot be read or is not a regular file), *commands
// untouched then. Every command must be exactly one command of the protocol,
// times may not go back nor pass kMaxRecordedMs. A header naming another
// program or a newer version is read, and said in *warnings.
bool ReadRecording(const QString& path, std::vector<RecordedCommand>* commands, QString* error,
                   QStringList* warnings = nullptr);

// Writes a recording as commands come. Lines are kept in memory and written
// at least once a second and at stop(), so recording never holds up the
// caller with a write per command.
class RecordingWriter : public QObject {
  Q_OBJECT
 public:
  static constexpr int kFlushIntervalMs = 1000;

  explicit RecordingWriter(QObject* parent = nullptr);
  ~RecordingWriter() override;

  // Creates (or replaces) the file and writes the header line naming the
  // program and its version ("gaitpanel 1.0.0"), the device and the date.
  // `began` is the reading of the caller's steady clock that counts as
  // millisecond 0.
  bool start(const QString& path, const QString& program, const QString& device, std::chrono::nanoseconds began,
             QString* error);
  // One command that went to the port at `at` (same clock as `began`).
  void add(std::chrono::nanoseconds at, const QByteArray& bytes);
  // Writes what is held and closes the file. False (and failed() emitted)
  // when that last write fails. Harmless when not recording. When some of
  // the last commands were handed to the device but not seen to leave it
  // (unconfirmed, at most all recorded), the last line says so in a comment:
  // "# not confirmed: N commands handed to the device were not seen to leave it".
  bool stop(qint64 unconfirmed = 0);

  bool isRecording() const { return file_.isOpen(); }
  QString path() const { return file_.fileName(); }
  qint64 commands() const { return commands_; }

 signals:
  // Writing failed (a full disk, a removed medium): the recording has ended,
  // keeping every line written before. The message names the file and the reason.
  void failed(const QString& message);

 private:
  bool flush();

  QFile file_;
  QTimer flushTimer_;
  QByteArray pending_;
  std::chrono::nanoseconds began_{};
  qint64 commands_ = 0;
  qint64 writtenCommands_ = 0;  // of those, the ones on disk
  qint64 writtenBytes_ = 0;
  QString lastReason_;  // why the last write failed
};

}  // namespace gp::files
