// Gait files: what is saved opens unchanged, every kind of fault is refused
// whole and names its field, and every preset shipped with the program opens.

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

#include "files/gait_file.h"
#include "tests/files/scratch_file.h"

using gp::files::Gait;
using gp::files::ReadGaitFile;
using gp::files::WriteGaitFile;
using gp::testing::WriteRaw;

namespace {

bool SameGait(const Gait& a, const Gait& b) {
  if (a.name != b.name || a.notes != b.notes || a.intervalMs != b.intervalMs) return false;
  for (std::size_t i = 0; i < a.modules.size(); ++i) {
    const auto& x = a.modules[i];
    const auto& y = b.modules[i];
    if (x.amplitude != y.amplitude || x.phase != y.phase || x.centre != y.centre || x.enabled != y.enabled) {
      return false;
    }
  }
  return true;
}

QJsonObject ValidDocument() {
  QJsonArray modules;
  for (int i = 0; i < 8; ++i) {
    modules.append(QJsonObject{{"amplitude", 30}, {"phase", -45.0 * i}, {"centre", 0}, {"enabled", i < 2}});
  }
  return QJsonObject{{"format", "gaitpanel-gait"}, {"version", 1}, {"name", "Test"},
                     {"notes", "n"},                {"interval_ms", 50}, {"modules", modules}};
}

QJsonObject WithModuleValue(int index, const QString& key, const QJsonValue& value) {
  QJsonObject doc = ValidDocument();
  QJsonArray modules = doc["modules"].toArray();
  QJsonObject m = modules[index].toObject();
  m[key] = value;
  modules[index] = m;
  doc["modules"] = modules;
  return doc;
}

}  // namespace

class GaitFileTest : public QObject {
  Q_OBJECT
 private slots:
  void roundTripKeepsEveryValue() {
    QTemporaryDir dir;
    Gait saved;
    saved.name = QStringLiteral("Wellen \"quer\" — 1");
    saved.notes = QStringLiteral("line one\nline two\ttab \\ backslash");
    saved.intervalMs = 1000;
    const double amps[] = {90.5, -90, 10, 0, 0.1, 45.25, -9.75, 30};
    for (int i = 0; i < 8; ++i) {
      auto& m = saved.modules[static_cast<std::size_t>(i)];
      m.amplitude = amps[i];
      m.phase = i * -45.0 + 0.1;  // a value with no short decimal form
      m.centre = i == 7 ? -32768 : 1.0 / 3.0 * i;
      m.enabled = i % 3 == 0;
    }
    const QString path = dir.filePath(QStringLiteral("g.json"));
    QString error;
    QVERIFY2(WriteGaitFile(path, saved, &error), qPrintable(error));
    Gait opened;
    QVERIFY2(ReadGaitFile(path, &opened, &error), qPrintable(error));
    QVERIFY(SameGait(saved, opened));

    // Notes are optional for a file written by hand.
    QJsonObject doc = ValidDocument();
    doc.remove("notes");
    WriteRaw(path, QJsonDocument(doc).toJson());
    QVERIFY2(ReadGaitFile(path, &opened, &error), qPrintable(error));
    QCOMPARE(opened.notes, QString());
    QCOMPARE(opened.intervalMs, 50);
    QCOMPARE(opened.modules[7].phase, -315.0);
  }

  void eachFaultNamesTheFieldAndChangesNothing_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("reason");
    auto json = [](const QJsonObject& o) { return QJsonDocument(o).toJson(); };
    auto with = [](const char* key, const QJsonValue& v) {
      QJsonObject o = ValidDocument();
      o[key] = v;
      return o;
    };
    QJsonObject noName = ValidDocument();
    noName.remove("name");
    QJsonArray seven = ValidDocument()["modules"].toArray();
    seven.removeLast();

    QTest::newRow("format") << json(with("format", "gaitpanel-robot")) << "format" << "is not";
    QTest::newRow("version") << json(with("version", 2)) << "version" << "not supported";
    QTest::newRow("module count") << json(with("modules", seven)) << "modules" << "has 7 entries";
    QTest::newRow("wrong type") << json(WithModuleValue(2, "amplitude", "30")) << "modules[2].amplitude"
                                << "must be a number, not a text";
    QTest::newRow("amplitude rounds to 91") << json(WithModuleValue(5, "amplitude", -90.6))
                                            << "modules[5].amplitude" << "above 90";
    QTest::newRow("interval 0") << json(with("interval_ms", 0)) << "interval_ms" << "outside 1 to 1000";
    QTest::newRow("interval 1001") << json(with("interval_ms", 1001)) << "interval_ms" << "outside 1 to 1000";
    QTest::newRow("interval fraction") << json(with("interval_ms", 20.5)) << "interval_ms" << "whole number";
    QTest::newRow("centre beyond 16 bits") << json(WithModuleValue(0, "centre", 40000)) << "modules[0].centre"
                                           << "outside -32768";
    QTest::newRow("enabled") << json(WithModuleValue(7, "enabled", 1)) << "modules[7].enabled"
                             << "true/false";
    QTest::newRow("missing field") << json(noName) << "name" << "missing";
    QTest::newRow("typo in a key") << json(with("interval", 50)) << "interval" << "unknown field";
    QTest::newRow("syntax") << QByteArray("{\n  \"format\": \"gaitpanel-gait\",\n  \"version\" 1\n}")
                            << "JSON at line 3" << "";
    QTest::newRow("not an object") << QByteArray("[1, 2]") << "document" << "JSON object";
    // Qt's reader keeps the last of two equal keys and takes raw control
    // characters: a forgotten old line would drive a servo unseen.
    const QByteArray valid = json(ValidDocument());
    QByteArray twice = valid;
    const qsizetype third = twice.indexOf("\"amplitude\"", twice.indexOf("\"amplitude\"", twice.indexOf("\"amplitude\"") + 1) + 1);
    twice.insert(third, "\"amplitude\": 60, ");
    QTest::newRow("key twice in a module") << twice << "modules[2].amplitude" << "is given twice";
    QByteArray topTwice = valid;
    topTwice.insert(topTwice.indexOf('{') + 1, "\"interval_ms\": 20,");
    QTest::newRow("key twice at the top") << topTwice << "interval_ms" << "is given twice";
    QByteArray tab = valid;
    tab.replace("\"notes\": \"n\"", "\"notes\": \"a\tb\"");
    QTest::newRow("raw tab in a text") << tab << "notes" << "raw control character (0x09)";
    // Escaped, the same characters are text like any other.
    QByteArray escaped = valid;
    escaped.replace("\"notes\": \"n\"", "\"notes\": \"a\\tb\", \"notes\": \"\\u006e\"");
    QTest::newRow("key twice, once escaped") << escaped << "notes" << "is given twice";
  }

  void eachFaultNamesTheFieldAndChangesNothing() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, field);
    QFETCH(QString, reason);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("bad.json"));
    WriteRaw(path, bytes);

    Gait gait;
    gait.name = QStringLiteral("before");
    gait.modules[0].amplitude = 12;
    const Gait before = gait;
    QString error;
    QVERIFY(!ReadGaitFile(path, &gait, &error));
    QVERIFY(SameGait(gait, before));
    QVERIFY2(error.startsWith(QDir::toNativeSeparators(path) + QStringLiteral(": ") + field), qPrintable(error));
    QVERIFY2(error.contains(reason), qPrintable(error));
    QVERIFY(!error.contains(QLatin1Char('\n')));
  }

  void unreadableAndOversizedFilesAreNamed() {
    QTemporaryDir dir;
    Gait gait;
    QString error;
    const QString missing = dir.filePath(QStringLiteral("none.json"));
    QVERIFY(!ReadGaitFile(missing, &gait, &error));
    QVERIFY2(error.startsWith(missing + QStringLiteral(": file: cannot be read")), qPrintable(error));

    // A named pipe would hold the program for good; a folder is no file either.
    const QString fifo = dir.filePath(QStringLiteral("pipe.json"));
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    QVERIFY(!ReadGaitFile(fifo, &gait, &error));
    QVERIFY2(error.startsWith(fifo + QStringLiteral(": file: is not a regular file")), qPrintable(error));
    QVERIFY(!ReadGaitFile(dir.path(), &gait, &error));
    QVERIFY2(error.contains(QStringLiteral(": file: is not a regular file")), qPrintable(error));

    const QString huge = dir.filePath(QStringLiteral("huge.json"));
    WriteRaw(huge, QByteArray(2 << 20, ' '));
    QVERIFY(!ReadGaitFile(huge, &gait, &error));
    QVERIFY2(error.contains(QStringLiteral(": file: ")), qPrintable(error));
  }

  void writingRefusesWhatCouldNotBeReadBack() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("keep.json"));
    WriteRaw(path, "old contents");
    Gait gait;
    gait.modules[3].amplitude = 91;
    QString error;
    QVERIFY(!WriteGaitFile(path, gait, &error));
    QVERIFY2(error.contains(QStringLiteral("modules[3].amplitude")), qPrintable(error));
    gait.modules[3].amplitude = 0;
    gait.modules[4].phase = std::numeric_limits<double>::quiet_NaN();
    QVERIFY(!WriteGaitFile(path, gait, &error));
    QVERIFY2(error.contains(QStringLiteral("modules[4].phase")), qPrintable(error));
    QCOMPARE(gp::testing::Contents(path), QByteArray("old contents"));

    QVERIFY(!WriteGaitFile(dir.filePath(QStringLiteral("no/such/dir/g.json")), Gait{}, &error));
    QVERIFY2(error.contains(QStringLiteral("cannot be written")), qPrintable(error));

    // A full disk (a file-size limit stands in for it) keeps the old file
    // whole, says the system's reason, and leaves no temporary file behind.
    gait.modules[4].phase = 0;
    rlimit old{};
    QVERIFY(::getrlimit(RLIMIT_FSIZE, &old) == 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 64;
    QVERIFY(::setrlimit(RLIMIT_FSIZE, &small) == 0);
    const bool written = WriteGaitFile(path, gait, &error);
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    QVERIFY(!written);
    QVERIFY2(error.startsWith(path + QStringLiteral(": file: cannot be written: File too large")), qPrintable(error));
    QCOMPARE(gp::testing::Contents(path), QByteArray("old contents"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("keep.json")});
    QVERIFY2(WriteGaitFile(path, gait, &error), qPrintable(error));
    Gait back;
    QVERIFY2(ReadGaitFile(path, &back, &error), qPrintable(error));
  }

  void everyPresetOpens() {
    const QStringList folders = gp::files::PresetFolders();
    QVERIFY(!folders.isEmpty());
    const QDir dir(folders.first());
    QStringList names;
    for (const QString& file : dir.entryList({QStringLiteral("*.json")}, QDir::Files, QDir::Name)) {
      if (file.endsWith(QLatin1String(".schema.json"))) continue;
      Gait gait;
      QString error;
      QVERIFY2(ReadGaitFile(dir.filePath(file), &gait, &error), qPrintable(error));
      QVERIFY2(!gait.notes.isEmpty(), qPrintable(file));
      names << gait.name;
    }
    names.sort();
    QCOMPARE(names, QStringList({"Caterpillar", "Lateral undulation", "Rolling", "Sidewinding", "Standing", "Turn left", "Turn right"}));
  }

  // A preset is found by its bare name; anything that is a file, or looks
  // like a path, is left for the reader to open or report as it is.
  void aPresetIsFoundByItsNameAlone() {
    using gp::files::FindGaitFile;
    const QDir presets(gp::files::PresetFolders().first());
    const QString preset = presets.filePath(QStringLiteral("lateral-undulation.json"));
    QCOMPARE(FindGaitFile(QStringLiteral("lateral-undulation")), preset);
    QCOMPARE(FindGaitFile(QStringLiteral("lateral-undulation.json")), preset);
    for (const QString& kept : {QStringLiteral("worm"), QStringLiteral("gait.schema"), QStringLiteral("./lateral-undulation"),
                                QStringLiteral("no/such/lateral-undulation"), QString()})
      QCOMPARE(FindGaitFile(kept), kept);

    QTemporaryDir dir;
    const QString before = QDir::currentPath();
    QVERIFY(QDir::setCurrent(dir.path()));
    QFile own(QStringLiteral("lateral-undulation"));  // a file of the user's own, here
    QVERIFY(own.open(QIODevice::WriteOnly));
    own.close();
    const QString found = FindGaitFile(QStringLiteral("lateral-undulation"));
    QDir::setCurrent(before);
    QCOMPARE(found, QStringLiteral("lateral-undulation"));
  }
};

QTEST_GUILESS_MAIN(GaitFileTest)
#include "gait_file_test.moc"
