// --profile through the program: a headless run goes through the profile (a
// robot whose every joint is held straight cannot crawl), the search keeps
// its swings within the limits, and a profile that cannot be used, or one
// given to a replay, is refused before anything runs.

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <cmath>

namespace {

struct Run {
  int exitCode = -1;
  QByteArray out;
  QString err;
};

Run Program(const QStringList& arguments) {
  QProcess process;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.remove(QStringLiteral("DISPLAY"));
  env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
  process.setProcessEnvironment(env);
  process.start(QStringLiteral(GAITPANEL_BINARY), arguments);
  Run run;
  if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit) return run;
  run.exitCode = process.exitCode();
  run.out = process.readAllStandardOutput();
  run.err = QString::fromLocal8Bit(process.readAllStandardError());
  return run;
}

QString Profile(const QTemporaryDir& dir, double min, double max, const char* name = "limits.json") {
  QJsonArray modules;
  for (int i = 0; i < 8; ++i) modules.append(QJsonObject{{"min", min}, {"max", max}, {"trim", 0}, {"reversed", false}});
  const QString path = dir.filePath(QLatin1String(name));
  QFile f(path);
  f.open(QIODevice::WriteOnly);
  f.write(QJsonDocument(QJsonObject{{"format", "gaitpanel-robot"}, {"version", 1}, {"name", "Test"}, {"modules", modules}})
              .toJson());
  return path;
}

const QString kUndulation = QStringLiteral(GAITPANEL_PRESETS "/lateral-undulation.json");

double Distance(const Run& run) {
  return QJsonDocument::fromJson(run.out).object().value(QStringLiteral("distance_m")).toDouble(-1);
}

}  // namespace

class ProfileOptionTest : public QObject {
  Q_OBJECT
 private slots:
  void aHeadlessRunGoesThroughTheProfile() {
    QTemporaryDir dir;
    const QStringList run{QStringLiteral("--simulate"), kUndulation, QStringLiteral("--seconds"), QStringLiteral("3")};
    const Run free = Program(run);
    const Run rigid = Program(run + QStringList{QStringLiteral("--profile"), Profile(dir, 0, 0)});
    QCOMPARE(free.exitCode, 0);
    QCOMPARE(rigid.exitCode, 0);
    // Joints that never bend push nothing: the body stays where it lay.
    QVERIFY2(Distance(rigid) >= 0 && Distance(rigid) < 0.02, rigid.out.constData());
    QVERIFY2(Distance(free) > 10 * Distance(rigid) + 0.05, free.out.constData());
  }

  void theSearchKeepsSwingsWithinTheLimits() {
    QTemporaryDir dir;
    const QString best = dir.filePath(QStringLiteral("best.json"));
    const Run run = Program({QStringLiteral("--search"), kUndulation, QStringLiteral("--goal"), QStringLiteral("forward"),
                             QStringLiteral("--seconds"), QStringLiteral("1"), QStringLiteral("--evaluations"),
                             QStringLiteral("6"), QStringLiteral("--jobs"), QStringLiteral("1"), QStringLiteral("--output"),
                             best, QStringLiteral("--profile"), Profile(dir, -25, 35)});
    QCOMPARE(run.exitCode, 0);
    QFile f(best);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QJsonArray modules = QJsonDocument::fromJson(f.readAll()).object().value(QStringLiteral("modules")).toArray();
    QCOMPARE(modules.size(), 8);
    for (const QJsonValue& m : modules) {
      const double amp = m[QStringLiteral("amplitude")].toDouble(), centre = m[QStringLiteral("centre")].toDouble();
      if (!m[QStringLiteral("enabled")].toBool() || amp < 10) continue;
      QVERIFY2(centre - amp >= -25 && centre + amp <= 35, qPrintable(QString::number(amp)));
    }
  }

  void refusesWhatItCannotUse() {
    QTemporaryDir dir;
    const QString bad = Profile(dir, 30, 10, "bad.json");
    for (const QStringList& args : {QStringList{QStringLiteral("--simulate"), kUndulation},
                                    QStringList{QStringLiteral("--port"), QStringLiteral("/dev/null")}}) {
      const Run run = Program(args + QStringList{QStringLiteral("--profile"), bad});
      QCOMPARE(run.exitCode, 2);
      QVERIFY2(run.err.contains(QStringLiteral("bad.json: modules[0].min: ")), qPrintable(run.err));
      QVERIFY(run.out.isEmpty());
    }
    const Run replay = Program({QStringLiteral("--replay"), dir.filePath(QStringLiteral("any.rec")),
                                QStringLiteral("--profile"), Profile(dir, -40, 40)});
    QCOMPARE(replay.exitCode, 2);
    QVERIFY2(replay.err.contains(QStringLiteral("does not apply")), qPrintable(replay.err));
  }
};

QTEST_GUILESS_MAIN(ProfileOptionTest)
#include "profile_option_test.moc"
