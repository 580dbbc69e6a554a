#include "files/recording.h"

#include <QDateTime>
#include <QDir>
#include <QVersionNumber>
#include <cerrno>
#include <string_view>

#include "core/app_info.h"
#include "files/file_access.h"
#include "protocol/protocol.h"

namespace gp::files {
namespace {

// Past this much held text it is written at once, whatever the timer says.
constexpr qsizetype kMaxPendingBytes = 64 * 1024;

// No line of a recording comes near this: the time, a tab and the longest
// command with every byte written \xHH.
constexpr qint64 kMaxLineBytes = 256;

// What a header line says of the program that wrote the recording: nothing
// when it is this program at this version or an older one.
QString HeaderWarning(const QByteArray& line) {
  // "# gaitpanel 1.0.0 recording; device ...; begun ..."
  const QList<QByteArray> words = line.mid(1).simplified().split(' ');
  if (words.size() < 3 || words[2] != "recording;") return {};
  const QString program = QString::fromUtf8(words[0]);
  const QString version = QString::fromUtf8(words[1]);
  if (program != QLatin1String(kAppName))
    return QStringLiteral("it was written by %1, not by %2: its lines may not mean what they say here")
        .arg(program, QLatin1String(kAppName));
  const QVersionNumber theirs = QVersionNumber::fromString(version);
  const QVersionNumber ours = QVersionNumber::fromString(QLatin1String(kAppVersion));
  if (theirs.isNull() || QVersionNumber::compare(theirs, ours) > 0)
    return QStringLiteral("it was written by %1 %2, newer than this %3: its format may hold what this version "
                          "does not know")
        .arg(program, version, QLatin1String(kAppVersion));
  return {};
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The bytes of one escaped command, with the column each came from (1 for
// the text's first character), or the reason it cannot be read.
bool Unescape(const QByteArray& text, qsizetype firstColumn, QByteArray* out, std::vector<qsizetype>* columns,
              QString* why) {
  out->clear();
  columns->clear();
  for (qsizetype i = 0; i < text.size(); ++i) {
    const char c = text[i];
    columns->push_back(firstColumn + i);
    if (c != '\\') {
      out->append(c);
      continue;
    }
    const char next = i + 1 < text.size() ? text[i + 1] : '\0';
    if (next == 'r') {
      out->append('\r');
    } else if (next == 'n') {
      out->append('\n');
    } else if (next == '\\') {
      out->append('\\');
    } else if (next == 'x' && i + 3 < text.size() && HexDigit(text[i + 2]) >= 0 && HexDigit(text[i + 3]) >= 0) {
      out->append(static_cast<char>(HexDigit(text[i + 2]) * 16 + HexDigit(text[i + 3])));
      i += 2;
    } else {
      *why = QStringLiteral("column %1: \"\\%2\" is not one of \\r, \\n, \\\\ or \\xHH")
                 .arg(firstColumn + i)
                 .arg(next == '\0' ? QString() : QString(QLatin1Char(next)));
      return false;
    }
    ++i;
  }
  return true;
}

// One line of a recording: its time and bytes, or the reason it is malformed.
bool ParseLine(const QByteArray& line, qint64 previousMs, RecordedCommand* out, QString* why) {
  qsizetype digits = 0;
  while (digits < line.size() && line[digits] >= '0' && line[digits] <= '9') ++digits;
  if (digits == 0) {
    *why = QStringLiteral("column 1: does not start with the time in milliseconds");
    return false;
  }
  bool ok = false;
  const qint64 ms = line.left(digits).toLongLong(&ok);
  if (!ok || ms > kMaxRecordedMs) {
    *why = QStringLiteral("column 1: the time %1 ms is beyond %2 ms (24 days), the longest a replay can wait")
               .arg(QString::fromLatin1(line.left(digits)))
               .arg(kMaxRecordedMs);
    return false;
  }
  if (digits == line.size() || line[digits] != '\t') {
    *why = QStringLiteral("column %1: the time is not followed by a tab and the command").arg(digits + 1);
    return false;
  }
  if (ms < previousMs) {
    *why = QStringLiteral("column 1: the time %1 ms is earlier than the line before (%2 ms)").arg(ms).arg(previousMs);
    return false;
  }
  const QByteArray text = line.mid(digits + 1);
  if (text.isEmpty()) {
    *why = QStringLiteral("column %1: has a time but no command").arg(digits + 2);
    return false;
  }
  std::vector<qsizetype> columns;
  if (!Unescape(text, digits + 2, &out->bytes, &columns, why)) return false;
  // Only whole commands of the protocol: a cut line, a glued one or a stray
  // byte would reach the controller as something no panel ever sent.
  if (const auto fault = CheckCommandBytes(std::string_view(out->bytes.constData(), static_cast<std::size_t>(out->bytes.size())))) {
    const qsizetype column = fault->at < columns.size() ? columns[fault->at] : digits + 2 + text.size();
    *why = QStringLiteral("column %1: %2").arg(column).arg(QString::fromStdString(fault->reason));
    return false;
  }
  out->ms = ms;
  return true;
}

}  // namespace

QByteArray EscapeCommand(const QByteArray& bytes) {
  QByteArray out;
  out.reserve(bytes.size() + 8);
  for (const char c : bytes) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '\r') {
      out += "\\r";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\\') {
      out += "\\\\";
    } else if (u < 0x20 || u >= 0x7f) {
      out += "\\x" + QByteArray::number(u, 16).rightJustified(2, '0').toUpper();
    } else {
      out += c;
    }
  }
  return out;
}

bool ReadRecording(const QString& path, std::vector<RecordedCommand>* commands, QString* error,
                   QStringList* warnings) {
  const QString name = QDir::toNativeSeparators(path);
  QFile file;
  QString reason;
  if (!OpenRegularFile(file, path, &reason)) {
    *error = QStringLiteral("%1: %2").arg(name, reason);
    return false;
  }
  std::vector<RecordedCommand> read;
  QStringList said;
  qint64 previousMs = 0;
  int number = 0;
  while (!file.atEnd()) {
    QByteArray line = file.readLine(kMaxLineBytes + 2);
    ++number;
    if (!line.endsWith('\n') && !file.atEnd()) {
      *error = QStringLiteral("%1: line %2: is longer than %3 characters; no line of a recording is")
                   .arg(name)
                   .arg(number)
                   .arg(kMaxLineBytes);
      return false;
    }
    if (line.endsWith('\n')) line.chop(1);
    if (line.endsWith('\r')) line.chop(1);  // a file edited into CR LF line ends
    if (line.startsWith('#')) {
      if (number == 1)
        if (const QString warning = HeaderWarning(line); !warning.isEmpty())
          said << QStringLiteral("%1: %2").arg(name, warning);
      continue;
    }
    if (line.isEmpty()) continue;
    RecordedCommand command;
    QString why;
    if (!ParseLine(line, previousMs, &command, &why)) {
      *error = QStringLiteral("%1: line %2: %3").arg(name).arg(number).arg(why);
      return false;
    }
    previousMs = command.ms;
    read.push_back(std::move(command));
  }
  if (file.error() != QFileDevice::NoError) {
    *error = QStringLiteral("%1: cannot be read: %2").arg(name, file.errorString());
    return false;
  }
  *commands = std::move(read);
  if (warnings) *warnings = said;
  return true;
}

RecordingWriter::RecordingWriter(QObject* parent) : QObject(parent) {
  flushTimer_.setInterval(kFlushIntervalMs);
  connect(&flushTimer_, &QTimer::timeout, this, [this] { flush(); });
}

RecordingWriter::~RecordingWriter() { stop(); }

bool RecordingWriter::start(const QString& path, const QString& program, const QString& device,
                            std::chrono::nanoseconds began, QString* error) {
  stop();
  file_.setFileName(path);
  // Unbuffered: what flush() writes reaches the system at once, and a full
  // disk shows there rather than in a later, hidden write.
  if (!file_.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)) {
    *error = QStringLiteral("Cannot record to %1: %2").arg(QDir::toNativeSeparators(path), file_.errorString());
    return false;
  }
  began_ = began;
  commands_ = 0;
  writtenCommands_ = 0;
  writtenBytes_ = 0;
  pending_ = QStringLiteral("# %1 recording; device %2; begun %3\n")
                 .arg(program, device, QDateTime::currentDateTimeUtc().toString(Qt::ISODate))
                 .toUtf8();
  if (!flush()) {
    *error = QStringLiteral("Cannot record to %1: %2").arg(QDir::toNativeSeparators(path), lastReason_);
    return false;
  }
  flushTimer_.start();
  return true;
}

void RecordingWriter::add(std::chrono::nanoseconds at, const QByteArray& bytes) {
  if (!file_.isOpen()) return;
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(at - began_).count();
  pending_ += QByteArray::number(static_cast<qint64>(std::max<decltype(ms)>(ms, 0)));
  pending_ += '\t';
  pending_ += EscapeCommand(bytes);
  pending_ += '\n';
  ++commands_;
  if (pending_.size() >= kMaxPendingBytes) flush();
}

bool RecordingWriter::stop(qint64 unconfirmed) {
  if (!file_.isOpen()) return true;
  if (const qint64 n = std::min(unconfirmed, commands_); n > 0)
    pending_ += QStringLiteral("# not confirmed: %1 commands handed to the device were not seen to leave it\n")
                    .arg(n)
                    .toUtf8();
  const bool ok = flush();
  flushTimer_.stop();
  file_.close();
  return ok;
}

bool RecordingWriter::flush() {
  if (!file_.isOpen()) return false;
  if (pending_.isEmpty()) return true;
  errno = 0;
  if (file_.write(pending_) == pending_.size()) {
    pending_.clear();
    writtenBytes_ = file_.size();
    writtenCommands_ = commands_;
    return true;
  }
  // Nothing more can be kept: end the recording here. What reached the file
  // before stays whole (a line cut by the failing write is taken off again),
  // and the caller carries on without a recording.
  // The system's own reason ("No space left on device"): Qt's text for a
  // failed unbuffered write is often only "Unknown error".
  lastReason_ = errno != 0 ? SystemReason(errno) : file_.errorString();
  const QString message = QStringLiteral("Recording to %1 stopped: %2. The %3 commands written before are kept.")
                              .arg(QDir::toNativeSeparators(file_.fileName()), lastReason_)
                              .arg(writtenCommands_);
  file_.resize(writtenBytes_);
  pending_.clear();
  flushTimer_.stop();
  file_.close();
  emit failed(message);
  return false;
}

}  // namespace gp::files
