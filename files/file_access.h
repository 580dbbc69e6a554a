#pragma once
// Opening the files people name, and writing the files the program keeps.
//
// A file named as a gait, a robot profile or a recording must be a regular
// file: a named pipe would hold the program until someone writes to it, a
// device or a socket means something else. A file the program writes goes
// to a temporary file beside it first and replaces the old one only once it
// is whole on disk, so a full disk or a removed medium never leaves a file
// cut short or emptied. Qt Core only.

#include <QByteArray>
#include <QFile>
#include <QString>

namespace gp::files {

// The system's words for an error number ("No space left on device").
QString SystemReason(int errorNumber);

// Opens path for reading when it is a regular file (a link to one counts),
// without waiting on a named pipe. False with *reason = "is not a regular
// file (...)" or "cannot be read: <system reason>".
bool OpenRegularFile(QFile& file, const QString& path, QString* reason);

// Replaces path whole with bytes: written to a temporary file in the same
// folder, flushed to disk and checked, then renamed over the old file. On
// any failure the old file is kept as it was and *reason is the system's
// reason. A target that exists and is not a regular file (a device such as
// /dev/stdout, a pipe) is written directly and checked the same way.
bool WriteFileAtomically(const QString& path, const QByteArray& bytes, QString* reason);

}  // namespace gp::files
