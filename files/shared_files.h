#pragma once
// Where the files the program ships beside itself lie: <exe dir>/../share/
// gaitpanel/<name>, in the build tree as in an installed tree.

#include <QString>

namespace gp::files {

// Works before any application object exists (a command line's file is
// looked up then): the running executable is found through /proc (Linux).
// The folder need not exist.
QString SharedFolder(const QString& name);

}  // namespace gp::files
