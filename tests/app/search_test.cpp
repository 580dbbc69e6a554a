// --search through the program itself: what it writes reproduces under
// --simulate, --jobs never changes it, Ctrl+C keeps the best so far, and a
// command it cannot use writes nothing.

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>
#include <sys/resource.h>

namespace {

struct Run {
  int exitCode = -1;
  QByteArray out;
  QString err;
};

QProcess* Start(const QStringList& arguments, QObject* parent) {
  auto* process = new QProcess(parent);
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.remove(QStringLiteral("DISPLAY"));
  env.remove(QStringLiteral("QT_QPA_PLATFORM"));
  process->setProcessEnvironment(env);
  process->start(QStringLiteral(GAITPANEL_BINARY), arguments);
  return process;
}

Run Finish(QProcess* process) {
  Run run;
  if (!process->waitForFinished(100000) || process->exitStatus() != QProcess::NormalExit) return run;
  run.exitCode = process->exitCode();
  run.out = process->readAllStandardOutput();
  run.err = QString::fromLocal8Bit(process->readAllStandardError());
  return run;
}

Run Program(const QStringList& arguments) {
  QObject owner;
  return Finish(Start(arguments, &owner));
}

QString Preset(const char* name) { return QStringLiteral(GAITPANEL_PRESETS "/%1.json").arg(QLatin1String(name)); }

QStringList Search(const QString& start, const QString& goal, const QString& output, int evaluations, int jobs) {
  return {QStringLiteral("--search"), start, QStringLiteral("--goal"), goal, QStringLiteral("--seconds"),
          QStringLiteral("2"), QStringLiteral("--evaluations"), QString::number(evaluations), QStringLiteral("--jobs"),
          QString::number(jobs), QStringLiteral("--output"), output};
}

// The score --simulate gives the file, from the figures it prints.
double SimulatedScore(const QString& gait, const QString& goal) {
  const Run run = Program({QStringLiteral("--simulate"), gait, QStringLiteral("--seconds"), QStringLiteral("2")});
  if (run.exitCode != 0) qWarning("%s", qPrintable(run.err));
  const QJsonObject o = QJsonDocument::fromJson(run.out).object();
  const double seconds = o.value(QStringLiteral("seconds")).toDouble();
  if (goal == QStringLiteral("forward")) return o.value(QStringLiteral("forward_m")).toDouble() / seconds;
  const double heading = o.value(QStringLiteral("heading_change_deg")).toDouble() / seconds;
  return goal == QStringLiteral("turn-left") ? heading : -heading;
}

QByteArray Contents(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

}  // namespace

class SearchTest : public QObject {
  Q_OBJECT

 private slots:
  void theFileFoundReproducesItsScoreForAnyJobs() {
    QTemporaryDir dir;
    const QString one = dir.filePath(QStringLiteral("one.json")), two = dir.filePath(QStringLiteral("two.json"));
    const QString report = dir.filePath(QStringLiteral("search.svg"));
    const Run first = Program(Search(Preset("turn-right"), QStringLiteral("turn-right"), one, 12, 1) +
                              QStringList{QStringLiteral("--report"), report});
    QCOMPARE(first.exitCode, 0);
    const Run second = Program(Search(Preset("turn-right"), QStringLiteral("turn-right"), two, 12, 2));
    QCOMPARE(second.exitCode, 0);

    const QJsonObject result = QJsonDocument::fromJson(first.out).object();
    QCOMPARE(result.value(QStringLiteral("goal")).toString(), QStringLiteral("turn-right"));
    QCOMPARE(result.value(QStringLiteral("robot")).toString(), QStringLiteral("snake"));
    QCOMPARE(result.value(QStringLiteral("line")).toString(), QStringLiteral("9600"));
    QCOMPARE(result.value(QStringLiteral("evaluations")).toInt(), 12);
    QVERIFY(result.value(QStringLiteral("best")).isObject());
    const double best = result.value(QStringLiteral("best_score")).toDouble();
    QVERIFY(best >= result.value(QStringLiteral("start_score")).toDouble());
    // --simulate prints the heading to a hundredth of a degree.
    QVERIFY2(std::abs(SimulatedScore(one, QStringLiteral("turn-right")) - best) < 0.01 / 2 + 1e-6,
             qPrintable(QString::number(best)));

    // The same command with another number of workers: the same file, word for word.
    QCOMPARE(Contents(two), Contents(one));
    QVERIFY(Contents(one).contains("Found by the gait search"));
    QVERIFY(Contents(report).startsWith("<?xml"));
    QVERIFY(first.err.contains(QStringLiteral("12 of 12 evaluations")));
  }

  void ctrlCWritesTheBestSoFar() {
    QTemporaryDir dir;
    const QString best = dir.filePath(QStringLiteral("best.json"));
    QObject owner;
    QProcess* process = Start(Search(Preset("lateral-undulation"), QStringLiteral("forward"), best, 5000, 2), &owner);
    QVERIFY(process->waitForStarted());
    // Once some evaluations have been reported, as a person watching would.
    QString err;
    while (!err.contains(QStringLiteral(" of 5000 evaluations, best")) && process->state() == QProcess::Running) {
      process->waitForReadyRead(5000);
      err += QString::fromLocal8Bit(process->readAllStandardError());
    }
    ::kill(static_cast<pid_t>(process->processId()), SIGINT);
    const Run run = Finish(process);
    QCOMPARE(run.exitCode, 130);
    const QJsonObject result = QJsonDocument::fromJson(run.out).object();
    const int done = result.value(QStringLiteral("evaluations")).toInt();
    QVERIFY(done >= 1 && done < 5000);
    QVERIFY(result.value(QStringLiteral("interrupted")).toBool());
    QVERIFY2(run.err.contains(QStringLiteral("after %1 of 5000 evaluations").arg(done)), qPrintable(run.err));
    const double score = result.value(QStringLiteral("best_score")).toDouble();
    QVERIFY(std::abs(SimulatedScore(best, QStringLiteral("forward")) - score) < 0.0001 / 2 + 1e-6);
    QVERIFY(Contents(best).contains("stopped early"));
  }

  // From a start whose 16 ms tick the line carries as coarse jumps: the gait
  // written is one --simulate has nothing to warn about, and says so.
  void writesOnlyAGaitTheLineCarries() {
    QTemporaryDir dir;
    QFile in(Preset("turn-left"));
    QVERIFY(in.open(QIODevice::ReadOnly));
    QJsonObject gait = QJsonDocument::fromJson(in.readAll()).object();
    gait.insert(QStringLiteral("interval_ms"), 16);
    const QString start = dir.filePath(QStringLiteral("fast.json")), best = dir.filePath(QStringLiteral("best.json"));
    QFile out(start);
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write(QJsonDocument(gait).toJson());
    out.close();
    const Run run = Program(Search(start, QStringLiteral("turn-left"), best, 12, 2));
    QCOMPARE(run.exitCode, 0);
    const QJsonObject result = QJsonDocument::fromJson(run.out).object();
    QCOMPARE(result.value(QStringLiteral("min_positions")).toDouble(), 8.0);
    QVERIFY(result.value(QStringLiteral("rejected_evaluations")).toInt() >= 1);
    QVERIFY(result.value(QStringLiteral("best_positions_per_period")).toDouble() >= 8);
    QVERIFY(Contents(best).contains("positions a gait period on the 9600 line"));
    const Run check = Program({QStringLiteral("--simulate"), best, QStringLiteral("--seconds"), QStringLiteral("2")});
    QCOMPARE(check.exitCode, 0);
    QVERIFY2(!check.err.contains(QStringLiteral("warning")), qPrintable(check.err));
  }

  // Scored on two floors by the mean: the score is the mean of what
  // --simulate gives on each floor.
  void scoresOnEveryFloorOfItsFile() {
    QTemporaryDir dir;
    const QString floors = dir.filePath(QStringLiteral("floors.json")), best = dir.filePath(QStringLiteral("best.json"));
    QFile file(floors);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(R"({"floors": [{"along": 0.1, "across": 1.5}, {"along": 0.3, "across": 0.6}]})");
    file.close();
    const Run run = Program(Search(Preset("lateral-undulation"), QStringLiteral("forward"), best, 1, 1) +
                            QStringList{QStringLiteral("--floors"), floors, QStringLiteral("--score"), QStringLiteral("mean")});
    QCOMPARE(run.exitCode, 0);
    const QJsonObject result = QJsonDocument::fromJson(run.out).object();
    QCOMPARE(result.value(QStringLiteral("score")).toString(), QStringLiteral("mean"));
    QCOMPARE(result.value(QStringLiteral("floors")).toArray().size(), 2);
    double sum = 0;
    for (const char* floor : {"0.1,1.5", "0.3,0.6"}) {
      const Run one = Program({QStringLiteral("--simulate"), Preset("lateral-undulation"), QStringLiteral("--seconds"),
                               QStringLiteral("2"), QStringLiteral("--floor"), QLatin1String(floor)});
      QCOMPARE(one.exitCode, 0);
      sum += QJsonDocument::fromJson(one.out).object().value(QStringLiteral("forward_m")).toDouble() / 2;
    }
    QVERIFY2(std::abs(result.value(QStringLiteral("best_score")).toDouble() - sum / 2) < 1e-4,
             qPrintable(QString::number(sum / 2)));
    QVERIFY(Contents(best).contains("Scored by its mean over 2 floors"));
  }

  // A write that fails is told with the file and the system's reason and a
  // non-zero status, and the old file stays whole: a file-size limit stands
  // in for a full disk, /dev/full for a full standard output.
  void aLostWriteIsToldAndKeepsTheOldFile() {
    QTemporaryDir dir;
    const QString best = dir.filePath(QStringLiteral("best.json"));
    QFile old(best);
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write("the best gait of last week\n");
    old.close();
    const QStringList arguments = Search(Preset("lateral-undulation"), QStringLiteral("forward"), best, 2, 1);
    {
      QObject owner;
      auto* process = new QProcess(&owner);
      process->setChildProcessModifier([] {
        ::signal(SIGXFSZ, SIG_IGN);
        rlimit small{64, 64};
        ::setrlimit(RLIMIT_FSIZE, &small);
      });
      process->start(QStringLiteral(GAITPANEL_BINARY), arguments);
      const Run run = Finish(process);
      QVERIFY2(run.exitCode == 1 && run.err.contains(best + QStringLiteral(": file: cannot be written: File too large")),
               qPrintable(run.err));
      QCOMPARE(Contents(best), QByteArray("the best gait of last week\n"));
      QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("best.json")});
    }
    const Run full = Program(Search(Preset("lateral-undulation"), QStringLiteral("forward"), QStringLiteral("/dev/full"), 2, 1));
    QVERIFY2(full.exitCode == 1 && full.err.contains(QStringLiteral("/dev/full: file: cannot be written: No space left")),
             qPrintable(full.err));

    for (const QStringList& command : {arguments, QStringList{QStringLiteral("--simulate"), Preset("lateral-undulation"),
                                                              QStringLiteral("--seconds"), QStringLiteral("1")}}) {
      QObject owner;
      auto* process = new QProcess(&owner);
      process->setStandardOutputFile(QStringLiteral("/dev/full"));
      process->start(QStringLiteral(GAITPANEL_BINARY), command);
      const Run run = Finish(process);
      QVERIFY2(run.exitCode == 1 && run.err.contains(QStringLiteral("standard output: cannot be written: No space left")),
               qPrintable(command.first() + QStringLiteral(": ") + run.err));
    }
  }

  // Started with SIGHUP ignored (nohup), the search keeps it ignored: a
  // closed terminal does not stop it. Ctrl+C still does.
  void nohupKeepsTheHangUpIgnored() {
    QTemporaryDir dir;
    QObject owner;
    auto* process = new QProcess(&owner);
    process->setChildProcessModifier([] { ::signal(SIGHUP, SIG_IGN); });
    process->start(QStringLiteral(GAITPANEL_BINARY),
                   Search(Preset("lateral-undulation"), QStringLiteral("forward"), dir.filePath(QStringLiteral("b.json")), 5000, 1));
    QVERIFY(process->waitForStarted());
    QString err;
    while (!err.contains(QStringLiteral(" of 5000 evaluations, best")) && process->state() == QProcess::Running) {
      process->waitForReadyRead(5000);
      err += QString::fromLocal8Bit(process->readAllStandardError());
    }
    ::kill(static_cast<pid_t>(process->processId()), SIGHUP);
    QVERIFY(!process->waitForFinished(1500));
    ::kill(static_cast<pid_t>(process->processId()), SIGINT);
    QCOMPARE(Finish(process).exitCode, 130);
  }

  void aCommandItCannotUseWritesNothing() {
    QTemporaryDir dir;
    const QString out = dir.filePath(QStringLiteral("out.json"));
    const QString start = Preset("lateral-undulation");
    // Beside the folder that must stay empty: a floor of no grip along.
    QTemporaryDir elsewhere;
    const QString wrongFloors = elsewhere.filePath(QStringLiteral("floors.json"));
    QFile floors(wrongFloors);
    QVERIFY(floors.open(QIODevice::WriteOnly));
    floors.write(R"({"floors": [{"along": 0, "across": 1.5}]})");
    floors.close();
    const QList<QStringList> refused = {
        Search(start, QStringLiteral("backwards"), out, 5, 1),
        Search(dir.filePath(QStringLiteral("missing.json")), QStringLiteral("forward"), out, 5, 1),
        Search(start, QStringLiteral("forward"), dir.filePath(QStringLiteral("no/such/folder.json")), 5, 1),
        Search(start, QStringLiteral("forward"), out, 0, 1),
        Search(start, QStringLiteral("forward"), out, 5, 1) + QStringList{QStringLiteral("--robot"), dir.filePath(QStringLiteral("none.xml"))},
        Search(start, QStringLiteral("forward"), out, 5, 1) + QStringList{QStringLiteral("--report"), out},
        {QStringLiteral("--search"), start, QStringLiteral("--goal"), QStringLiteral("forward")},
        {QStringLiteral("--simulate"), start, QStringLiteral("--goal"), QStringLiteral("forward")},
        Search(start, QStringLiteral("forward"), out, 5, 1) + QStringList{QStringLiteral("--min-positions"), QStringLiteral("-1")},
        Search(start, QStringLiteral("forward"), out, 5, 1) + QStringList{QStringLiteral("--score"), QStringLiteral("mean")},
        Search(start, QStringLiteral("forward"), out, 5, 1) + QStringList{QStringLiteral("--floors"), dir.filePath(QStringLiteral("none.json"))},
        Search(start, QStringLiteral("forward"), out, 5, 1) + QStringList{QStringLiteral("--floors"), wrongFloors},
        Search(start, QStringLiteral("forward"), out, 5, 1) + QStringList{QStringLiteral("--floor"), QStringLiteral("0.1")},
        {QStringLiteral("--simulate"), start, QStringLiteral("--floor"), QStringLiteral("0,1")},
        {QStringLiteral("--simulate"), start, QStringLiteral("--soft-start"), QStringLiteral("11")},
        {QStringLiteral("--simulate"), start, QStringLiteral("--min-positions"), QStringLiteral("8")},
    };
    for (const QStringList& arguments : refused) {
      const Run run = Program(arguments);
      QVERIFY2(run.exitCode == 2, qPrintable(arguments.join(QLatin1Char(' ')) + QStringLiteral(": ") + run.err));
      QVERIFY2(!run.err.isEmpty(), qPrintable(arguments.join(QLatin1Char(' '))));
      QVERIFY(run.out.isEmpty());
      QVERIFY(QDir(dir.path()).isEmpty());
    }
    QVERIFY(Program({QStringLiteral("--help")}).out.contains("--search <START.json>"));
  }
};

QTEST_GUILESS_MAIN(SearchTest)
#include "search_test.moc"
