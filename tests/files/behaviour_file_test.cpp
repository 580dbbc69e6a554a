// Behaviour files and drive scripts: the shipped behaviours read, and every
// kind of fault is refused with the file, the field and the reason.

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

#include "files/behaviour_file.h"
#include "files/shared_files.h"
#include "tests/files/scratch_file.h"

using gp::files::Behaviour;

class BehaviourFileTest : public QObject {
  Q_OBJECT

  QTemporaryDir dir_;

  QString write(const char* name, const QByteArray& text) {
    const QString path = dir_.filePath(QString::fromLatin1(name));
    gp::testing::WriteRaw(path, text);
    return path;
  }

  static QByteArray Steps(const QByteArray& steps) {
    return R"({ "format": "gaitpanel-behaviour", "version": 1, "name": "b", "steps": [)" + steps + "] }";
  }

 private slots:
  void shippedBehavioursReadAndTheirGaitsAreFound() {
    const QDir folder(gp::files::SharedFolder(QStringLiteral("behaviours")));
    int behaviours = 0;
    for (const QString& file : folder.entryList({QStringLiteral("*.json")}, QDir::Files)) {
      if (!gp::files::IsBehaviourFile(folder.filePath(file))) continue;
      ++behaviours;
      Behaviour b;
      QString error;
      QVERIFY2(gp::files::ReadBehaviourFile(folder.filePath(file), &b, &error), qPrintable(error));
      QVERIFY(b.seconds() > 0);
    }
    QCOMPARE(behaviours, 2);

    Behaviour b;
    QString error;
    QVERIFY2(gp::files::ReadBehaviourFile(folder.filePath(QStringLiteral("caterpillar-forward-back.json")), &b, &error),
             qPrintable(error));
    QCOMPARE(b.steps.size(), std::size_t{2});
    // Six periods of 20 ticks of 50 ms; the second gait lies beside the behaviour.
    QCOMPARE(b.steps[1].seconds, 6.0);
    QCOMPARE(b.steps[1].gait.name, QStringLiteral("Caterpillar backward"));
    QVERIFY(!b.repeat);
  }

  void faultsNameTheFileTheFieldAndTheReason() {
    write("own.json", R"({ "format": "gaitpanel-gait", "version": 1, "name": "own", "interval_ms": 40,
      "modules": [ {"amplitude": 30, "phase": 0, "centre": 0, "enabled": true},
      {"amplitude": 30, "phase": 0, "centre": 0, "enabled": true}, {"amplitude": 30, "phase": 0, "centre": 0, "enabled": true},
      {"amplitude": 30, "phase": 0, "centre": 0, "enabled": true}, {"amplitude": 30, "phase": 0, "centre": 0, "enabled": true},
      {"amplitude": 30, "phase": 0, "centre": 0, "enabled": true}, {"amplitude": 30, "phase": 0, "centre": 0, "enabled": true},
      {"amplitude": 130, "phase": 0, "centre": 0, "enabled": true} ] })");
    const struct {
      QByteArray text;
      const char* expected;
    } cases[] = {
        {Steps(R"({"gait": "lateral-undulation", "seconds": 2, "speed": 1})"), "steps[0].speed: unknown field"},
        {Steps(R"({"seconds": 2})"), "steps[0].gait: missing; must be a text"},
        {Steps(R"({"gait": "no-such-gait", "seconds": 2})"), "steps[0].gait: \"no-such-gait\" is neither"},
        {Steps(R"({"gait": "own.json", "seconds": 2})"), "steps[0].gait: cannot be used: "},
        {Steps(R"({"gait": "standing", "seconds": 2}, {"gait": "standing", "seconds": 0})"),
         "steps[1].seconds: 0 gives the step no length"},
        {Steps(R"({"gait": "standing", "periods": -1})"), "steps[0].periods: -1 gives the step no length"},
        {Steps(R"({"gait": "standing"})"), "steps[0].seconds: a step runs for \"seconds\" or for \"periods\""},
        {Steps(R"({"gait": "standing", "seconds": 1, "periods": 1})"), "or for \"periods\" of its gait: give one"},
        {Steps(R"({"gait": "standing", "seconds": 1, "blend_s": -1})"), "steps[0].blend_s: -1 is outside 0 to 60"},
        {Steps(""), "steps: lists no step"},
        {R"({ "format": "gaitpanel-behaviour", "version": 1, "name": "b", "steps": [], "loop": true })",
         ": loop: unknown field"},
        {R"({ "format": "gaitpanel-gait", "version": 1 })", "format: \"gaitpanel-gait\" is not \"gaitpanel-behaviour\""},
    };
    for (const auto& c : cases) {
      const QString path = write("b.json", c.text);
      Behaviour b;
      b.name = QStringLiteral("untouched");
      QString error;
      QVERIFY2(!gp::files::ReadBehaviourFile(path, &b, &error), c.expected);
      QVERIFY2(error.startsWith(QDir::toNativeSeparators(path) + QStringLiteral(": ")), qPrintable(error));
      QVERIFY2(error.contains(QString::fromUtf8(c.expected)), qPrintable(error));
      QCOMPARE(b.name, QStringLiteral("untouched"));
    }
    // The gait's own fault is passed on whole.
    Behaviour b;
    QString error;
    gp::files::ReadBehaviourFile(write("b.json", Steps(R"({"gait": "own.json", "seconds": 2})")), &b, &error);
    QVERIFY2(error.contains(QStringLiteral("own.json: modules[7].amplitude")), qPrintable(error));
  }

  void driveScriptsAreRowsInTimeWithinTheirRanges() {
    std::vector<gp::SteeringRow> rows;
    QString error;
    QVERIFY2(gp::files::ReadDriveScript(write("d.json", "[[0, 1, 0, 1], [2.5, -0.5, 1, 0]]"), &rows, &error),
             qPrintable(error));
    QCOMPARE(rows.size(), std::size_t{2});
    QCOMPARE(rows[1].t, 2.5);
    QCOMPARE(rows[1].steering.speed, -0.5);
    QCOMPARE(rows[1].steering.turn, 1.0);
    QCOMPARE(rows[1].steering.amplitude, 0.0);
    const struct {
      QByteArray text;
      const char* expected;
    } cases[] = {
        {"[]", "document: lists no row"},
        {R"({"rows": []})", "document: must be a JSON list"},
        {"[[0, 1, 0]]", "[0]: has 3 numbers"},
        {"[[1, 1, 0, 1]]", "[0] (t): the first row starts at 0 s"},
        {"[[0, 1, 0, 1], [0, 1, 0, 1]]", "[1] (t): 0 s does not come after"},
        {"[[0, 1.5, 0, 1]]", "[0][1] (speed): 1.5 is outside -1 to 1"},
        {"[[0, 1, 0, -0.1]]", "[0][3] (amplitude): -0.1 is outside 0 to 1"},
        {R"([[0, "fast", 0, 1]])", "[0][1] (speed): must be a number, not a text"},
    };
    for (const auto& c : cases) {
      rows.clear();
      QVERIFY2(!gp::files::ReadDriveScript(write("d.json", c.text), &rows, &error), c.expected);
      QVERIFY2(error.contains(QString::fromUtf8(c.expected)), qPrintable(error));
      QVERIFY(rows.empty());
    }
  }
};

QTEST_GUILESS_MAIN(BehaviourFileTest)
#include "behaviour_file_test.moc"
