// The one handler for SIGINT, SIGTERM and SIGHUP: the first signal is kept,
// a loop sees the flag, the event loop hears it once, and the handlers that
// were there before come back.

#include <QSignalSpy>
#include <QtTest>
#include <csignal>

#include "app/shutdown_signals.h"

namespace {

volatile std::sig_atomic_t g_own = 0;
extern "C" void OwnHandler(int number) { g_own = number; }

}  // namespace

class ShutdownSignalsTest : public QObject {
  Q_OBJECT
 private slots:
  void keepsTheFirstSignalAndPutsTheOldHandlerBack() {
    std::signal(SIGTERM, OwnHandler);
    g_own = 0;
    {
      const gp::SignalCatcher catcher;
      QVERIFY(catcher.installed());
      const gp::SignalCatcher second;
      QVERIFY2(!second.installed(), "one at a time");
      QVERIFY(!catcher.caught());
      std::raise(SIGTERM);
      std::raise(SIGINT);
      QVERIFY(catcher.caught());
      QCOMPARE(catcher.signalNumber(), SIGTERM);
      QCOMPARE(int(g_own), 0);
    }
    std::raise(SIGTERM);
    QCOMPARE(int(g_own), SIGTERM);
    std::signal(SIGTERM, SIG_DFL);
  }

  void theEventLoopHearsItOnce() {
    gp::ShutdownSignals signals_;
    QVERIFY(signals_.installed());
    QSignalSpy requested(&signals_, &gp::ShutdownSignals::requested);
    std::raise(SIGHUP);
    std::raise(SIGINT);
    QTRY_COMPARE(requested.count(), 1);
    QCOMPARE(requested.at(0).at(0).toInt(), SIGHUP);
    // The byte is in the pipe once raise() returns: one pass of the event
    // loop would deliver a second request.
    std::raise(SIGTERM);
    for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
    QCOMPARE(requested.count(), 1);
  }
};

QTEST_GUILESS_MAIN(ShutdownSignalsTest)
#include "shutdown_signals_test.moc"
