#include "files/recording.h"

#include <QDateTime>
#include <QDir>

namespace gp::files {
namespace {

// Past this much held text it is written at once, whatever the timer says.
constexpr qsizetype kMaxPendingBytes = 64 * 1024;

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The bytes of one escaped command, or the reason it cannot be read.
bool Unescape(const QByteArray& text, QByteArray* out, QString* why) {
  out->clear();
  for (qsizetype i = 0; i < text.size(); ++i) {
    const char c = text[i];
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
      *why = QStringLiteral("\"\\%1\" at column %2 is not one of \\r, \\n, \\\\ or \\xHH")
                 .arg(next == '\0' ? QString() : QString(QLatin1Char(next)))
                 .arg(i + 1);
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
    *why = QStringLiteral("does not start with the time in milliseconds");
    return false;
  }
  bool ok = false;
  const qint64 ms = line.left(digits).toLongLong(&ok);
  if (!ok) {
    *why = QStringLiteral("the time %1 is too large").arg(QString::fromLatin1(line.left(digits)));
    return false;
  }
  if (digits == line.size() || (line[digits] != '\t' && line[digits] != ' ')) {
    *why = QStringLiteral("the time is not followed by a tab or a blank and the command");
    return false;
  }
  if (ms < previousMs) {
    *why = QStringLiteral("the time %1 ms is earlier than the line before (%2 ms)").arg(ms).arg(previousMs);
    return false;
  }
  const QByteArray text = line.mid(digits + 1);
  if (text.isEmpty()) {
    *why = QStringLiteral("has a time but no command");
    return false;
  }
  if (!Unescape(text, &out->bytes, why)) return false;
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

bool ReadRecording(const QString& path, std::vector<RecordedCommand>* commands, QString* error) {
  const QString name = QDir::toNativeSeparators(path);
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    *error = QStringLiteral("%1: cannot be read: %2").arg(name, file.errorString());
    return false;
  }
  std::vector<RecordedCommand> read;
  qint64 previousMs = 0;
  int number = 0;
  while (!file.atEnd()) {
    QByteArray line = file.readLine();
    ++number;
    if (line.endsWith('\n')) line.chop(1);
    if (line.endsWith('\r')) line.chop(1);  // a file edited into CR LF line ends
    if (line.isEmpty() || line.startsWith('#')) continue;
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
    *error = QStringLiteral("Cannot record to %1: %2").arg(QDir::toNativeSeparators(path), file_.errorString());
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

bool RecordingWriter::stop() {
  if (!file_.isOpen()) return true;
  const bool ok = flush();
  flushTimer_.stop();
  file_.close();
  return ok;
}

bool RecordingWriter::flush() {
  if (!file_.isOpen()) return false;
  if (pending_.isEmpty()) return true;
  if (file_.write(pending_) == pending_.size()) {
    pending_.clear();
    writtenBytes_ = file_.size();
    writtenCommands_ = commands_;
    return true;
  }
  // Nothing more can be kept: end the recording here. What reached the file
  // before stays whole (a line cut by the failing write is taken off again),
  // and the caller carries on without a recording.
  const QString message = QStringLiteral("Recording to %1 stopped: %2. The %3 commands written before are kept.")
                              .arg(QDir::toNativeSeparators(file_.fileName()), file_.errorString())
                              .arg(writtenCommands_);
  file_.resize(writtenBytes_);
  pending_.clear();
  flushTimer_.stop();
  file_.close();
  emit failed(message);
  return false;
}

}  // namespace gp::files
