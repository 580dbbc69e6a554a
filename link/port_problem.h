#pragma once
// Why a serial device cannot be opened, in words that say what to do.
//
// Qt's serial port reports most failures as a "permission error": a device
// another program has locked, one this user may not open and a name too long
// for a lock file all look alike, and it cannot open a path that is not valid
// UTF-8 at all (device paths are bytes). So the link asks here first which
// name to hand Qt and whether anything stands in the way, and asks again when
// Qt's open fails anyway.

#include <QByteArray>
#include <QSerialPort>
#include <QString>

namespace gp {

struct PortProblem {
  enum class Kind { None, NoSuchDevice, PermissionDenied, InUse, StaleLock, NotSerial, Other };
  Kind kind = Kind::None;
  QString reason;    // "there is no such device"
  QString advice;    // what to do about it; may be empty
  QString group;     // PermissionDenied: the group that owns the device
  qint64 pid = 0;    // InUse: the holder, where its lock file names one
  QString lockPath;  // InUse, StaleLock: the lock file

  bool ok() const { return kind == Kind::None; }
  // Reason and advice as one text: "there is no such device. No serial ...".
  QString text() const;
};

struct PortTarget {
  QString portName;     // what to hand QSerialPort; empty when problem says why not
  PortProblem problem;  // None when the device may be opened
};

// Checks a device before it is opened. A link is followed to its device, so
// a stable name and the device's own name share one lock file; the same goes
// for a name Qt could not spell or lock. A lock left by a process that has
// ended is removed where this user may remove it.
PortTarget PreparePort(const QByteArray& device);

// Why QSerialPort could not open portName (already prepared from device).
PortProblem ExplainOpenFailure(const QByteArray& device, const QString& portName,
                               QSerialPort::SerialPortError error, const QString& errorString);

// The lock file Qt's serial port uses for portName: in the first lock folder
// this user can use, "LCK.." and the name without "/dev/", "/" made "_".
QString LockFilePath(const QString& portName);

// A name for a device path given as bytes (from the command line) that Qt's
// strings can carry: the path itself where it is valid UTF-8, otherwise the
// device it leads to, otherwise the path as well as it can be spelled (it
// then fails to open for the reason it does not exist).
QString PortNameFromBytes(const QByteArray& device);

// A device path as the system spells it, for a message ("\xff" as "\\xff").
QString DisplayPath(const QByteArray& device);

}  // namespace gp
