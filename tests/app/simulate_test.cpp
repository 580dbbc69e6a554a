// --simulate as research uses it: the presets on the virtual robots through
// the program itself, its JSON, its refusals, and that a run depends on
// nothing but its input.

#include <QDir>
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

Run Simulate(const QStringList& arguments) {
  QProcess process;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.remove(QStringLiteral("DISPLAY"));
  env.remove(QStringLiteral("QT_QPA_PLATFORM"));
  process.setProcessEnvironment(env);
  process.start(QStringLiteral(GAITPANEL_BINARY), QStringList{QStringLiteral("--simulate")} + arguments);
  Run run;
  if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit) return run;
  run.exitCode = process.exitCode();
  run.out = process.readAllStandardOutput();
  run.err = QString::fromLocal8Bit(process.readAllStandardError());
  return run;
}

QString Preset(const char* name) {
  return QStringLiteral(GAITPANEL_PRESETS "/%1.json").arg(QLatin1String(name));
}

QJsonObject Result(const QStringList& arguments) {
  const Run run = Simulate(arguments);
  if (run.exitCode != 0) qWarning("%s", qPrintable(run.err));
  return QJsonDocument::fromJson(run.out).object();
}

// The preset with every module's phase negated: the wave runs the other way.
QString Reversed(const QString& preset, const QTemporaryDir& dir) {
  QFile in(preset);
  in.open(QIODevice::ReadOnly);
  QJsonObject gait = QJsonDocument::fromJson(in.readAll()).object();
  QJsonArray modules = gait.value(QStringLiteral("modules")).toArray();
  for (auto&& m : modules) {
    QJsonObject module = m.toObject();
    module.insert(QStringLiteral("phase"), -module.value(QStringLiteral("phase")).toDouble());
    m = module;
  }
  gait.insert(QStringLiteral("modules"), modules);
  const QString path = dir.filePath(QFileInfo(preset).fileName());
  QFile out(path);
  out.open(QIODevice::WriteOnly);
  out.write(QJsonDocument(gait).toJson());
  return path;
}

}  // namespace

class SimulateTest : public QObject {
  Q_OBJECT
 private slots:
  void presetsDoWhatTheirNotesSay();
  void printsTheSameBytesForTheSameInput();
  void refusesWhatItCannotUse();
  void tellsWhatReachesEachServo();
  void behavioursMoveAsTheirNotesSayAndScriptsSteer();
};

void SimulateTest::presetsDoWhatTheirNotesSay() {
  QTemporaryDir dir;
  const QStringList sixSeconds{QStringLiteral("--seconds"), QStringLiteral("6")};

  const QJsonObject snake = Result(QStringList{Preset("lateral-undulation")} + sixSeconds);
  const QJsonObject backwards = Result(QStringList{Reversed(Preset("lateral-undulation"), dir)} + sixSeconds);
  QVERIFY2(snake.value(QStringLiteral("forward_m")).toDouble() > 0.5, "head first");
  QVERIFY2(backwards.value(QStringLiteral("forward_m")).toDouble() < -0.5, "tail first");

  const QJsonObject left = Result(QStringList{Preset("turn-left")} + sixSeconds);
  const QJsonObject right = Result(QStringList{Preset("turn-right")} + sixSeconds);
  QVERIFY(left.value(QStringLiteral("heading_change_deg")).toDouble() > 20);
  QVERIFY(right.value(QStringLiteral("heading_change_deg")).toDouble() < -20);

  const QStringList caterpillar{QStringLiteral("--robot"), QStringLiteral("caterpillar")};
  const QJsonObject crawl = Result(QStringList{Preset("caterpillar")} + caterpillar + sixSeconds);
  const QJsonObject back = Result(QStringList{Reversed(Preset("caterpillar"), dir)} + caterpillar + sixSeconds);
  QVERIFY2(crawl.value(QStringLiteral("forward_m")).toDouble() > 0.1, "head first along its axis");
  QVERIFY(std::abs(crawl.value(QStringLiteral("lateral_m")).toDouble()) < 0.01);
  QVERIFY2(back.value(QStringLiteral("forward_m")).toDouble() < 0, "the phase step reversed, so is the crawl");

  // The pitch-yaw snake: sidewinding carries it across its axis more than
  // along it, rolling rolls it over sideways (the notes say which side).
  const QStringList pitchYaw{QStringLiteral("--robot"), QStringLiteral("pitch-yaw")};
  // Sidewinding goes to its right on either line, nearly square to its
  // axis and hardly turning, at least 0.15 body lengths a period.
  const QStringList idealLine{QStringLiteral("--line"), QStringLiteral("ideal")};
  for (const QStringList& line : {QStringList{}, idealLine}) {
    const QJsonObject side = Result(QStringList{Preset("sidewinding")} + pitchYaw + sixSeconds + line);
    const double across = side.value(QStringLiteral("lateral_m")).toDouble();
    const double along = side.value(QStringLiteral("forward_m")).toDouble();
    QVERIFY2(across < -0.3, qPrintable(QString::number(across)));
    QVERIFY2(-across > 3 * std::abs(along), qPrintable(QStringLiteral("%1 across, %2 along").arg(across).arg(along)));
    if (line.isEmpty()) continue;
    const double seconds = side.value(QStringLiteral("seconds")).toDouble();
    const double steady = side.value(QStringLiteral("steady_speed_m_s")).toDouble() *
                          side.value(QStringLiteral("period_s")).toDouble() /
                          side.value(QStringLiteral("body_length_m")).toDouble();
    QVERIFY2(steady >= 0.15, qPrintable(QString::number(steady)));
    QVERIFY2(std::atan2(-across, std::abs(along)) * 180 / 3.14159265358979323846 >= 70, qPrintable(QStringLiteral("%1 across, %2 along").arg(across).arg(along)));
    const double turn = side.value(QStringLiteral("heading_change_deg")).toDouble() / seconds;
    QVERIFY2(std::abs(turn) < 3, qPrintable(QString::number(turn)));
  }
  const QJsonObject roll = Result(QStringList{Preset("rolling"), QStringLiteral("--line"), QStringLiteral("ideal")} +
                                  pitchYaw + sixSeconds);
  QVERIFY2(roll.value(QStringLiteral("lateral_m")).toDouble() < -0.3, "to its right");
  QVERIFY(-roll.value(QStringLiteral("lateral_m")).toDouble() > 3 * std::abs(roll.value(QStringLiteral("forward_m")).toDouble()));
  QVERIFY2(roll.value(QStringLiteral("roll_deg")).toDouble() > 3 * 360, "over to its right, turn after turn");

  // A preset run on a robot it was not written for runs, with a warning
  // naming the robot it was for; one for any robot runs without.
  const Run other = Simulate({Preset("sidewinding"), QStringLiteral("--seconds"), QStringLiteral("1")});
  QCOMPARE(other.exitCode, 0);
  QVERIFY2(other.err.contains(QStringLiteral("warning")) && other.err.contains(QStringLiteral("pitch-yaw")),
           qPrintable(other.err));
  const Run any = Simulate(QStringList{Preset("standing"), QStringLiteral("--seconds"), QStringLiteral("1")} + pitchYaw);
  QCOMPARE(any.exitCode, 0);
  QVERIFY2(any.err.isEmpty(), qPrintable(any.err));
  const Run meant = Simulate(QStringList{Preset("rolling"), QStringLiteral("--seconds"), QStringLiteral("1")} + pitchYaw);
  QVERIFY2(meant.err.isEmpty(), qPrintable(meant.err));

  const QJsonObject standing = Result({Preset("standing"), QStringLiteral("--seconds"), QStringLiteral("10")});
  QVERIFY(standing.value(QStringLiteral("distance_m")).toDouble() < 0.001);
}

void SimulateTest::printsTheSameBytesForTheSameInput() {
  const QStringList arguments{Preset("lateral-undulation"), QStringLiteral("--seconds"), QStringLiteral("2"),
                              QStringLiteral("--line"), QStringLiteral("9600")};
  const Run first = Simulate(arguments);
  const Run second = Simulate(arguments);
  QCOMPARE(first.exitCode, 0);
  QCOMPARE(first.out, second.out);
  const QJsonObject result = QJsonDocument::fromJson(first.out).object();
  for (const char* field : {"seconds", "distance_m", "speed_m_s", "body_lengths_per_period", "heading_change_deg"})
    QVERIFY2(result.value(QLatin1String(field)).isDouble(), field);
  const QJsonArray path = result.value(QStringLiteral("path")).toArray();
  QCOMPARE(path.size(), 5);  // 0, 0.5, 1, 1.5 and 2 s
  QCOMPARE(path.at(4).toArray().at(0).toDouble(), 2.0);
  const QJsonArray channels = result.value(QStringLiteral("channels")).toArray();
  QCOMPARE(channels.size(), 8);
  QVERIFY(channels.at(7).toObject().value(QStringLiteral("positions_per_s")).toDouble() > 5);
  // Two seconds are the soft start's period and one more: too few for
  // figures of the servos, which are then not given.
  for (const auto& c : channels) {
    QVERIFY(c.toObject().value(QStringLiteral("peak_tracking_error_deg")).isNull());
    QVERIFY(c.toObject().value(QStringLiteral("torque_limited_share")).isNull());
  }
  for (const char* field : {"steady_speed_m_s", "roll_deg", "soft_start_s"})
    QVERIFY2(result.value(QLatin1String(field)).isDouble(), field);
  QCOMPARE(result.value(QStringLiteral("soft_start_s")).toDouble(), 1.0);
  // What the servos managed: a gait well within them tracks within a few
  // gait ticks' worth of angle and seldom needs all their torque.
  const QJsonObject longer = Result({Preset("lateral-undulation"), QStringLiteral("--seconds"), QStringLiteral("3")});
  for (const auto& c : longer.value(QStringLiteral("channels")).toArray()) {
    const QJsonObject channel = c.toObject();
    const double error = channel.value(QStringLiteral("peak_tracking_error_deg")).toDouble(-1);
    const double limited = channel.value(QStringLiteral("torque_limited_share")).toDouble(-1);
    QVERIFY2(error > 0 && error < 30, qPrintable(QString::number(error)));
    QVERIFY2(limited >= 0 && limited < 0.5, qPrintable(QString::number(limited)));
  }
}

void SimulateTest::refusesWhatItCannotUse() {
  QTemporaryDir dir;
  const Run missing = Simulate({dir.filePath(QStringLiteral("none.json"))});
  QCOMPARE(missing.exitCode, 2);
  QVERIFY2(missing.err.contains(QStringLiteral("none.json")), qPrintable(missing.err));
  QVERIFY(missing.out.isEmpty());

  const QString model = dir.filePath(QStringLiteral("robot.xml"));
  QFile file(model);
  QVERIFY(file.open(QIODevice::WriteOnly));
  file.write("<mujoco><worldbody><body name=\"b\"><geom type=\"unknown\"/></body></worldbody></mujoco>");
  file.close();
  const Run badModel = Simulate({Preset("standing"), QStringLiteral("--robot"), model});
  QCOMPARE(badModel.exitCode, 2);
  QVERIFY2(badModel.err.contains(model + QStringLiteral(": ")), qPrintable(badModel.err));

  // A model that touches the floor through its geoms' own friction has no
  // along and across for --floor to set: refused, and runs without it.
  const QString plain = dir.filePath(QStringLiteral("plain.xml"));
  QFile plainFile(plain);
  QVERIFY(plainFile.open(QIODevice::WriteOnly));
  plainFile.write("<mujoco><worldbody><geom type=\"plane\" size=\"1 1 1\"/><body name=\"head\" pos=\"0 0 0.03\">"
                  "<freejoint/><geom type=\"box\" size=\".04 .02 .02\" mass=\".1\"/><body name=\"module1\" "
                  "pos=\"-.08 0 0\"><joint name=\"joint1\" axis=\"0 0 1\"/><geom type=\"box\" size=\".04 .02 .02\" "
                  "mass=\".1\"/></body></body></worldbody><actuator><position name=\"servo1\" joint=\"joint1\" "
                  "kp=\"5\"/></actuator></mujoco>");
  plainFile.close();
  const QStringList onPlain{Preset("standing"), QStringLiteral("--robot"), plain, QStringLiteral("--seconds"), QStringLiteral("1")};
  const Run floored = Simulate(onPlain + QStringList{QStringLiteral("--floor"), QStringLiteral("0.1,1")});
  QCOMPARE(floored.exitCode, 2);
  QVERIFY2(floored.err.contains(QStringLiteral("contact pair")), qPrintable(floored.err));
  QVERIFY(floored.out.isEmpty());
  QCOMPARE(Simulate(onPlain).exitCode, 0);

  for (const QStringList& wrong : {QStringList{Preset("standing"), QStringLiteral("--line"), QStringLiteral("4800")},
                                   QStringList{Preset("standing"), QStringLiteral("--seconds"), QStringLiteral("-1")},
                                   QStringList{Preset("standing"), QStringLiteral("--seconds"), QStringLiteral("nan")}}) {
    const Run run = Simulate(wrong);
    QVERIFY2(run.exitCode == 2 && !run.err.isEmpty(), qPrintable(wrong.join(QLatin1Char(' '))));
  }
}

// Each channel's positions and steps a gait period, a warning when a servo
// that swings gets too few, and the summary beside the unchanged JSON.
void SimulateTest::tellsWhatReachesEachServo() {
  QTemporaryDir dir;
  // Lateral undulation at a 20 ms tick: eight modules share the line's 87
  // positions a second, about 4.4 each a 0.4 s period; module 4 does not
  // swing, so it is no cause for a warning.
  QFile in(Preset("lateral-undulation"));
  QVERIFY(in.open(QIODevice::ReadOnly));
  QJsonObject gait = QJsonDocument::fromJson(in.readAll()).object();
  gait.insert(QStringLiteral("interval_ms"), 20);
  QJsonArray modules = gait.value(QStringLiteral("modules")).toArray();
  QJsonObject still = modules.at(3).toObject();
  still.insert(QStringLiteral("amplitude"), 5);
  modules.replace(3, still);
  gait.insert(QStringLiteral("modules"), modules);
  const QString fast = dir.filePath(QStringLiteral("fast.json"));
  QFile out(fast);
  QVERIFY(out.open(QIODevice::WriteOnly));
  out.write(QJsonDocument(gait).toJson());
  out.close();

  const QStringList twoSeconds{QStringLiteral("--seconds"), QStringLiteral("2")};
  const Run coarse = Simulate(QStringList{fast} + twoSeconds);
  QCOMPARE(coarse.exitCode, 0);
  QCOMPARE(coarse.err.count(QLatin1Char('\n')), 1);
  QVERIFY2(coarse.err.contains(QStringLiteral("warning: channels 0, 1, 2, 4, 5, 6 and 7 get as few as ")) &&
               coarse.err.contains(QStringLiteral("an interval of 37 ms or more gives 8")),
           qPrintable(coarse.err));
  for (const auto& c : QJsonDocument::fromJson(coarse.out).object().value(QStringLiteral("channels")).toArray()) {
    const double perPeriod = c.toObject().value(QStringLiteral("positions_per_period")).toDouble(-1);
    QVERIFY2(perPeriod > 3.5 && perPeriod < 4.5, qPrintable(QString::number(perPeriod)));
    QCOMPARE(c.toObject().value(QStringLiteral("steps_per_period")).toDouble(-1), perPeriod);
  }
  // Every position arrives on an ideal line: no warning.
  const Run ideal = Simulate(QStringList{fast, QStringLiteral("--line"), QStringLiteral("ideal")} + twoSeconds);
  QVERIFY2(ideal.exitCode == 0 && ideal.err.isEmpty(), qPrintable(ideal.err));

  // The preset: over 10 positions a period for each servo.
  const QStringList arguments = QStringList{Preset("lateral-undulation")} + twoSeconds;
  const Run plain = Simulate(arguments);
  const Run summary = Simulate(arguments + QStringList{QStringLiteral("--summary")});
  QCOMPARE(plain.exitCode, 0);
  QVERIFY2(plain.err.isEmpty(), qPrintable(plain.err));
  QCOMPARE(summary.exitCode, 0);
  QCOMPARE(summary.out, plain.out);
  const QJsonObject result = QJsonDocument::fromJson(plain.out).object();
  QStringList positions;
  for (const auto& c : result.value(QStringLiteral("channels")).toArray()) {
    const double perPeriod = c.toObject().value(QStringLiteral("positions_per_period")).toDouble(-1);
    QVERIFY2(perPeriod > 10 && perPeriod < 11.5, qPrintable(QString::number(perPeriod)));
    positions << QString::number(perPeriod, 'f', 1);
  }

  // The table: a few lines for a person, the figures of the JSON.
  const QStringList lines = summary.err.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
  QVERIFY2(lines.size() <= 10, qPrintable(summary.err));
  const auto line = [&](const QString& start) {
    for (const QString& l : lines)
      if (l.startsWith(start)) return l.mid(start.size()).simplified();
    return QStringLiteral("(missing)");
  };
  QCOMPARE(line(QStringLiteral("Speed:")),
           QString::number(result.value(QStringLiteral("speed_m_s")).toDouble(), 'f', 3) + QStringLiteral(" m/s"));
  QCOMPARE(line(QStringLiteral("Channel")), QStringLiteral("0 1 2 3 4 5 6 7"));
  QCOMPARE(line(QStringLiteral("Positions a period")), positions.join(QLatin1Char(' ')));
}

void SimulateTest::behavioursMoveAsTheirNotesSayAndScriptsSteer() {
  const QString behaviours = QStringLiteral(GAITPANEL_PRESETS "/../behaviours/");
  // Crawl 5 s, turn left 4 s, crawl 4 s: it runs once through, each step
  // starting at its time, and ends up well to the left of where it set off.
  const QJsonObject snake = Result({behaviours + QStringLiteral("snake-crawl-turn-crawl.json")});
  QCOMPARE(snake.value(QStringLiteral("seconds")).toDouble(), 13.0);
  const QJsonArray steps = snake.value(QStringLiteral("steps")).toArray();
  QCOMPARE(steps.size(), 3);
  const double starts[] = {0, 5, 9};
  for (int i = 0; i < 3; ++i) {
    QCOMPARE(steps[i].toObject().value(QStringLiteral("step")).toInt(), i + 1);
    QCOMPARE(steps[i].toObject().value(QStringLiteral("start_s")).toDouble(), starts[i]);
  }
  QVERIFY(snake.value(QStringLiteral("forward_m")).toDouble() > 0.5);
  QVERIFY(snake.value(QStringLiteral("lateral_m")).toDouble() > 0.5);
  QVERIFY(snake.value(QStringLiteral("heading_change_deg")).toDouble() > 45);

  // Out for 6 s and back for 6 s: at the turn it is furthest out, and it
  // comes back most of the way.
  const QJsonObject cat = Result({behaviours + QStringLiteral("caterpillar-forward-back.json"), QStringLiteral("--robot"),
                                  QStringLiteral("caterpillar")});
  double out = 0;
  for (const QJsonValue p : cat.value(QStringLiteral("path")).toArray())
    if (p.toArray()[0].toDouble() == 6.0) out = p.toArray()[1].toDouble();
  QVERIFY2(out > 0.4, qPrintable(QString::number(out)));
  QVERIFY(cat.value(QStringLiteral("forward_m")).toDouble() < 0.3 * out);

  // A script full back runs the crawl tail first; one that cannot be used
  // is refused before anything runs.
  QTemporaryDir dir;
  const auto script = [&](const char* text) {
    const QString path = dir.filePath(QStringLiteral("drive.json"));
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(text);
    return path;
  };
  const QJsonObject back = Result({Preset("lateral-undulation"), QStringLiteral("--seconds"), QStringLiteral("4"),
                                   QStringLiteral("--drive-script"), script("[[0, -1, 0, 1]]")});
  QVERIFY(back.value(QStringLiteral("forward_m")).toDouble() < -0.3);
  const Run bad = Simulate({Preset("lateral-undulation"), QStringLiteral("--drive-script"), script("[[0, 2, 0, 1]]")});
  QCOMPARE(bad.exitCode, 2);
  QVERIFY2(bad.err.contains(QStringLiteral("drive.json: [0][1] (speed): 2 is outside -1 to 1")), qPrintable(bad.err));
  QVERIFY(bad.out.isEmpty());
}

QTEST_GUILESS_MAIN(SimulateTest)
#include "simulate_test.moc"
