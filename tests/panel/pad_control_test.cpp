// A gamepad steering the panel on a pseudo-terminal line, with SDL's virtual
// pad: the status line names it, A moves (Drive on, standing), the stick
// steers, and a pad pulled out or a handle let go presses "Pause" ("SF" on
// the line) and says why; while a box is open the pad does not start the
// robot; the hold-to-drive setting is remembered.

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <memory>

#include "gamepad/sdl_pads.h"
#include "panel/drive_control.h"
#include "panel/gait_control.h"
#include "panel/form2.h"
#include "panel/pad_control.h"
#include "panel/port_memory.h"
#include "tests/support/panel_on_pty.h"
#include "tests/support/virtual_pad.h"

using gp::testing::VirtualPad;

class PadControlTest : public QObject {
  Q_OBJECT
  std::unique_ptr<gp::testing::PanelOnPty> rig_;

  gp::Form2& form() { return rig_->form(); }
  QString statusText() { return form().findChild<QLabel*>(QStringLiteral("StatusLine"))->text(); }
  QString message() { return form().statusBar()->currentMessage(); }
  QPushButton* button(const char* name) { return form().findChild<QPushButton*>(QString::fromLatin1(name)); }

 private slots:
  void init() {
    rig_ = std::make_unique<gp::testing::PanelOnPty>();
    QVERIFY(rig_->ok());
    QVERIFY(rig_->showActive());
    QVERIFY(form().padControl().available());
    for (int n = 1; n <= 8; ++n) form().findChild<QCheckBox*>(QStringLiteral("Check%1").arg(n))->click();
  }
  void cleanup() { rig_.reset(); }

  void padMovesSteersAndPausesWhenPulledOut() {
    auto pad = std::make_unique<VirtualPad>("Test pad");
    QVERIFY2(pad->ok(), VirtualPad::Error().c_str());
    QTRY_VERIFY2(statusText().contains(QStringLiteral("Gamepad: Test pad")), qPrintable(statusText()));
    QVERIFY(!form().driveControl().driving());

    pad->Button(SDL_CONTROLLER_BUTTON_RIGHTSHOULDER, true);
    pad->Button(SDL_CONTROLLER_BUTTON_A, true);
    QTRY_VERIFY(gp::IsTrue(form().state().Running));
    QVERIFY(form().driveControl().driving());
    pad->Axis(SDL_CONTROLLER_AXIS_LEFTY, -32768);
    pad->Axis(SDL_CONTROLLER_AXIS_TRIGGERRIGHT, 32767);
    QTRY_VERIFY2(statusText().contains(QStringLiteral("Drive: speed 100%, straight, amplitude 100%")),
                 qPrintable(statusText()));
    rig_->wire().ReadUntilQuiet(50, 300);

    pad->Unplug();
    QTRY_VERIFY(!gp::IsTrue(form().state().Running));
    QVERIFY(!button("Command8")->isEnabled());  // as a click of "Pause" leaves it
    QVERIFY2(message().contains(QStringLiteral("unplugged")), qPrintable(message()));
    QVERIFY(rig_->wire().ReadUntilTail("SF\r").endsWith("SF\r"));
    QTRY_VERIFY(!statusText().contains(QStringLiteral("Gamepad:")));
  }

  void lettingGoOfTheHandlePausesAndABoxHoldsBackMove() {
    VirtualPad pad;
    QVERIFY(pad.ok());
    QTRY_VERIFY(statusText().contains(QStringLiteral("Gamepad:")));
    pad.Button(SDL_CONTROLLER_BUTTON_RIGHTSHOULDER, true);
    pad.Button(SDL_CONTROLLER_BUTTON_A, true);
    QTRY_VERIFY(gp::IsTrue(form().state().Running));
    pad.Button(SDL_CONTROLLER_BUTTON_A, false);
    pad.Button(SDL_CONTROLLER_BUTTON_RIGHTSHOULDER, false);
    QTRY_VERIFY(!gp::IsTrue(form().state().Running));
    QVERIFY2(message().contains(QStringLiteral("let go")), qPrintable(message()));

    // A box is open: A waits for it (the timers run inside its loop), B still pauses.
    bool running = true;
    QTimer::singleShot(0, &form(), [&] {
      pad.Button(SDL_CONTROLLER_BUTTON_RIGHTSHOULDER, true);
      pad.Button(SDL_CONTROLLER_BUTTON_A, true);
      QTest::qWait(200);
      running = gp::IsTrue(form().state().Running);
      QApplication::activeModalWidget()->close();
    });
    QMessageBox box(QMessageBox::Information, QStringLiteral("t"), QStringLiteral("t"), QMessageBox::Ok, &form());
    box.exec();
    QVERIFY(!running);
    QVERIFY2(message().contains(QStringLiteral("dialog is open")), qPrintable(message()));
  }

  void withoutSdlThePanelSaysSoAndTheKeysStillDrive() {
    gp::SdlPads::FailNextStartForTesting("no joystick support");
    gp::Form2& again = rig_->reopen();
    QVERIFY(gp::testing::ShowActive(&again));
    QVERIFY(!again.padControl().available());
    QCOMPARE(again.statusBar()->currentMessage(), QStringLiteral("Gamepads cannot be used: no joystick support."));
    again.driveControl().setDriving(true);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Up);
    QCOMPARE(again.driver().live().asked().speed, 0.2);
  }

  void holdToDriveIsASettingRemembered() {
    QVERIFY(form().padControl().holdToDrive());  // on by default
    QMenu* menu = form().gaitControl().menu();
    emit menu->aboutToShow();
    auto* hold = menu->findChild<QAction*>(QStringLiteral("HoldToDrive"));
    QVERIFY(hold);
    QVERIFY(hold->isChecked());
    hold->trigger();
    QVERIFY(!form().padControl().holdToDrive());
    gp::Form2& again = rig_->reopen();
    QVERIFY(!again.padControl().holdToDrive());
    again.padControl().setHoldToDrive(true);
  }
};

QTEST_MAIN(PadControlTest)
#include "pad_control_test.moc"
