#include "link/serial_link.h"

#include <QFile>
#include <QMetaObject>
#include <QSerialPort>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <deque>
#include <thread>

#include "link/output_queue.h"
#include "link/port_watch.h"

#ifdef Q_OS_UNIX
#include <poll.h>
#include <unistd.h>
#endif

namespace gp {
namespace {

using namespace std::chrono_literals;

constexpr int kCountersIntervalMs = 100;
constexpr int kWatchIntervalMs = 100;  // how often what the device holds is looked at
constexpr auto kCloseSleepMax = std::chrono::milliseconds(20);

QString CarryOn() {
  return QStringLiteral(
      "The panel carries on without the robot, and opens the device again by itself when it is back.");
}

QString CarryOnWithoutReturn() {
  return QStringLiteral(
      "The panel carries on without the robot. A pseudo-terminal does not come back: choose the device again.");
}

}  // namespace

struct SerialLink::Impl {
  explicit Impl(SerialLink* owner) : q(owner), pumpTimer(owner), countersTimer(owner), watch(owner) {
    pumpTimer.setSingleShot(true);
    pumpTimer.setTimerType(Qt::PreciseTimer);
    countersTimer.setSingleShot(true);
    countersTimer.setInterval(kCountersIntervalMs);
    watchTimer.setInterval(kWatchIntervalMs);
  }

  SerialLink* q;
  QSerialPort* port = nullptr;  // child of the link
  TransmitQueue queue{line::kBaudRate};
  QTimer pumpTimer;      // wakes the queue when the line is ready for more
  QTimer countersTimer;  // coalesces countersChanged
  State state = State::NotOpened;
  QByteArray requested;  // the name the device was asked for, watched while lost
  QString device;        // the same, for people
  QString opened;        // the device node Qt opened
  PortProblem problem;
  QString note;
  PortWatch watch;
  QString reason;  // why the port is not open, for the status line
  QString lastError;
  std::uint64_t droppedOffline = 0;
  std::uint64_t refusedByPort = 0;  // taken from the queue, but the port's write failed
  std::uint64_t refusedBytes = 0;
  HandOverObserver observer;
  QueueProbe probe;        // a test's device, instead of asking the driver
  QTimer watchTimer;       // looks at what the device holds while open
  bool reports = false;    // the device reports its output queue
  bool readsEverything = false;  // the device opened is everythingReader
  QString everythingReader;
  // What was handed to the port since Open(), and of it what the device is
  // seen to have passed on: the end of each command not yet confirmed, in
  // bytes handed over.
  std::uint64_t handedBytes = 0;
  std::uint64_t handedCommands = 0;
  std::uint64_t takenBytes = 0;
  std::deque<std::uint64_t> unconfirmedEnds;
  TransmitQueue::Time drainedAt{};  // when the device last took bytes, or held none
  bool isStalled = false;
  qint64 lastStallSecond = -1;

  void setState(State s) {
    if (state == s) return;
    state = s;
    emit q->stateChanged(s);
  }

  void countersDirty() {
    if (!countersTimer.isActive()) countersTimer.start();
  }

  // Bytes handed to the port that have not gone yet: Qt's own buffer and,
  // where the driver tells, the kernel's output queue (a pseudo-terminal
  // reports 0 there; a UART or USB adapter reports its real backlog).
  std::size_t portBacklog() const {
    auto bytes = static_cast<std::size_t>(std::max<qint64>(0, port->bytesToWrite()));
    if (reports) bytes += deviceQueue().value_or(0);
    return bytes;
  }

  std::optional<std::size_t> deviceQueue() const {
    return probe ? probe() : OutputQueueBytes(port->handle());
  }

  // Fresh from Open() or a reopening: nothing handed over, nothing stalled.
  void startWatching() {
    reports = static_cast<bool>(probe) || OutputQueueBytes(port->handle()).has_value();
    readsEverything = !everythingReader.isEmpty() && device == everythingReader;
    handedBytes = handedCommands = takenBytes = 0;
    unconfirmedEnds.clear();
    drainedAt = Now();
    isStalled = false;
    lastStallSecond = -1;
    watchTimer.start();
  }

  // Confirms what has left the device; returns what it still holds.
  std::size_t look() {
    const std::size_t held = std::min<std::uint64_t>(portBacklog(), handedBytes);
    const std::uint64_t taken = handedBytes - held;
    const auto now = Now();
    if (taken > takenBytes || held == 0) drainedAt = now;
    takenBytes = std::max(takenBytes, taken);
    while (!unconfirmedEnds.empty() && unconfirmedEnds.front() <= takenBytes) unconfirmedEnds.pop_front();
    return held;
  }

  // A stall is told once, and its end once; while it lasts the status line
  // counts its seconds.
  void watchLine() {
    if (state != State::Open || !reports) return;
    look();
    const auto now = Now();
    const qint64 standing = std::chrono::duration_cast<std::chrono::milliseconds>(now - drainedAt).count();
    if (!isStalled && standing > kStallMs) {
      isStalled = true;
      emit q->lineStalled(true, standing);
    } else if (isStalled && standing <= kStallMs) {
      isStalled = false;
      const qint64 stood = std::chrono::duration_cast<std::chrono::milliseconds>(now - stallBegan).count();
      lastStallSecond = -1;
      emit q->lineStalled(false, stood);
      emit q->stateChanged(state);
    }
    if (isStalled) {
      stallBegan = drainedAt;
      if (standing / 1000 != lastStallSecond) {
        lastStallSecond = standing / 1000;
        emit q->stateChanged(state);
      }
    }
  }
  TransmitQueue::Time stallBegan{};

  // Hands the port every command the line is ready for, then sleeps until the
  // line will be ready for the next one.
  void pump() {
    while (state == State::Open) {
      const auto now = Now();
      const auto due = queue.NextDue(now);
      if (!due || *due > now) break;
      auto entry = queue.Take(now, portBacklog());
      if (!entry) break;
      const std::string& bytes = entry->command.bytes;
      const auto size = static_cast<qint64>(bytes.size());
      if (port->write(bytes.data(), size) != size) {
        // The queue counted it as handed over; it was not, so it counts as
        // dropped instead of sent.
        ++refusedByPort;
        refusedBytes += bytes.size();
        ++droppedOffline;
        lose(port->errorString());
        return;
      }
      handedBytes += bytes.size();
      ++handedCommands;
      unconfirmedEnds.push_back(handedBytes);
      if (observer) observer(entry->command, entry->queuedAt, now);
      emit q->commandHandedOver(QByteArray::fromStdString(bytes), static_cast<qint64>(now.count()));
      countersDirty();
    }
    schedule();
  }

  void schedule() {
    const auto now = Now();
    const auto due = state == State::Open ? queue.NextDue(now) : std::nullopt;
    if (!due) {
      pumpTimer.stop();
      return;
    }
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(*due - now);
    pumpTimer.start(static_cast<int>(std::max<std::chrono::milliseconds::rep>(0, wait.count())));
  }

  void dropQueued() {
    droppedOffline += queue.Clear().size();
    countersDirty();
  }

  void reportLater(const QString& message) {
    // Queued, so a slot that opens a modal box never runs inside the port's
    // own notification or inside the caller's Open().
    QMetaObject::invokeMethod(
        q, [link = q, message] { emit link->failure(message); }, Qt::QueuedConnection);
  }

  void onError(QSerialPort::SerialPortError error) {
    // Timeouts come only from the bounded waits of Close().
    if (error == QSerialPort::NoError || error == QSerialPort::TimeoutError) return;
    if (state != State::Open) return;
    lose(LossReason());
  }

  QString LossReason() const {
#ifdef Q_OS_UNIX
    // A hung-up terminal (adapter gone, other end of a pseudo-terminal
    // closed) reads as end of file, and Qt then reports a stale errno.
    pollfd pfd{port->handle(), POLLIN | POLLOUT, 0};
    if (::poll(&pfd, 1, 0) == 1 && (pfd.revents & (POLLHUP | POLLERR)))
      return QStringLiteral("the device hung up (disconnected)");
#endif
    return port->errorString();
  }

  // A pseudo-terminal opened by its own path never comes back: the number,
  // once free, goes to the next terminal opened anywhere on the machine (a
  // shell's, another program's line), which must not be taken over and
  // written to. Behind a name of its own (a link) it may: whoever made the
  // link points it at the new one.
  bool comesBack() const {
    return !(opened.startsWith(QLatin1String("/dev/pts/")) && QFile::encodeName(opened) == requested);
  }

  // The port is gone while running: one message, then offline. The port is
  // closed from the event loop: this may run inside its own notification,
  // which would otherwise fire again at once (a hung-up terminal stays
  // readable for ever).
  void lose(const QString& why) {
    if (state != State::Open) return;
    reason = why;
    watchTimer.stop();
    isStalled = false;
    const bool back = comesBack();
    lastError = QStringLiteral("The serial port %1 was lost: %2. %3")
                    .arg(device, why, back ? CarryOn() : CarryOnWithoutReturn());
    pumpTimer.stop();
    dropQueued();
    setState(State::Lost);
    if (back) watch.watch(requested);
    // Unless Open() has meanwhile closed this port and opened it afresh.
    QMetaObject::invokeMethod(
        port, [this] { if (state != State::Open) port->close(); }, Qt::QueuedConnection);
    reportLater(lastError);
  }

  void fail(PortProblem why) {
    problem = std::move(why);
    reason = problem.reason;
    lastError = QStringLiteral("Cannot open the serial port %1: %2").arg(device, problem.text());
    if (port) port->clearError();
    setState(State::OpenFailed);
  }

  // The lost device is back under its name: open it again, quietly; while
  // it cannot be opened yet (permissions not yet set, say) keep watching.
  void reopen() {
    if (state != State::Lost) {
      watch.stop();
      return;
    }
    const PortTarget target = PreparePort(requested);
    if (!target.problem.ok()) return;
    if (port->isOpen()) port->close();
    port->setPortName(target.portName);
    if (!port->open(QIODevice::ReadWrite)) {
      port->clearError();
      return;
    }
    watch.stop();
    opened = target.portName;
    reason.clear();
    note = QStringLiteral("reopened by itself after it came back");
    queue.Clear();  // nothing from before the loss is sent: the gait goes on from where it is
    startWatching();
    setState(State::Open);
    emit q->reopened();
  }
};

TransmitQueue::Time SerialLink::Now() {
  return std::chrono::duration_cast<TransmitQueue::Time>(
      std::chrono::steady_clock::now().time_since_epoch());
}

QString SerialLink::DefaultPortName() {
#ifdef Q_OS_WIN
  return QStringLiteral("COM1");
#else
  return QStringLiteral("/dev/ttyS0");
#endif
}

SerialLink::SerialLink(QObject* parent) : QObject(parent), d_(std::make_unique<Impl>(this)) {
  connect(&d_->pumpTimer, &QTimer::timeout, this, [this] { d_->pump(); });
  connect(&d_->watch, &PortWatch::present, this, [this] { d_->reopen(); });
  connect(&d_->countersTimer, &QTimer::timeout, this, &SerialLink::countersChanged);
  connect(&d_->watchTimer, &QTimer::timeout, this, [this] { d_->watchLine(); });
}

SerialLink::~SerialLink() {
  Close();
  // The port goes before the state its signals reach.
  delete d_->port;
  d_->port = nullptr;
}

bool SerialLink::Open(const QString& name) {
  const QByteArray device = QFile::encodeName(name);
  if (d_->state == State::Open) Close();
  Impl& d = *d_;
  if (!d.port) {
    d.port = new QSerialPort(this);
    connect(d.port, &QSerialPort::errorOccurred, this,
            [this](QSerialPort::SerialPortError e) { d_->onError(e); });
    // The controller sends nothing the panel uses; what arrives is
    // discarded. The port is still opened for reading so that a hang-up is
    // noticed even while nothing is being written.
    connect(d.port, &QSerialPort::readyRead, this, [this] { d_->port->readAll(); });
  }
  QSerialPort& port = *d.port;
  if (port.isOpen()) port.close();  // lost, its close still pending
  d.watch.stop();
  d.requested = device;
  d.device = DisplayPath(device);
  d.opened.clear();
  d.note.clear();
  d.problem = {};
  const PortTarget target = PreparePort(device);

  // The set-up: the device, the read buffer, "9600,n,8,1", then the open.
  // Qt has no transmit buffer size (the transmit queue holds what waits) and
  // no read length (nothing is read); the settings take effect at the open,
  // so their order among themselves does not matter.
  port.setPortName(target.portName);
  port.setReadBufferSize(kBufferSize);
  port.setBaudRate(line::kBaudRate);
  port.setParity(QSerialPort::NoParity);
  port.setDataBits(QSerialPort::Data8);
  port.setStopBits(QSerialPort::OneStop);
  port.setFlowControl(QSerialPort::NoFlowControl);

  d.queue.Clear();
  if (!target.problem.ok()) {
    d.fail(target.problem);
    return false;
  }
  if (!port.open(QIODevice::ReadWrite)) {
    d.fail(ExplainOpenFailure(device, target.portName, port.error(), port.errorString()));
    return false;
  }
  d.opened = target.portName;
  d.reason.clear();
  d.startWatching();
  d.setState(State::Open);
  return true;
}

void SerialLink::Write(ServoCommand command) {
  Impl& d = *d_;
  if (d.state != State::Open) {
    ++d.droppedOffline;
    d.countersDirty();
    return;
  }
  d.queue.Push(std::move(command), Now());
  d.countersDirty();
  d.pump();
}

void SerialLink::DropQueuedPositions() {
  if (d_->queue.DropPositions() > 0) d_->countersDirty();
}

bool SerialLink::Close() {
  Impl& d = *d_;
  d.watch.stop();
  d.note.clear();
  if (d.state != State::Open) {
    // Lost or never opened: nothing may be sent any more.
    if (d.port && d.port->isOpen()) d.port->close();
    return true;
  }
  // Wait for the queue, Qt's buffer, the kernel's and the line itself to
  // have carried everything (so the last command really is the last thing on
  // the line), for at most kCloseDrainMs. Events are not processed meanwhile:
  // nothing else may be written between the last command and the close.
  const auto deadline = Now() + std::chrono::milliseconds(kCloseDrainMs);
  while (d.state == State::Open) {
    d.pump();
    if (d.state != State::Open) break;
    const auto now = Now();
    if (d.queue.empty() && d.portBacklog() == 0 && d.queue.LineIdle(now)) break;
    if (now >= deadline) break;
    // Above zero, as now is before the deadline.
    const TransmitQueue::Time left = std::min<TransmitQueue::Time>(deadline - now, kCloseSleepMax);
    if (d.port->bytesToWrite() > 0) {
      d.port->waitForBytesWritten(static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(left).count()));
      continue;
    }
    // At least a millisecond, so as not to spin, but never past the deadline.
    const auto until = d.queue.NextDue(now).value_or(d.queue.LineIdleAt());
    std::this_thread::sleep_for(std::min(std::max<TransmitQueue::Time>(until - now, 1ms), left));
  }
  d.pumpTimer.stop();
  d.watchTimer.stop();
  d.isStalled = false;
  const bool drained = d.state == State::Open && d.queue.empty() && d.look() == 0;
  d.dropQueued();  // only what closing had no time left for
  if (d.port->isOpen()) {
    d.port->flush();  // what was handed over goes to the driver, not away
    d.port->close();
  }
  if (d.state == State::Open) d.setState(State::Closed);
  return drained;
}

SerialLink::State SerialLink::state() const { return d_->state; }

QString SerialLink::deviceName() const { return d_->device; }

QString SerialLink::statusText() const {
  const Impl& d = *d_;
  switch (d.state) {
    case State::NotOpened:
      return QStringLiteral("Serial port not opened");
    case State::Open: {
      QString text = d.device;
      if (!d.opened.isEmpty() && d.opened != d.device) text += QStringLiteral(" (%1)").arg(d.opened);
      text += QLatin1Char(' ') + QString::fromLatin1(line::kSettingsText);
      if (!d.note.isEmpty()) text += QStringLiteral(", ") + d.note;
      if (stalled()) {
        text += QStringLiteral("; ") + lineNote();
      } else if (!confirmsDelivery()) {
        text += QStringLiteral(", which cannot report what it still holds");
      }
      return text;
    }
    case State::OpenFailed:
      return QStringLiteral("%1 not open: %2").arg(d.device, d.reason);
    case State::Lost:
      return QStringLiteral("%1 lost: %2").arg(d.device, d.reason);
    case State::Closed:
      return QStringLiteral("%1 closed").arg(d.device);
  }
  return {};
}

QString SerialLink::lastError() const { return d_->lastError; }


PortProblem SerialLink::openProblem() const { return d_->problem; }

void SerialLink::setStatusNote(const QString& note) {
  d_->note = note;
  emit stateChanged(d_->state);
}

LinkCounters SerialLink::counters() const {
  LinkCounters c;
  static_cast<TransmitQueue::Counters&>(c) = d_->queue.counters();
  c.sent -= d_->refusedByPort;
  c.bytesSent -= d_->refusedBytes;
  c.droppedOffline = d_->droppedOffline;
  return c;
}

std::size_t SerialLink::queuedCommands() const { return d_->queue.size(); }


bool SerialLink::reportsQueue() const { return d_->reports; }

void SerialLink::setDeviceThatReadsEverything(const QString& device) { d_->everythingReader = device; }

bool SerialLink::confirmsDelivery() const { return d_->reports || d_->readsEverything; }

std::uint64_t SerialLink::unconfirmedCommands() const {
  if (d_->readsEverything) return 0;
  if (!d_->reports) return d_->handedCommands;
  if (d_->state == State::Open) d_->look();
  return d_->unconfirmedEnds.size();
}

bool SerialLink::stalled() const { return d_->state == State::Open && d_->isStalled; }

qint64 SerialLink::stalledForMs() const {
  if (!stalled()) return 0;
  return std::chrono::duration_cast<std::chrono::milliseconds>(Now() - d_->stallBegan).count();
}

QString SerialLink::lineNote() const {
  if (d_->state != State::Open) return {};
  if (stalled())
    return QStringLiteral("Line stalled: the controller is not taking commands (%1 s)").arg(stalledForMs() / 1000);
  if (!confirmsDelivery()) return QStringLiteral("%1 cannot report what it still holds").arg(d_->device);
  return {};
}

void SerialLink::setQueueProbe(QueueProbe probe) { d_->probe = std::move(probe); }

void SerialLink::setHandOverObserver(HandOverObserver observer) { d_->observer = std::move(observer); }

}  // namespace gp
