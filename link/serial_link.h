#pragma once
// The serial link to the servo controller, over QSerialPort, with a transmit
// queue that never runs ahead of the line.
//
// API contract used by the panel (implementation in serial_link.cpp):
//  - Open(device): port set-up in its order (9600 baud, no parity, 8 data
//    bits, 1 stop bit), then open. Returns true when open. On failure the
//    link is offline, openProblem() and lastError() say why in plain words
//    (the caller offers a choice; nothing is emitted), and the program
//    carries on. A link (a stable name) is opened through its device.
//  - Write(command): hands one whole command to the transmit queue (see
//    transmit_queue.h); while offline the command is dropped and counted.
//  - Close(): orderly close: waits until the queue and the port have drained,
//    at most 2 s, then closes the port. Idempotent. False when the line did
//    not drain in time, so what was written last may not have gone out.
//  - A port lost while running emits failure() once and goes Lost; the link
//    then watches the name it was opened by and, when a device is there
//    again, reopens it by itself and emits reopened(). Not a pseudo-terminal
//    opened by its own path: its number, once free, is the next terminal's.
//  - failure() is emitted from the event loop, after the call that met the
//    failure has returned, so a slot may open a modal box safely.
//  - countersChanged() is coalesced: at most about ten times a second.

#include <QByteArray>
#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "protocol/command_sink.h"
#include "link/port_problem.h"
#include "protocol/transmit_queue.h"

class QSerialPort;

namespace gp {

// The queue's counters, with sent and bytesSent counting only what the port
// really took, and what never reached the queue or had to be thrown away.
struct LinkCounters : TransmitQueue::Counters {
  std::uint64_t droppedOffline = 0;  // commands dropped because the port was not open
                                     // (or was lost, or closing ran out of time)
};

class SerialLink : public QObject, public CommandSink {
  Q_OBJECT
 public:
  enum class State { NotOpened, Open, OpenFailed, Lost, Closed };
  Q_ENUM(State)

  static constexpr int kBufferSize = 1024;
  static constexpr int kCloseDrainMs = 2000;

  // "Port 1": COM1 on Windows, /dev/ttyS0 elsewhere.
  static QString DefaultPortName();

  explicit SerialLink(QObject* parent = nullptr);
  ~SerialLink() override;

  bool Open(const QString& device);
  void Write(ServoCommand command) override;
  bool Close();
  // Drops every position still waiting in the queue: what is written next
  // follows the command the port already holds (the queue keeps the port no
  // more than one command ahead of the line) and any control command waiting.
  void DropQueuedPositions();

  State state() const;
  bool isOpen() const { return state() == State::Open; }
  // The device as the person named it (a stable name, a link or a path).
  QString deviceName() const;
  // Why the last Open() failed.
  PortProblem openProblem() const;
  // A remark for the status line while open ("switched from ..."); cleared
  // by the next Open() or Close().
  void setStatusNote(const QString& note);
  // One line for a status bar: "/dev/ttyS0 9600,n,8,1", or why it is not open.
  QString statusText() const;
  QString lastError() const;
  LinkCounters counters() const;
  std::size_t queuedCommands() const;

  // What the device can say of what it holds. A device that reports its
  // output queue is paced by it, a stall is seen on it, and what left it is
  // confirmed. One that cannot (a pseudo-terminal) is paced by the clock
  // alone and nothing handed to it is confirmed, unless it is the device
  // named here, known to read every byte at once (the program's own virtual
  // controller): that one is taken as confirmed and not named as one that
  // cannot report.
  bool reportsQueue() const;
  void setDeviceThatReadsEverything(const QString& device);
  bool confirmsDelivery() const;
  // Of the commands handed to the device since Open(), how many were not
  // seen to leave it: all of them on a device that cannot report, none on
  // one that reads everything. As of the last look, and final once closed
  // or lost.
  std::uint64_t unconfirmedCommands() const;
  // While the device reports its queue: whether its bytes have not drained
  // for longer than kStallMs, and since when (milliseconds).
  static constexpr int kStallMs = 500;
  bool stalled() const;
  qint64 stalledForMs() const;
  // What the status line adds about the line: "Line stalled: the controller
  // is not taking commands (6 s)", or "DEVICE cannot report what it still
  // holds"; empty otherwise.
  QString lineNote() const;

  // Stands in for the device's own answer to how much it holds, for tests
  // (a device with a real output queue); set before Open(). nullptr removes it.
  using QueueProbe = std::function<std::optional<std::size_t>()>;
  void setQueueProbe(QueueProbe probe);

  // The link's one measurement seam, for the link benchmark; the program
  // never sets it. Called for every command the moment it is handed to the
  // port, with the time its bytes were given to Write() and the time of the
  // hand-over (on the steady clock). nullptr removes it.
  using HandOverObserver = std::function<void(const ServoCommand& command,
                                              TransmitQueue::Time queuedAt,
                                              TransmitQueue::Time handedAt)>;
  void setHandOverObserver(HandOverObserver observer);

  // The steady clock the link paces by.
  static TransmitQueue::Time Now();

 signals:
  void stateChanged(gp::SerialLink::State state);
  // A failure a person must see: the panel shows it in a critical box.
  void failure(const QString& message);
  void countersChanged();
  // A command the port has just taken whole: what goes on the line, after the
  // transmit queue, with the time of the hand-over on Now()'s clock in
  // nanoseconds. Recordings of the line are made from it.
  void commandHandedOver(const QByteArray& bytes, qint64 atNs);
  // A lost device came back and was opened again by itself.
  void reopened();
  // The line stalled (bytes held by the device did not drain for kStallMs),
  // or drains again; ms is how long it stood.
  void lineStalled(bool stalled, qint64 ms);

 private:
  struct Impl;
  std::unique_ptr<Impl> d_;
};

}  // namespace gp
