// The welcome window: its controls, its pictures, and the hand-over to the
// control panel by timer and by "Enter", once, with the panel's start-up
// done before the panel is shown.

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenuBar>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QtTest>
#include <memory>
#include <utility>

#include "welcome/form_init.h"


#include "ui/message_box.h"
#include "panel/form2.h"
#include "tests/support/pty_pair.h"
#include "tests/support/critical_boxes.h"

using gp::FormInit;

namespace {

// A stand-in for the control panel that notes when it is shown.
class FakePanel : public QWidget {
 public:
  explicit FakePanel(QStringList* log) : log_(log) { resize(200, 100); }

 protected:
  void showEvent(QShowEvent* event) override {
    log_->append(QStringLiteral("panel shown"));
    QWidget::showEvent(event);
  }

 private:
  QStringList* log_;
};

// Counts the factory's calls and keeps the panels it made.
struct PanelMaker {
  QStringList log;
  int calls = 0;
  std::vector<std::unique_ptr<FakePanel>> panels;
  std::function<void()> duringStartUp;  // what happens while the panel starts

  FormInit::PanelFactory factory() {
    return [this]() -> QWidget* {
      ++calls;
      log.append(QStringLiteral("start-up"));
      if (duringStartUp) duringStartUp();
      panels.push_back(std::make_unique<FakePanel>(&log));
      return panels.back().get();
    };
  }
};

template <typename T>
T* Child(QWidget* form, const char* name) {
  T* child = form->findChild<T*>(QString::fromLatin1(name));
  if (child == nullptr) qWarning("no child %s", name);
  return child;
}

QPointer<FormInit> ShownForm(PanelMaker& maker) {
  QPointer<FormInit> form = new FormInit(maker.factory());
  QObject::connect(form, &QObject::destroyed, [&maker] { maker.log.append(QStringLiteral("welcome gone")); });
  form->show();
  form->activateWindow();
  if (!QTest::qWaitForWindowActive(form)) qWarning("welcome window not active");
  return form;
}

// A PNG file's bit depth and colour type, from its header.
std::pair<int, int> PngDepth(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return {-1, -1};
  const QByteArray head = file.read(26);
  if (head.size() < 26 || !head.startsWith("\x89PNG") || head.mid(12, 4) != "IHDR") return {-1, -1};
  return {static_cast<unsigned char>(head[24]), static_cast<unsigned char>(head[25])};
}

void DeleteLater() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

}  // namespace

class FormInitTest : public QObject {
  Q_OBJECT

 private slots:
  void controlsAreWhereTheyBelong();
  void picturesHaveTheirSizesAndDepths();
  void focusStartsOnEnterAndFollowsItsOrder();
  void handsOverThreeSecondsAfterLoading();
  void enterHandsOverAtOnceAndOnlyOnce_data();
  void enterHandsOverAtOnceAndOnlyOnce();
  void noSecondHandOverWhileThePanelStarts();
  void pickingAPasswordShowsItsPosition();
  void whateverIsTypedTheHandOverIsTheSame();
  void savesAScreenshot();
  void realPanelOpensItsPortBeforeItIsShown();
};

void FormInitTest::controlsAreWhereTheyBelong() {
  PanelMaker maker;
  FormInit form(maker.factory());
  form.setAttribute(Qt::WA_DeleteOnClose, false);
  QCOMPARE(form.windowTitle(), QStringLiteral("Korvel Module Robot Project"));
  QCOMPARE(form.size(), QSize(847, 628));
  QVERIFY(form.findChild<QMenuBar*>() == nullptr);

  const struct {
    const char* name;
    QRect geometry;
  } places[] = {
      {"Image3", {0, 0, 342, 257}},         {"Image2", {344, 0, 335, 252}},
      {"Label_intro", {8, 256, 681, 65}},   {"Image1", {8, 320, 313, 257}},
      {"Label1", {456, 352, 177, 17}},      {"Text_ComboBox", {456, 376, 177, 33}},
      {"Label2", {456, 424, 137, 25}},      {"Command_Enter", {456, 496, 177, 33}},
      {"Label_credit", {8, 552, 785, 73}},
  };
  for (const auto& place : places) {
    auto* widget = Child<QWidget>(&form, place.name);
    QVERIFY2(widget != nullptr, place.name);
    QCOMPARE(widget->geometry(), place.geometry);
  }
  auto* combo = Child<QComboBox>(&form, "Combo1");
  QVERIFY(combo != nullptr);
  QCOMPARE(combo->pos(), QPoint(456, 448));
  QCOMPARE(combo->width(), 177);

  QCOMPARE(Child<QLabel>(&form, "Label1")->text(), QStringLiteral("User name:"));
  QCOMPARE(Child<QLabel>(&form, "Label2")->text(), QStringLiteral("Password:"));
  QCOMPARE(Child<QLineEdit>(&form, "Text_ComboBox")->text(), QStringLiteral(" "));
  auto* enter = Child<QPushButton>(&form, "Command_Enter");
  QCOMPARE(enter->text(), QStringLiteral("Enter"));
  QCOMPARE(enter->font().family(), QStringLiteral("MS Sans Serif"));
  QCOMPARE(enter->font().pointSizeF(), 13.5);

  QVERIFY(combo->isEditable());
  QCOMPARE(combo->insertPolicy(), QComboBox::NoInsert);
  QCOMPARE(combo->currentText(), QStringLiteral("11111"));
  QCOMPARE(combo->count(), 5);
  const QStringList items = {"11111", "22222", "33333", "44444", "55555"};
  for (int i = 0; i < 5; ++i) {
    QCOMPARE(combo->itemText(i), items[i]);
    QCOMPARE(combo->itemData(i).toInt(), i);
  }

  for (const char* name : {"Label_intro", "Label_credit"}) {
    auto* label = Child<QLabel>(&form, name);
    QCOMPARE(label->palette().color(QPalette::WindowText), QColor(192, 0, 0));
    QVERIFY(!label->autoFillBackground());  // the window's own background shows through
    QVERIFY(label->wordWrap());
    // Our own words fit their boxes.
    QVERIFY2(label->heightForWidth(label->width()) <= label->height(), name);
  }

  auto* timer = form.findChild<QTimer*>(QStringLiteral("Timer1"));
  QVERIFY(timer != nullptr);
  QCOMPARE(timer->interval(), 3000);
  QVERIFY(timer->isActive());
}

void FormInitTest::picturesHaveTheirSizesAndDepths() {
  // As shipped: two true-colour pictures and one of 256 colours.
  const QImage snake(QStringLiteral(":/welcome/snake.png"));
  const QImage caterpillar(QStringLiteral(":/welcome/caterpillar.png"));
  const QImage module(QStringLiteral(":/welcome/module.png"));
  QCOMPARE(snake.size(), QSize(342, 257));
  QCOMPARE(caterpillar.size(), QSize(335, 252));
  QCOMPARE(module.size(), QSize(911, 868));
  // The depth as stored: 8 bits a sample, RGB (24-bit) or palette (256 colours).
  QCOMPARE(PngDepth(QStringLiteral(":/welcome/snake.png")), std::make_pair(8, 2));
  QCOMPARE(PngDepth(QStringLiteral(":/welcome/caterpillar.png")), std::make_pair(8, 2));
  QCOMPARE(PngDepth(QStringLiteral(":/welcome/module.png")), std::make_pair(8, 3));
  QCOMPARE(module.format(), QImage::Format_Indexed8);
  QVERIFY(module.colorCount() > 128 && module.colorCount() <= 256);
  for (const QImage* picture : {&snake, &caterpillar, &module}) {
    // Real drawings, not flat fills: many colours, a range of brightness.
    QSet<QRgb> colours;
    int darkest = 255, brightest = 0;
    for (int y = 0; y < picture->height(); y += 3)
      for (int x = 0; x < picture->width(); x += 3) {
        const QRgb c = picture->pixel(x, y);
        colours.insert(c);
        darkest = std::min(darkest, qGray(c));
        brightest = std::max(brightest, qGray(c));
      }
    QVERIFY(colours.size() > 100);
    QVERIFY(brightest - darkest > 150);
  }

  // As shown: two at their own size, the third stretched into its box.
  PanelMaker maker;
  FormInit form(maker.factory());
  form.setAttribute(Qt::WA_DeleteOnClose, false);
  auto* image3 = Child<QLabel>(&form, "Image3");
  auto* image2 = Child<QLabel>(&form, "Image2");
  auto* image1 = Child<QLabel>(&form, "Image1");
  QCOMPARE(image3->pixmap().size(), QSize(342, 257));
  QVERIFY(!image3->hasScaledContents());
  QCOMPARE(image2->pixmap().size(), QSize(335, 252));
  QVERIFY(!image2->hasScaledContents());
  QCOMPARE(image1->pixmap().size(), QSize(911, 868));
  QVERIFY(image1->hasScaledContents());
  QCOMPARE(image1->size(), QSize(313, 257));
}

void FormInitTest::focusStartsOnEnterAndFollowsItsOrder() {
  PanelMaker maker;
  QPointer<FormInit> form = ShownForm(maker);
  auto* enter = Child<QPushButton>(form, "Command_Enter");
  auto* combo = Child<QComboBox>(form, "Combo1");
  auto* user = Child<QLineEdit>(form, "Text_ComboBox");
  QCOMPARE(QApplication::focusWidget(), enter);
  const auto focused = [] {
    QWidget* w = QApplication::focusWidget();
    // The combo box's text field takes the focus for it.
    return w != nullptr && qobject_cast<QComboBox*>(w->parentWidget()) ? w->parentWidget() : w;
  };
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  QCOMPARE(focused(), combo);
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  QCOMPARE(focused(), user);
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  QCOMPARE(focused(), enter);
  QCOMPARE(maker.calls, 0);
  delete form;
}

void FormInitTest::handsOverThreeSecondsAfterLoading() {
  PanelMaker maker;
  QElapsedTimer clock;
  qint64 handedOverAt = -1;
  maker.duringStartUp = [&] { handedOverAt = clock.elapsed(); };
  clock.start();
  QPointer<FormInit> form = ShownForm(maker);
  // A busy machine may deliver the tick late, never early; that the timer is
  // set to exactly 3000 ms is checked with the controls.
  QTRY_COMPARE_WITH_TIMEOUT(maker.calls, 1, 15000);
  QVERIFY2(handedOverAt >= 3000, qPrintable(QString::number(handedOverAt)));
  DeleteLater();
  QVERIFY(form.isNull());
  QVERIFY(maker.panels.front()->isVisible());
  QCOMPARE(maker.log, QStringList({"start-up", "panel shown", "welcome gone"}));
}

void FormInitTest::enterHandsOverAtOnceAndOnlyOnce_data() {
  QTest::addColumn<QString>("how");
  QTest::newRow("mouse") << "mouse";
  QTest::newRow("return key") << "return";
  QTest::newRow("keypad enter") << "enter";
  QTest::newRow("space bar") << "space";
}

void FormInitTest::enterHandsOverAtOnceAndOnlyOnce() {
  QFETCH(QString, how);
  PanelMaker maker;
  QPointer<FormInit> form = ShownForm(maker);
  auto* enter = Child<QPushButton>(form, "Command_Enter");
  QPointer<QTimer> timer = form->findChild<QTimer*>(QStringLiteral("Timer1"));
  if (how == "mouse")
    QTest::mouseClick(enter, Qt::LeftButton);
  else if (how == "return")
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
  else if (how == "enter")
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Enter, Qt::KeypadModifier);
  else
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
  QCOMPARE(maker.calls, 1);
  QVERIFY(maker.panels.front()->isVisible());
  QVERIFY(maker.panels.front()->parentWidget() == nullptr);
  QVERIFY(!maker.panels.front()->isModal());
  DeleteLater();
  QVERIFY(form.isNull());
  QVERIFY(timer.isNull());
  QCOMPARE(maker.log, QStringList({"start-up", "panel shown", "welcome gone"}));
  // The timer went with the window (checked above), so no second hand-over
  // can follow at the three seconds.
}

void FormInitTest::noSecondHandOverWhileThePanelStarts() {
  // The panel's start-up may hold a modal box open; timer ticks and clicks
  // that arrive meanwhile must not start a second hand-over.
  PanelMaker maker;
  QPointer<FormInit> form = ShownForm(maker);
  auto* enter = Child<QPushButton>(form, "Command_Enter");
  auto* timer = form->findChild<QTimer*>(QStringLiteral("Timer1"));
  timer->setInterval(5);  // so that ticks would fall due inside the box
  timer->start();
  maker.duringStartUp = [&] {
    QEventLoop box;
    QTimer::singleShot(30, enter, [enter] { enter->click(); });
    QTimer::singleShot(120, &box, &QEventLoop::quit);
    box.exec();
  };
  QTest::mouseClick(enter, Qt::LeftButton);
  QTest::qWait(50);
  QCOMPARE(maker.calls, 1);
  QVERIFY(form.isNull());
  QCOMPARE(maker.log, QStringList({"start-up", "panel shown", "welcome gone"}));
}

void FormInitTest::pickingAPasswordShowsItsPosition() {
  PanelMaker maker;
  QPointer<FormInit> form = ShownForm(maker);
  auto* combo = Child<QComboBox>(form, "Combo1");
  auto* label1 = Child<QLabel>(form, "Label1");
  auto* user = Child<QLineEdit>(form, "Text_ComboBox");

  // With the arrow keys.
  combo->setFocus();
  QTest::keyClick(combo, Qt::Key_Down);
  QTest::keyClick(combo, Qt::Key_Down);
  QCOMPARE(combo->currentText(), QStringLiteral("33333"));
  QCOMPARE(label1->text(), QStringLiteral("2"));
  QCOMPARE(user->text(), QStringLiteral("2"));

  // With the mouse, from the drop-down list.
  combo->showPopup();
  auto* view = combo->view();
  QTRY_VERIFY(view->isVisible());
  QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(view->model()->index(0, 0)).center());
  QTRY_VERIFY(!view->isVisible());
  QCOMPARE(combo->currentText(), QStringLiteral("11111"));
  QCOMPARE(label1->text(), QStringLiteral("0"));
  QCOMPARE(user->text(), QStringLiteral("0"));
  QCOMPARE(maker.calls, 0);  // picking is not handing over
  delete form;
}

void FormInitTest::whateverIsTypedTheHandOverIsTheSame() {
  PanelMaker maker;
  QPointer<FormInit> form = ShownForm(maker);
  auto* user = Child<QLineEdit>(form, "Text_ComboBox");
  auto* combo = Child<QComboBox>(form, "Combo1");
  auto* label1 = Child<QLabel>(form, "Label1");
  user->clear();
  QTest::keyClicks(user, QStringLiteral("Ops & <co> 42"));
  combo->lineEdit()->selectAll();
  QTest::keyClicks(combo->lineEdit(), QStringLiteral("98765"));
  // Enter in the password field neither adds to the list nor hands over.
  QTest::keyClick(combo->lineEdit(), Qt::Key_Return);
  QCOMPARE(combo->count(), 5);
  QCOMPARE(combo->currentText(), QStringLiteral("98765"));
  QCOMPARE(label1->text(), QStringLiteral("User name:"));
  // Typing a list entry's own text picks nothing, on Enter or on leaving the field.
  combo->lineEdit()->selectAll();
  QTest::keyClicks(combo->lineEdit(), QStringLiteral("33333"));
  QTest::keyClick(combo->lineEdit(), Qt::Key_Return);
  user->setFocus();
  // Nor is the start of one completed from the list.
  combo->setFocus();
  combo->lineEdit()->selectAll();
  QTest::keyClicks(combo->lineEdit(), QStringLiteral("222"));
  QTest::keyClick(combo->lineEdit(), Qt::Key_Return);
  QCOMPARE(combo->currentText(), QStringLiteral("222"));
  user->setFocus();
  QCOMPARE(combo->count(), 5);
  QCOMPARE(label1->text(), QStringLiteral("User name:"));
  QCOMPARE(user->text(), QStringLiteral("Ops & <co> 42"));
  QCOMPARE(maker.calls, 0);
  // "Enter" itself hands over as it always does.
  Child<QPushButton>(form, "Command_Enter")->click();
  QCOMPARE(maker.calls, 1);
  DeleteLater();
  QVERIFY(form.isNull());
  QCOMPARE(maker.log, QStringList({"start-up", "panel shown", "welcome gone"}));
}

void FormInitTest::savesAScreenshot() {
  const QString dir = qEnvironmentVariable("GAITPANEL_SCREENSHOT_DIR", QStringLiteral("screenshots"));
  PanelMaker maker;
  QPointer<FormInit> form = ShownForm(maker);
  QVERIFY(QDir().mkpath(dir));
  const QPixmap shot = form->grab();
  QCOMPARE(shot.size() / shot.devicePixelRatio(), QSize(847, 628));
  QVERIFY(shot.save(QDir(dir).filePath(QStringLiteral("welcome.png"))));
  delete form;
}

namespace {

// Notes whether the panel's port was open at the moment it was shown.
class ShowWatch : public QObject {
 public:
  explicit ShowWatch(gp::Form2* panel) : panel_(panel) { panel->installEventFilter(this); }
  bool shown = false;
  bool openWhenShown = false;
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == panel_ && event->type() == QEvent::Show && !shown) {
      shown = true;
      openWhenShown = panel_->link().isOpen();
    }
    return false;
  }

 private:
  gp::Form2* panel_;
};

}  // namespace

void FormInitTest::realPanelOpensItsPortBeforeItIsShown() {
  gp::testing::PtyPair pty;
  QVERIFY(pty.ok());
  const gp::testing::CriticalBoxes critical;
  const QStringList& boxes = critical.texts;
  std::unique_ptr<gp::Form2> panel;
  std::unique_ptr<ShowWatch> watch;
  int calls = 0;
  QPointer<FormInit> form = new FormInit([&]() -> QWidget* {
    ++calls;
    panel = std::make_unique<gp::Form2>(gp::PanelOptions{pty.slavePath(), QString()});
    watch = std::make_unique<ShowWatch>(panel.get());
    return panel.get();
  });
  form->show();
  QVERIFY(QTest::qWaitForWindowExposed(form));
  Child<QPushButton>(form, "Command_Enter")->click();
  DeleteLater();
  QCOMPARE(calls, 1);
  QVERIFY(form.isNull());
  QVERIFY(watch->shown);
  QVERIFY(watch->openWhenShown);
  QVERIFY(panel->isVisible());
  QVERIFY(boxes.isEmpty());
  watch.reset();
  panel.reset();
}

QTEST_MAIN(FormInitTest)
#include "form_init_test.moc"
