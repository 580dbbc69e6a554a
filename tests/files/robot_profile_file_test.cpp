// Robot profile files: the shipped example opens, and each kind of fault is
// refused whole, naming the file, the field and the reason.

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

#include "files/robot_profile.h"
#include "tests/files/scratch_file.h"

namespace {

QJsonObject ValidDocument() {
  QJsonArray modules;
  for (int i = 0; i < 8; ++i) modules.append(QJsonObject{{"min", -40}, {"max", 40}, {"trim", 0}, {"reversed", false}});
  return QJsonObject{{"format", "gaitpanel-robot"}, {"version", 1}, {"name", "Bench"}, {"modules", modules}};
}

QJsonObject WithModule(int index, const QJsonObject& changes) {
  QJsonObject doc = ValidDocument();
  QJsonArray modules = doc["modules"].toArray();
  QJsonObject m = modules[index].toObject();
  for (auto it = changes.begin(); it != changes.end(); ++it) m[it.key()] = it.value();
  modules[index] = m;
  doc["modules"] = modules;
  return doc;
}

}  // namespace

class RobotProfileFileTest : public QObject {
  Q_OBJECT
 private slots:
  void theExampleOpens() {
    const QDir dir(gp::files::RobotProfileFolders().first());
    gp::RobotProfile profile;
    QString error;
    QVERIFY2(gp::files::ReadRobotProfile(dir.filePath(QStringLiteral("desk-snake.json")), &profile, &error),
             qPrintable(error));
    QCOMPARE(profile.name, std::string("Desk snake"));
    QCOMPARE(profile.softStartS, 2.0);
    QVERIFY(profile.module(4).reversed);
    QCOMPARE(profile.module(6).trim, 5.0);
    QCOMPARE(profile.module(1).maxSpeedDegS.value_or(0), 240.0);
    QVERIFY(!profile.module(2).maxSpeedDegS);
    QVERIFY(QFile::exists(dir.filePath(QStringLiteral("robot.schema.json"))));
  }

  void faultsAreRefusedWholeAndNamed_data() {
    QTest::addColumn<QJsonObject>("doc");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("reason");
    QTest::newRow("min above max") << WithModule(2, {{"min", 30}, {"max", 10}}) << "modules[2].min" << "above its max";
    QTest::newRow("limit past 90") << WithModule(0, {{"max", 95}}) << "modules[0].max" << "outside -90 to 90";
    QTest::newRow("trim past 90") << WithModule(5, {{"max", 80}, {"trim", 15}}) << "modules[5].trim" << "past -90 to 90";
    QTest::newRow("reversed trim past 90") << WithModule(1, {{"min", -85}, {"reversed", true}, {"trim", 10}})
                                           << "modules[1].trim" << "95";
    QTest::newRow("speed not above 0") << WithModule(7, {{"max_speed_deg_s", 0}}) << "modules[7].max_speed_deg_s"
                                       << "above 0";
    QTest::newRow("missing reversed") << [] {
      QJsonObject doc = ValidDocument();
      QJsonArray modules = doc["modules"].toArray();
      QJsonObject m = modules[3].toObject();
      m.remove("reversed");
      modules[3] = m;
      doc["modules"] = modules;
      return doc;
    }() << "modules[3].reversed" << "missing";
    QJsonObject soft = ValidDocument();
    soft["soft_start_s"] = 12;
    QTest::newRow("soft start too long") << soft << "soft_start_s" << "0 to 10";
    QJsonObject seven = ValidDocument();
    QJsonArray modules = seven["modules"].toArray();
    modules.removeLast();
    seven["modules"] = modules;
    QTest::newRow("seven modules") << seven << "modules" << "exactly 8";
    QJsonObject gait = ValidDocument();
    gait["format"] = "gaitpanel-gait";
    QTest::newRow("a gait file") << gait << "format" << "gaitpanel-robot";
    QJsonObject unknown = ValidDocument();
    unknown["speed"] = 3;
    QTest::newRow("unknown field") << unknown << "speed" << "unknown field";
  }

  void faultsAreRefusedWholeAndNamed() {
    QFETCH(QJsonObject, doc);
    QFETCH(QString, field);
    QFETCH(QString, reason);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("bot.json"));
    gp::testing::WriteRaw(path, QJsonDocument(doc).toJson());
    gp::RobotProfile profile;
    profile.name = "untouched";
    QString error;
    QVERIFY(!gp::files::ReadRobotProfile(path, &profile, &error));
    QVERIFY2(error.startsWith(QDir::toNativeSeparators(path) + QStringLiteral(": ") + field + QStringLiteral(": ")),
             qPrintable(error));
    QVERIFY2(error.contains(reason), qPrintable(error));
    QCOMPARE(profile.name, std::string("untouched"));
  }
};

QTEST_GUILESS_MAIN(RobotProfileFileTest)
#include "robot_profile_file_test.moc"
