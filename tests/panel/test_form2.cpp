// The control panel driven as an operator drives it: keys, clicks and the
// bytes that reach the serial line.

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QWindow>
#include <QToolButton>
#include <memory>

#include "ui/message_box.h"
#include "panel/form2.h"
#include "tests/support/panel_on_pty.h"

using gp::Form2;

namespace {

struct Shown {
  QString text;
  QString focus;  // the widget holding the focus when the box opened
};

QString FocusName() {
  QWidget* w = QApplication::focusWidget();
  return w ? w->objectName() : QString();
}

}  // namespace

class TestForm2 : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<gp::testing::PtyPair> wire_;
  std::unique_ptr<Form2> form_;
  QList<Shown> shown_;
  std::function<void()> onShown_;
  // A port that fails to open brings up the device list; where a test does
  // not expect it, it is recorded as a message and closed, not waited on.
  QTimer unexpectedDialog_;
  bool dialogExpected_ = false;

  template <typename T>
  T* get(const char* name) {
    T* w = form_->findChild<T*>(QString::fromLatin1(name));
    if (!w) qFatal("no control %s", name);
    return w;
  }
  QLineEdit* box(const char* name) { return get<QLineEdit>(name); }
  QPushButton* button(const char* name) { return get<QPushButton>(name); }

  // Shows the panel and makes it the active window, also on a display
  // without a window manager.
  void showActive() { QVERIFY(gp::testing::ShowActive(form_.get())); }

  void openPanel() {
    form_ = std::make_unique<Form2>(gp::PanelOptions{wire_->slavePath(), QString()});
    showActive();
  }

 private slots:
  void initTestCase() {
    unexpectedDialog_.setInterval(200);
    connect(&unexpectedDialog_, &QTimer::timeout, this, [this] {
      QWidget* dialog = QApplication::activeModalWidget();
      if (dialogExpected_ || !dialog || dialog->objectName() != QLatin1String("PortDialog")) return;
      shown_.append({QStringLiteral("unexpected: ") + dialog->findChild<QLabel*>("PortMessage")->text(), QString()});
      dialog->close();
    });
  }

  void init() {
    shown_.clear();
    onShown_ = nullptr;
    dialogExpected_ = false;
    unexpectedDialog_.start();
    gp::SetCriticalBoxForTesting([this](QWidget*, const QString& text) {
      shown_.append({text, FocusName()});
      if (onShown_) onShown_();
    });
    wire_ = std::make_unique<gp::testing::PtyPair>();
    QVERIFY(wire_->ok());
  }

  void cleanup() {
    form_.reset();
    wire_.reset();
    gp::SetCriticalBoxForTesting(nullptr);
  }

  void openingState() {
    form_ = std::make_unique<Form2>(gp::PanelOptions{wire_->slavePath(), QString()});
    // Start-up state, before any tick has run.
    const gp::GaitState& st = form_->state();
    QCOMPARE(st.StepIndex, 0);
    QCOMPARE(st.Running, 0);
    QCOMPARE(st.WaveFunction, 0);
    for (int n = 1; n <= 8; ++n) {
      QCOMPARE(form_->table().Amp[n], 90);
      QCOMPARE(form_->table().Phase[n], 0.0);
      QCOMPARE(form_->table().InitAngle[n], 0);
    }
    for (int n = 0; n < gp::kTableRows; ++n) QCOMPARE(form_->table().ServoEnabled[n], 0);
    QCOMPARE(form_->table().Amp[9], 0);  // row 9 boxes are not read
    QVERIFY(form_->link().isOpen());
    QVERIFY(form_->driver().timer1().isActive());
    QVERIFY(form_->driver().timer2().isActive());
    QCOMPARE(form_->driver().timer1().interval(), 20);
    QCOMPARE(form_->driver().timer2().interval(), 20);
    QCOMPARE(form_->driver().timer1().timerType(), Qt::PreciseTimer);

    showActive();
    QCOMPARE(FocusName(), QStringLiteral("Command_Exit"));
    QCOMPARE(form_->objectName(), QStringLiteral("Form2"));
    QCOMPARE(form_->windowTitle(), QStringLiteral("Form2"));
    QCOMPARE(form_->centralWidget()->size(), QSize(882, 732));

    for (int r = 1; r <= 9; ++r) {
      const QString n = QString::number(r);
      auto* amp = form_->findChild<QLineEdit*>("Text_Amp" + n);
      auto* phase = form_->findChild<QLineEdit*>("Text_Phase" + n);
      auto* init = form_->findChild<QLineEdit*>("Text_initangle" + n);
      auto* check = form_->findChild<QCheckBox*>("Check" + n);
      QVERIFY(amp && phase && init && check);
      QCOMPARE(amp->text(), QStringLiteral("90"));
      QCOMPARE(phase->text(), QStringLiteral("0"));
      QCOMPARE(init->text(), QStringLiteral("0"));
      QCOMPARE(check->text(), "Enable" + n);
      QCOMPARE(check->checkState(), Qt::Unchecked);
      QCOMPARE(form_->findChild<QLabel*>("Label_A" + n)->text(), "A" + n + (r == 1 ? ":" : ""));
    }
    // Spot checks of the layout: the last row, the frames, the sketch.
    QCOMPARE(box("Text_initangle9")->geometry(), QRect(304, 368, 33, 25));
    QCOMPARE(get<QCheckBox>("Check9")->geometry(), QRect(360, 368, 89, 25));
    QCOMPARE(get<QGroupBox>("Frame2")->geometry(), QRect(464, 40, 409, 473));
    QCOMPARE(get<QGroupBox>("Frame1")->geometry(), QRect(16, 520, 865, 137));
    QCOMPARE(get<QWidget>("Line3")->geometry(), QRect(8, 360, 433, 1));
    QCOMPARE(get<QWidget>("Line_M7")->geometry(), QRect(136, 120, 41, 1));
    QCOMPARE(get<QWidget>("Line_M7")->parentWidget()->objectName(), QStringLiteral("Frame2"));
    QCOMPARE(get<QLabel>("Label_Functions")->text(), QStringLiteral("Control Functions:"));
    // Controls inside a frame keep the default font, not the caption's.
    QCOMPARE(get<QGroupBox>("Frame1")->font().pointSizeF(), 13.5);
    QCOMPARE(get<QLabel>("Label_Functions")->font().pointSizeF(), 12.0);
    QCOMPARE(get<QLineEdit>("TimerText")->font().pointSizeF(), box("Text_Amp1")->font().pointSizeF());

    auto* combo = get<QComboBox>("Combo_Functions");
    QVERIFY(combo->isEditable());
    QCOMPARE(combo->currentIndex(), -1);
    QCOMPARE(combo->currentText(), QStringLiteral("SinX"));
    QCOMPARE(combo->count(), 3);
    QCOMPARE(combo->itemText(0), QStringLiteral("Y=sinX"));
    QCOMPARE(combo->itemText(1), QStringLiteral("Y=lnX"));
    QCOMPARE(combo->itemText(2), QStringLiteral("Y=eX"));

    auto* scroll = get<QScrollBar>("HScroll_Timer");
    QCOMPARE(scroll->value(), 1);
    QCOMPARE(scroll->minimum(), 1);
    QCOMPARE(scroll->maximum(), 1000);
    QCOMPARE(scroll->singleStep(), 1);
    QCOMPARE(scroll->pageStep(), 10);
    QCOMPARE(box("TimerText")->text(), QStringLiteral("1"));

    for (const char* name : {"Command7", "Command8", "Command9", "Command_EnableAll", "Command_DisableAll"}) {
      QVERIFY(button(name)->isEnabled());
      QCOMPARE(button(name)->parentWidget(), form_->centralWidget());  // over the frame, not in it
      QCOMPARE(button(name)->y(), 608);
    }
    QCOMPARE(button("Command_Exit")->geometry(), QRect(720, 616, 121, 33));

    // Menu bar, left to right, with the items' indices; only Control opens.
    QStringList bar;
    for (QAction* a : form_->menuBar()->actions()) bar << a->objectName() + "=" + a->text() + "#" + a->data().toString();
    QCOMPARE(bar, QStringList({"File=File#1", "Edit=Edit#2", "Simulation=Simulation#3", "Control=Control#4",
                               "Diagram=Diagram#5", "Help=Help#6"}));
    QMenu* control = form_->findChild<QAction*>("Control")->menu();
    QVERIFY(control);
    QStringList sub;
    for (QAction* a : control->actions()) sub << a->objectName() + "=" + a->text() + "#" + a->data().toString();
    QCOMPARE(sub, QStringList({"Caterpillar=Caterpillar#7", "Snake=Snake#8", "Mutillegs=Multilegs#9",
                               "Humanoid=Humanoid #10"}));
    form_->findChild<QAction*>("Snake")->trigger();
    form_->findChild<QAction*>("Help")->trigger();

    const QString status = get<QToolButton>("PortControl")->text();
    QVERIFY2(status.contains(wire_->slavePath()) && status.contains("9600,n,8,1"), qPrintable(status));
    QVERIFY(shown_.isEmpty());
    QCOMPARE(wire_->ReadUntilQuiet(), QByteArray());  // start-up and the menu send nothing
  }

  void screenshot() {
    openPanel();
    const QString dir = qEnvironmentVariable("GAITPANEL_SCREENSHOT_DIR", QDir::tempPath());
    QDir().mkpath(dir);
    QVERIFY(form_->grab().save(dir + "/panel.png"));
  }

  // Qt's line edits follow the change rule the handlers rely on: a new text
  // raises textChanged at once, the same text raises nothing.
  void textChangedRule() {
    openPanel();
    QLineEdit* e = box("Text_Amp9");
    QSignalSpy spy(e, &QLineEdit::textChanged);
    e->setText("90");
    QCOMPARE(spy.count(), 0);
    e->setText("45");
    QCOMPARE(spy.count(), 1);
    QCOMPARE(form_->table().Amp[9], 0);  // row 9 drives nothing
  }

  void amplitudeTypedAndRefused() {
    openPanel();
    QLineEdit* amp = box("Text_Amp1");
    amp->clear();
    QCOMPARE(form_->table().Amp[1], 0);
    QTest::keyClick(amp, Qt::Key_1);
    QCOMPARE(form_->table().Amp[1], 1);
    QTest::keyClick(amp, Qt::Key_2);
    QCOMPARE(form_->table().Amp[1], 12);
    std::int16_t ampAtBox = -1;
    QString textAtBox;
    onShown_ = [&] {
      ampAtBox = form_->table().Amp[1];
      textAtBox = amp->text();
    };
    QTest::keyClick(amp, Qt::Key_0);
    QCOMPARE(shown_.size(), 1);
    QCOMPARE(shown_[0].text, QStringLiteral("Please reenter a smaller data in Amp1"));
    QCOMPARE(shown_[0].focus, QStringLiteral("Text_Amp1"));
    QCOMPARE(ampAtBox, 0);
    QCOMPARE(textAtBox, QString());
    QCOMPARE(amp->text(), QString());
    QCOMPARE(form_->table().Amp[1], 0);
    QCOMPARE(FocusName(), QStringLiteral("Text_Amp1"));
    onShown_ = nullptr;

    // Limits, rounding, and values with no 16-bit form.
    struct Case {
      const char* text;
      int stored;  // -1000: refused
    };
    QLineEdit* amp5 = box("Text_Amp5");
    for (const Case& c : {Case{"-90", -90}, Case{"90.5", 90}, Case{"12abc", 12}, Case{"-", 0}, Case{"91", -1000},
                          Case{"-91", -1000}, Case{"90.6", -1000}, Case{"40000", -1000}, Case{"-32768", -1000},
                          Case{"1e300", -1000}}) {
      shown_.clear();
      amp5->setText(QString::fromLatin1(c.text));
      const bool refused = c.stored == -1000;
      QCOMPARE(shown_.size(), refused ? 1 : 0);
      QCOMPARE(form_->table().Amp[5], refused ? 0 : c.stored);
      QCOMPARE(amp5->text(), refused ? QString() : QString::fromLatin1(c.text));
      if (refused) QCOMPARE(shown_[0].text, QStringLiteral("Please reenter a smaller data in Amp5"));
    }
  }

  void phaseAndInitialAngle() {
    openPanel();
    QLineEdit* init = box("Text_initangle3");
    QLineEdit* phase = box("Text_Phase3");
    struct Case {
      const char* text;
      int init;
      double phase;
    };
    for (const Case& c : {Case{"44.5", 44, 44.5}, Case{"-45.25", -45, -45.25}, Case{"abc", 0, 0},
                          Case{"99999", 32767, 99999}, Case{"-1e9", -32768, -1e9}}) {
      init->setText(QString::fromLatin1(c.text));
      phase->setText(QString::fromLatin1(c.text));
      QCOMPARE(form_->table().InitAngle[3], c.init);
      QCOMPARE(form_->table().Phase[3], c.phase);
    }
    QVERIFY(shown_.isEmpty());
    QCOMPARE(form_->table().InitAngle[2], 0);
  }

  void timerIntervalTyped() {
    openPanel();
    QLineEdit* text = box("TimerText");
    auto* scroll = get<QScrollBar>("HScroll_Timer");
    QTimer& t1 = form_->driver().timer1();
    text->setFocus();
    QTest::keyClick(text, Qt::Key_End);

    QTest::keyClick(text, Qt::Key_5);
    QCOMPARE(t1.interval(), 15);
    QCOMPARE(scroll->value(), 15);
    QTest::keyClick(text, Qt::Key_0);
    QCOMPARE(t1.interval(), 150);
    QString textAtBox;
    int intervalAtBox = 0;
    onShown_ = [&] {
      textAtBox = text->text();
      intervalAtBox = t1.interval();
    };
    QTest::keyClick(text, Qt::Key_0);
    QCOMPARE(shown_.size(), 1);
    QCOMPARE(shown_[0].text, QStringLiteral("The timer should be between 1--1000"));
    QCOMPARE(textAtBox, QStringLiteral("1"));  // reset before the message
    QCOMPARE(intervalAtBox, 1);
    QCOMPARE(text->text(), QStringLiteral("1"));
    QCOMPARE(scroll->value(), 1);
    QCOMPARE(t1.interval(), 1);
    QCOMPARE(FocusName(), QStringLiteral("TimerText"));
    onShown_ = nullptr;
    shown_.clear();

    // "1" then 2 . 6: the fraction is rounded and written back as a whole number.
    QTest::keyClick(text, Qt::Key_End);
    QTest::keyClicks(text, "2.6");
    QCOMPARE(text->text(), QStringLiteral("13"));
    QCOMPARE(scroll->value(), 13);
    QCOMPARE(t1.interval(), 13);
    QVERIFY(shown_.isEmpty());

    text->setText("1");
    QTest::keyClick(text, Qt::Key_End);
    QTest::keyClicks(text, "000");
    QCOMPARE(t1.interval(), 1000);
    QCOMPARE(scroll->value(), 1000);
    QVERIFY(shown_.isEmpty());

    // Emptied with the scroll bar at 5: reset to 1. At 1: the text stays empty.
    text->setText("5");
    text->clear();
    QCOMPARE(shown_.size(), 1);
    QCOMPARE(text->text(), QStringLiteral("1"));
    QCOMPARE(t1.interval(), 1);
    text->setText("7");
    text->setText("1");
    t1.setInterval(33);
    text->setText("1");
    shown_.clear();
    text->clear();
    QCOMPARE(shown_.size(), 1);
    QCOMPARE(text->text(), QString());
    QCOMPARE(t1.interval(), 33);

    // Above 0 but rounding to 0 ms is refused too.
    text->setText("9");
    shown_.clear();
    text->setText("0.4");
    QCOMPARE(shown_.size(), 1);
    QCOMPARE(t1.interval(), 1);
    QCOMPARE(scroll->value(), 1);
    QCOMPARE(form_->driver().timer2().interval(), 20);
  }

  void timerIntervalFromScrollBar() {
    openPanel();
    QLineEdit* text = box("TimerText");
    auto* scroll = get<QScrollBar>("HScroll_Timer");
    QTimer& t1 = form_->driver().timer1();
    QCOMPARE(scroll->focusPolicy() & Qt::TabFocus, Qt::TabFocus);

    scroll->setValue(250);
    QCOMPARE(text->text(), QStringLiteral("250"));
    QCOMPARE(t1.interval(), 250);
    scroll->triggerAction(QAbstractSlider::SliderPageStepAdd);
    QCOMPARE(text->text(), QStringLiteral("260"));
    QCOMPARE(t1.interval(), 260);
    scroll->setFocus();
    QTest::keyClick(scroll, Qt::Key_Right);
    QCOMPARE(t1.interval(), 261);
    QTest::keyClick(scroll, Qt::Key_Left);
    QTest::keyClick(scroll, Qt::Key_Left);
    QCOMPARE(t1.interval(), 259);
    QCOMPARE(text->text(), QStringLiteral("259"));
    QTest::keyClick(scroll, Qt::Key_End);
    QCOMPARE(text->text(), QStringLiteral("1000"));
    QCOMPARE(t1.interval(), 1000);

    // Dragging the thumb changes nothing until it is released.
    scroll->setSliderDown(true);
    scroll->setSliderPosition(500);
    QCOMPARE(t1.interval(), 1000);
    scroll->setSliderDown(false);
    QCOMPARE(text->text(), QStringLiteral("500"));
    QCOMPARE(t1.interval(), 500);
    QVERIFY(shown_.isEmpty());
    QCOMPARE(form_->driver().timer2().interval(), 20);
  }

  void checkBoxesOnTheWire() {
    openPanel();
    auto* c1 = get<QCheckBox>("Check1");
    auto* c8 = get<QCheckBox>("Check8");
    auto* c9 = get<QCheckBox>("Check9");
    QTest::mouseClick(c1, Qt::LeftButton);
    QCOMPARE(form_->table().ServoEnabled[1], -1);
    QCOMPARE(wire_->ReadUntilTail("\r"), QByteArray("SE00\r"));
    QTest::mouseClick(c8, Qt::LeftButton);
    QTest::mouseClick(c8, Qt::LeftButton);
    QCOMPARE(form_->table().ServoEnabled[8], 0);
    QCOMPARE(wire_->ReadUntilTail("SD07\r"), QByteArray("SE07\rSD07\r"));
    c9->setFocus();
    QTest::keyClick(c9, Qt::Key_Space);
    QCOMPARE(form_->table().ServoEnabled[9], -1);
    QCOMPARE(wire_->ReadUntilTail("\r"), QByteArray("SE13\r"));
    QTest::keyClick(c9, Qt::Key_Space);
    QCOMPARE(form_->table().ServoEnabled[9], 0);
    QCOMPARE(wire_->ReadUntilTail("\r"), QByteArray("SD13\r"));
    // A program-made change is no click: it sends nothing.
    c1->setChecked(false);
    QCOMPARE(form_->table().ServoEnabled[1], -1);

    button("Command_EnableAll")->click();
    QCOMPARE(wire_->ReadUntilTail("SC\r"), QByteArray("SO\rSC\r"));
    button("Command_DisableAll")->click();
    QCOMPARE(wire_->ReadUntilTail("\r"), QByteArray("SF\r"));
    QCOMPARE(form_->state().Running, 0);
    QVERIFY(c8->checkState() == Qt::Unchecked);
    QCOMPARE(wire_->ReadUntilQuiet(), QByteArray());
  }

  void gaitStates() {
    openPanel();
    QPushButton* move = button("Command7");
    QPushButton* pause = button("Command8");
    QPushButton* stop = button("Command9");
    auto enabled = [&] {
      return QString("%1%2%3").arg(move->isEnabled()).arg(pause->isEnabled()).arg(stop->isEnabled());
    };

    QTest::mouseClick(move, Qt::LeftButton);
    QCOMPARE(form_->state().Running, -1);
    QCOMPARE(enabled(), QStringLiteral("111"));
    QCOMPARE(wire_->ReadUntilTail("SC\r"), QByteArray("SO\rSC\r"));
    QCOMPARE(wire_->ReadUntilQuiet(), QByteArray());  // no module enabled: no position follows

    stop->setFocus();
    QTest::mouseClick(pause, Qt::LeftButton);
    QCOMPARE(form_->state().Running, 0);
    QCOMPARE(enabled(), QStringLiteral("101"));
    QCOMPARE(FocusName(), QStringLiteral("Command7"));
    QCOMPARE(wire_->ReadUntilTail("\r"), QByteArray("SF\r"));

    QTest::mouseClick(stop, Qt::LeftButton);
    QCOMPARE(form_->state().Running, 0);
    QCOMPARE(form_->state().StepIndex, 0);
    // The step counter as the next tick leaves it (this slot runs after the gait's).
    int afterNextTick = -1;
    const QMetaObject::Connection watch = connect(&form_->driver().timer1(), &QTimer::timeout, this, [&] {
      if (afterNextTick < 0) afterNextTick = form_->state().StepIndex;
    });
    QCOMPARE(enabled(), QStringLiteral("110"));
    QCOMPARE(FocusName(), QStringLiteral("Command7"));
    QCOMPARE(wire_->ReadUntilTail("\r"), QByteArray("SF\r"));
    QTRY_VERIFY(afterNextTick >= 0);
    disconnect(watch);
    QCOMPARE(afterNextTick, 1);

    QTest::mouseClick(pause, Qt::LeftButton);  // Pause when stopped
    QCOMPARE(enabled(), QStringLiteral("101"));
    QCOMPARE(wire_->ReadUntilTail("\r"), QByteArray("SF\r"));

    QTest::mouseClick(move, Qt::LeftButton);
    QTest::mouseClick(move, Qt::LeftButton);
    QCOMPARE(enabled(), QStringLiteral("111"));
    QCOMPARE(wire_->ReadUntilTail("SO\rSC\rSO\rSC\r"), QByteArray("SO\rSC\rSO\rSC\r"));
    QVERIFY(shown_.isEmpty());
  }

  void moveWithModulesRunning() {
    openPanel();
    QTest::mouseClick(get<QCheckBox>("Check2"), Qt::LeftButton);
    QTest::mouseClick(get<QCheckBox>("Check5"), Qt::LeftButton);
    QCOMPARE(wire_->ReadUntilTail("SE04\r"), QByteArray("SE01\rSE04\r"));
    QTest::mouseClick(button("Command7"), Qt::LeftButton);
    // Two enables, "SO" and "SC", then at least four positions handed to the line.
    QTRY_VERIFY(form_->link().counters().sent >= 8);
    QTest::mouseClick(button("Command8"), Qt::LeftButton);
    const QByteArray got = wire_->ReadUntilTail("SF\r");
    QVERIFY2(got.startsWith("SO\rSC\rSW0 1"), got.constData());  // SC first, then positions
    QVERIFY(got.endsWith("\r\rSF\r"));
    const QList<QByteArray> parts = got.mid(6, got.size() - 6 - 3).split('\r');
    // Positions only, each followed by two CRs, module 2 (channel 1) before module 5 (channel 4).
    int positions = 0;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
      QVERIFY(parts[i].startsWith("SW0 1") || parts[i].startsWith("SW0 4"));
      QCOMPARE(parts[i].size(), 9);
      QCOMPARE(parts[i + 1], QByteArray());
      ++positions;
    }
    QVERIFY(positions >= 4);
    QCOMPARE(wire_->ReadUntilQuiet(), QByteArray());  // paused: nothing more
  }

  void functionOtherThanSine() {
    openPanel();
    auto* combo = get<QComboBox>("Combo_Functions");
    auto* label = get<QLabel>("Label_Functions");

    // Typing, with Enter or leaving the box, chooses nothing and adds nothing.
    combo->setFocus();
    combo->lineEdit()->selectAll();
    QTest::keyClicks(combo->lineEdit(), "Y=lnX");
    QTest::keyClick(combo->lineEdit(), Qt::Key_Return);
    box("Text_Amp1")->setFocus();
    QCOMPARE(combo->count(), 3);
    QCOMPARE(form_->state().WaveFunction, 0);
    QCOMPARE(label->text(), QStringLiteral("Control Functions:"));

    // The arrow keys pick items: from no selection, Down gives "Y=sinX", then "Y=lnX".
    combo->setFocus();
    QTest::keyClick(combo, Qt::Key_Down);
    QCOMPARE(form_->state().WaveFunction, 0);
    QCOMPARE(label->text(), QStringLiteral("Label_Functions: 0"));
    QTest::keyClick(combo, Qt::Key_Down);
    QCOMPARE(form_->state().WaveFunction, 1);
    QCOMPARE(label->text(), QStringLiteral("Label_Functions: 1"));
    QCOMPARE(combo->count(), 3);

    QTest::mouseClick(get<QCheckBox>("Check1"), Qt::LeftButton);
    QTest::mouseClick(get<QCheckBox>("Check3"), Qt::LeftButton);
    QCOMPARE(wire_->ReadUntilTail("SE02\r"), QByteArray("SE00\rSE02\r"));
    QTest::mouseClick(button("Command7"), Qt::LeftButton);
    QTRY_COMPARE(shown_.size(), 2);
    QCOMPARE(shown_[0].text, QStringLiteral("Error"));
    QCOMPARE(shown_[1].text, QStringLiteral("Error"));
    QCOMPARE(form_->state().Running, 0);
    // Each box is followed by its module's position from the angle never computed: the centre.
    QCOMPARE(wire_->ReadUntilTail("SW0 205DC\r\r"), QByteArray("SO\rSC\rSW0 005DC\r\rSW0 205DC\r\r"));
    QCOMPARE(wire_->ReadUntilQuiet(300), QByteArray());
    QCOMPARE(shown_.size(), 2);
    QCOMPARE(form_->state().WaveFunction, 1);

    // Picking from the drop-down list by mouse.
    combo->showPopup();
    QAbstractItemView* list = combo->view();
    QVERIFY(QTest::qWaitForWindowExposed(list->window()));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(list->model()->index(2, 0)).center());
    QCOMPARE(form_->state().WaveFunction, 2);
    QCOMPARE(label->text(), QStringLiteral("Label_Functions: 2"));
    QCOMPARE(combo->currentText(), QStringLiteral("Y=eX"));
  }

  void tabOrderByKey() {
    openPanel();
    const QStringList expected = {
        "Command_Exit",    "Text_Amp2",       "Text_Phase2",     "Text_Amp3",         "Text_Phase3",
        "Command_EnableAll", "Command_DisableAll", "Command7",   "Command8",          "Command9",
        "Text_Amp1",       "Text_Phase1",     "Check1",          "Check2",            "Check3",
        "Text_initangle1", "Text_initangle2", "Text_initangle3", "Text_Amp4",         "Text_Phase4",
        "Text_initangle4", "Text_initangle5", "Text_initangle6", "Text_initangle7",   "Text_initangle8",
        "Text_Amp5",       "Text_Amp6",       "Text_Amp7",       "Text_Amp8",         "Text_Phase5",
        "Text_Phase6",     "Text_Phase7",     "Text_Phase8",     "Check4",            "Check5",
        "Check6",          "Check7",          "Check8",          "Combo_Functions",   "HScroll_Timer",
        "TimerText",       "Check9",          "Text_Phase9",     "Text_Amp9",         "Text_initangle9",
        "Command_Exit"};
    QStringList walked = {FocusName()};
    for (int i = 1; i < expected.size(); ++i) {
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
      QWidget* w = QApplication::focusWidget();
      // The combo box's text field stands for the combo box.
      if (w && w->parentWidget() && qobject_cast<QComboBox*>(w->parentWidget())) w = w->parentWidget();
      walked << (w ? w->objectName() : QString());
    }
    QCOMPARE(walked, expected);
    QCOMPARE(wire_->ReadUntilQuiet(50), QByteArray());
  }

  // Escape presses "Pause" from every control of the panel. Where a menu, a
  // clicked menu-bar title, a drop-down list or the port list holds it,
  // Escape only closes that: nothing is sent and the focus stays.
  void escapeClosesMenusAndListsBeforeItPauses() {
    openPanel();
    QTest::mouseClick(button("Command7"), Qt::LeftButton);
    QCOMPARE(wire_->ReadUntilTail("SC\r"), QByteArray("SO\rSC\r"));
    // To the window that has the keyboard, as the platform hands a key over.
    auto escape = [this] {
      QWindow* w = QGuiApplication::focusWindow();
      QTest::keyClick(w ? w : form_->windowHandle(), Qt::Key_Escape);
    };
    QMenuBar* bar = form_->menuBar();
    auto clickTitle = [bar](QAction* title) {
      QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(title).center());
    };
    box("Text_Amp1")->setFocus();

    for (const char* name : {"File", "Edit", "Simulation", "Diagram", "Help"}) {
      QAction* title = form_->findChild<QAction*>(name);
      clickTitle(title);
      QCOMPARE(bar->activeAction(), title);
      escape();
      QVERIFY2(form_->state().Running == -1, name);
      QVERIFY2(bar->activeAction() == nullptr, name);  // Escape left the menu bar
    }

    QMenu* control = form_->findChild<QAction*>("Control")->menu();
    clickTitle(control->menuAction());
    QTRY_VERIFY(control->isVisible());
    escape();  // closes the submenu, the title stays highlighted
    QTRY_VERIFY(!control->isVisible());
    escape();  // leaves the menu bar
    QTRY_VERIFY(bar->activeAction() == nullptr);
    QCOMPARE(form_->state().Running, -1);

    auto* combo = get<QComboBox>("Combo_Functions");
    combo->setFocus();
    QTest::keyClick(combo, Qt::Key_F4);
    QTRY_VERIFY(combo->view()->isVisible());
    escape();
    QTRY_VERIFY(!combo->view()->isVisible());
    QCOMPARE(form_->state().WaveFunction, 0);
    QCOMPARE(form_->state().Running, -1);
    box("Text_Amp1")->setFocus();

    QMenu* gaitMenu = get<QToolButton>("GaitButton")->menu();
    bool gaitMenuOpened = false;
    QTimer::singleShot(0, this, [&] {
      QTRY_VERIFY(gaitMenu->isVisible());
      gaitMenuOpened = true;
      escape();
    });
    QTest::mouseClick(get<QToolButton>("GaitButton"), Qt::LeftButton);  // returns once the menu has closed
    QVERIFY(gaitMenuOpened && !gaitMenu->isVisible());
    QCOMPARE(form_->state().Running, -1);

    dialogExpected_ = true;
    QString portList;
    QTimer::singleShot(0, this, [&] {
      QTRY_VERIFY(QApplication::activeModalWidget() != nullptr);
      portList = QApplication::activeModalWidget()->objectName();
      QTest::keyClick(QApplication::activeModalWidget(), Qt::Key_Escape);
    });
    get<QToolButton>("PortControl")->click();  // returns once the list has closed
    QCOMPARE(portList, QStringLiteral("PortDialog"));
    QVERIFY(form_->link().isOpen());

    QCOMPARE(form_->state().Running, -1);
    QCOMPARE(form_->focusWidget()->objectName(), QStringLiteral("Text_Amp1"));
    QCOMPARE(wire_->ReadUntilQuiet(), QByteArray());
    showActive();  // the offscreen platform leaves a closed popup active

    // Outside them, Escape is "Pause" wherever the focus is.
    QList<QWidget*> order = {QApplication::focusWidget()};
    for (QWidget* w = order.first()->nextInFocusChain(); w != order.first(); w = w->nextInFocusChain()) {
      if (w->focusPolicy() & Qt::TabFocus && w->isVisible() && w->isEnabled()) order << w;
    }
    QVERIFY(order.size() >= 44);
    for (QWidget* w : order) {
      QTest::mouseClick(button("Command7"), Qt::LeftButton);
      w->setFocus();
      escape();
      QVERIFY2(form_->state().Running == 0, qPrintable(w->objectName()));
      QCOMPARE(FocusName(), QStringLiteral("Command7"));
      QCOMPARE(wire_->ReadUntilTail("SF\r"), QByteArray("SO\rSC\rSF\r"));
    }
    QVERIFY(shown_.isEmpty());
  }

  void enterAndSpacePressFocusedButton() {
    openPanel();
    QPushButton* off = button("Command_DisableAll");
    off->setFocus();
    QTest::keyClick(off, Qt::Key_Return);
    QTest::keyClick(off, Qt::Key_Enter);
    QTest::keyClick(off, Qt::Key_Space);
    QCOMPARE(wire_->ReadUntilTail("SF\rSF\rSF\r"), QByteArray("SF\rSF\rSF\r"));
  }

  void exitWhileMoving() {
    openPanel();
    QTest::mouseClick(get<QCheckBox>("Check1"), Qt::LeftButton);
    QTest::mouseClick(button("Command7"), Qt::LeftButton);
    QTRY_VERIFY(!form_->table().CommandText[1].empty());  // a position is on its way
    QSignalSpy exited(form_.get(), &Form2::exited);
    button("Command_Exit")->setFocus();
    QTest::keyClick(button("Command_Exit"), Qt::Key_Return);  // Enter on the first focus
    QCOMPARE(exited.count(), 1);
    QVERIFY(!form_->isVisible());
    QCOMPARE(form_->link().state(), gp::SerialLink::State::Closed);
    const QByteArray got = wire_->ReadUntilQuiet(300);
    QVERIFY2(got.startsWith("SE00\rSO\rSC\rSW0 0"), got.constData());
    QVERIFY(got.endsWith("\r\rSF\r"));
  }

  // Closed otherwise than by "Exit" (the frame, the window manager), the
  // panel still switches the servos off and closes the port on its way out.
  void closingOtherwiseEndsAsExitDoes() {
    openPanel();
    QSignalSpy exited(form_.get(), &Form2::exited);
    QVERIFY(form_->close());
    QCOMPARE(exited.count(), 1);
    QVERIFY(!form_->isVisible());
    QCOMPARE(form_->link().state(), gp::SerialLink::State::Closed);
    QCOMPARE(wire_->ReadUntilQuiet(), QByteArray("SF\r"));
    QVERIFY(shown_.isEmpty());
  }

  void statusLineNamesThePort() {
    gp::PanelOptions options{wire_->slavePath(), QStringLiteral("Virtual controller")};
    options.portReadsEverything = true;
    form_ = std::make_unique<Form2>(options);
    auto* status = get<QLabel>("StatusLine");
    auto* port = get<QToolButton>("PortControl");
    QVERIFY2(port->text().startsWith("Virtual controller (" + wire_->slavePath() + ") 9600,n,8,1"),
             qPrintable(port->text()));
    get<QPushButton>("Command_DisableAll")->click();
    get<QPushButton>("Command_DisableAll")->click();
    QTRY_VERIFY2(status->text().contains("Commands sent: 2"), qPrintable(status->text()));
    QCOMPARE(wire_->ReadUntilTail("SF\rSF\r"), QByteArray("SF\rSF\r"));
  }

  void portThatCannotOpen() {
    // The choice of devices comes up; Return continues without the robot.
    dialogExpected_ = true;
    QString offered;
    QTimer::singleShot(0, [&offered] {
      QTRY_VERIFY(QApplication::activeModalWidget() != nullptr);
      auto* dialog = QApplication::activeModalWidget();
      offered = dialog->findChild<QLabel*>("PortMessage")->text();
      QTest::keyClick(dialog, Qt::Key_Return);
    });
    form_ = std::make_unique<Form2>(gp::PanelOptions{QStringLiteral("/dev/no-such-port"), QString()});
    QVERIFY2(offered.startsWith("Cannot open the serial port /dev/no-such-port: there is no such device."),
             qPrintable(offered));
    QCOMPARE(shown_.size(), 0);
    QVERIFY(!form_->link().isOpen());
    QCOMPARE(form_->table().Amp[1], 90);  // the rest of start-up went on
    QVERIFY(form_->driver().timer1().isActive());
    // A command while offline is dropped and counted in the status line.
    form_->findChild<QPushButton*>("Command_DisableAll")->click();
    QTRY_VERIFY(form_->findChild<QLabel*>("StatusLine")->text().contains("Dropped while offline: 1"));
  }
};

QTEST_MAIN(TestForm2)
#include "test_form2.moc"
