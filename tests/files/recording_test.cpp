// Recordings of the line: every byte comes back as it went, times count from
// the start, a malformed line is named by its number, lines reach the disk
// within the flush interval, and a full disk ends the recording with a
// message while keeping what was written.

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

#include "files/recording.h"
#include "tests/files/scratch_file.h"

using gp::files::ReadRecording;
using gp::files::RecordedCommand;
using gp::files::RecordingWriter;
using namespace std::chrono_literals;

using gp::testing::Contents;
using gp::testing::WriteRaw;

class RecordingTest : public QObject {
  Q_OBJECT
 private slots:
  void everyByteAndTimeComesBack() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("run.rec"));
    const QList<QByteArray> sent = {QByteArray("SO\r"), QByteArray("SW0 005DC\r\r"), QByteArray("SD13\r"),
                                    QByteArray("SF\r")};
    RecordingWriter writer;
    QString error;
    const auto began = 5s;
    QVERIFY2(writer.start(path, QStringLiteral("gaitpanel 1.0.0"), QStringLiteral("/dev/ttyUSB0"), began, &error),
             qPrintable(error));
    const std::chrono::nanoseconds at[] = {began, began + 20ms + 999us, began + 1541ms, began + 90s};
    for (int i = 0; i < sent.size(); ++i) writer.add(at[i], sent[i]);
    QVERIFY(writer.stop());

    const QByteArray text = Contents(path);
    const QByteArray header = text.left(text.indexOf('\n'));
    const QByteArray expected = "# gaitpanel 1.0.0 recording; device /dev/ttyUSB0; begun 20";
    QVERIFY2(header.startsWith(expected), header.constData());
    QVERIFY(text.contains("\n20\tSW0 005DC\\r\\r\n"));  // one command, one line, CRs escaped

    std::vector<RecordedCommand> read;
    QVERIFY2(ReadRecording(path, &read, &error), qPrintable(error));
    QCOMPARE(read.size(), std::size_t(4));
    const qint64 ms[] = {0, 20, 1541, 90000};
    for (int i = 0; i < sent.size(); ++i) {
      QCOMPARE(read[static_cast<std::size_t>(i)].bytes, sent[i]);
      QCOMPARE(read[static_cast<std::size_t>(i)].ms, ms[i]);
    }

    // Bytes outside the protocol are written escaped, each one readable.
    QCOMPARE(gp::files::EscapeCommand(QByteArray("a\\b\n\x00\x7f\xff\t", 8)), QByteArray("a\\\\b\\n\\x00\\x7F\\xFF\\x09"));

    // Written by hand: comments, CR LF line ends, a command written \x0D.
    WriteRaw(path, "# by hand\r\n0\tSW0 10066D\\r\\x0D\r\n\r\n250\tSF\\r\n");
    QVERIFY2(ReadRecording(path, &read, &error), qPrintable(error));
    QCOMPARE(read.size(), std::size_t(2));
    QCOMPARE(read[0].bytes, QByteArray("SW0 10066D\r\r"));
    QCOMPARE(read[1].ms, qint64(250));
  }

  void malformedLineIsNamedByNumber_data() {
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QString>("reason");
    QTest::newRow("no time") << QByteArray("SO\\r") << "does not start with the time";
    QTest::newRow("no separator") << QByteArray("40SO\\r") << "not followed by a tab";
    QTest::newRow("time goes back") << QByteArray("5\tSO\\r") << "earlier than the line before";
    QTest::newRow("no command") << QByteArray("40\t") << "no command";
    QTest::newRow("unknown escape") << QByteArray("40\tSO\\q") << "\\q";
    QTest::newRow("cut hex escape") << QByteArray("40\tSO\\x4") << "\\x";
    QTest::newRow("huge time") << QByteArray("99999999999999999999\tSO\\r") << "column 1: the time";
    // Past what a timer waits (2^31 ms): the replay would never send it.
    QTest::newRow("time past a timer") << QByteArray("2147483648\tSO\\r") << "column 1: the time 2147483648 ms";
    // Only whole commands of the protocol, placed by their column.
    QTest::newRow("cut command") << QByteArray("1060\tS") << "column 7: the command ends before it is whole";
    QTest::newRow("blank for tab") << QByteArray("40 SO\\r") << "column 3: the time is not followed by a tab";
    QTest::newRow("raw NUL") << QByteArray("40\tSW0 0\x00" "5DC\\r\\r", 16) << "column 9: the byte 0x00";
    QTest::newRow("escaped NUL") << QByteArray("40\tSW0 0\\x005DC\\r\\r") << "column 9: the byte 0x00";
    QTest::newRow("glued") << QByteArray("40\tSF\\rSO\\r") << "column 8: 'S' is not part of any command";
    QTest::newRow("overlong") << QByteArray(20 * 1024 * 1024, 'A') << "is longer than 256 characters";
  }

  void malformedLineIsNamedByNumber() {
    QFETCH(QByteArray, line);
    QFETCH(QString, reason);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("bad.rec"));
    WriteRaw(path, "# header\n10\tSO\\r\n" + line + "\n50\tSF\\r\n");
    std::vector<RecordedCommand> read{RecordedCommand{7, "kept"}};
    QString error;
    QVERIFY(!ReadRecording(path, &read, &error));
    QVERIFY2(error.startsWith(path + QStringLiteral(": line 3: ")), qPrintable(error.left(300)));
    QVERIFY2(error.contains(reason), qPrintable(error));
    QCOMPARE(read.size(), std::size_t(1));
    QCOMPARE(read[0].bytes, QByteArray("kept"));
  }

  // A named pipe would hold the replay until someone wrote to it; a
  // recording from another program or a newer version is read, but said.
  void refusesWhatIsNotAFileAndWarnsOfAnotherWriter() {
    QTemporaryDir dir;
    const QString fifo = dir.filePath(QStringLiteral("pipe.rec"));
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    std::vector<RecordedCommand> read;
    QString error;
    QStringList warnings;
    QVERIFY(!ReadRecording(fifo, &read, &error, &warnings));
    QVERIFY2(error.startsWith(fifo + QStringLiteral(": is not a regular file")), qPrintable(error));
    QVERIFY(!ReadRecording(dir.path(), &read, &error));
    QVERIFY2(error.contains(QStringLiteral("is not a regular file")), qPrintable(error));

    const QString path = dir.filePath(QStringLiteral("run.rec"));
    const struct {
      QByteArray header;
      const char* warning;  // nullptr: none
    } cases[] = {{"# gaitpanel 1.0.0 recording; device pty; begun 2026-12-08T13:06:18Z", nullptr},
                 {"# gaitpanel 0.9 recording; device pty; begun 2026-12-08T13:06:18Z", nullptr},
                 {"# gaitpanel 99.1.0 recording; device pty; begun 2026-12-08T13:06:18Z", "newer than this"},
                 {"# servoboard 1.0.0 recording; device pty; begun 2026-12-08T13:06:18Z", "written by servoboard"}};
    for (const auto& c : cases) {
      WriteRaw(path, c.header + "\n0\tSF\\r\n# not confirmed: 1 commands handed to the device were not seen to leave it\n");
      warnings.clear();
      QVERIFY2(ReadRecording(path, &read, &error, &warnings), qPrintable(error));
      QCOMPARE(read.size(), std::size_t(1));
      if (!c.warning) {
        QVERIFY2(warnings.isEmpty(), qPrintable(warnings.join(QLatin1Char('\n'))));
      } else {
        QCOMPARE(warnings.size(), 1);
        QVERIFY2(warnings[0].startsWith(path) && warnings[0].contains(QLatin1String(c.warning)), qPrintable(warnings[0]));
      }
    }
  }

  void linesReachTheDiskWithinTheFlushInterval() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("live.rec"));
    RecordingWriter writer;
    QString error;
    QVERIFY(writer.start(path, QStringLiteral("gaitpanel 1.0.0"), QStringLiteral("pty"), 0s, &error));
    writer.add(10ms, "SO\r");
    // Not stopped: the periodic flush alone must bring it out (generous bound).
    QTRY_VERIFY_WITH_TIMEOUT(Contents(path).contains("10\tSO\\r\n"), 5000);
  }

  void fullDiskEndsTheRecordingAndKeepsWhatWasWritten() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("full.rec"));
    RecordingWriter writer;
    QSignalSpy failed(&writer, &RecordingWriter::failed);
    QString error;
    QVERIFY(writer.start(path, QStringLiteral("gaitpanel 1.0.0"), QStringLiteral("pty"), 0s, &error));
    writer.add(1ms, "SO\r");
    QVERIFY(writer.stop());
    QVERIFY(writer.start(path + QStringLiteral(".2"), QStringLiteral("gaitpanel 1.0.0"), QStringLiteral("pty"), 0s,
                         &error));
    writer.add(1ms, "SO\r");
    QTRY_VERIFY_WITH_TIMEOUT(Contents(path + QStringLiteral(".2")).contains("SO"), 5000);
    const QByteArray kept = Contents(path + QStringLiteral(".2"));

    // A file-size limit stands in for a full disk: the next write fails.
    rlimit old{};
    QVERIFY(::getrlimit(RLIMIT_FSIZE, &old) == 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = static_cast<rlim_t>(kept.size() + 30);  // room for part of a line
    QVERIFY(::setrlimit(RLIMIT_FSIZE, &small) == 0);
    for (int i = 0; i < 100; ++i) writer.add(std::chrono::milliseconds(2 + i), "SW0 005DC\r\r");
    QTRY_COMPARE_WITH_TIMEOUT(failed.size(), 1, 5000);
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);

    QVERIFY(!writer.isRecording());
    const QString message = failed.at(0).at(0).toString();
    // The system's reason, not "Unknown error".
    QVERIFY2(message.contains(path + QStringLiteral(".2")) && message.contains(QStringLiteral("File too large")) &&
                 message.contains(QStringLiteral("The 1 commands written before are kept")),
             qPrintable(message));
    QCOMPARE(Contents(path + QStringLiteral(".2")), kept);
    writer.add(500ms, "SF\r");  // ignored now, no crash, no second message
    QVERIFY(writer.stop());
    QCOMPARE(failed.size(), 1);

    // A device that is full from the first byte refuses the start.
    QVERIFY(!writer.start(QStringLiteral("/dev/full"), QStringLiteral("gaitpanel 1.0.0"), QStringLiteral("pty"), 0s,
                          &error));
    QVERIFY2(error.contains(QStringLiteral("/dev/full: No space left on device")), qPrintable(error));
  }
};

QTEST_GUILESS_MAIN(RecordingTest)
#include "recording_test.moc"
