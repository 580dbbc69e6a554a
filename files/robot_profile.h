#pragma once
// Robot profile files: each module's limits, trim, direction and speed, and
// the soft start, kept apart from gait files because they describe the robot:
//
//   { "format": "gaitpanel-robot", "version": 1, "name": "...", "notes": "...",
//     "soft_start_s": 2,
//     "modules": [ { "min": -40, "max": 40, "trim": 0, "reversed": false,
//                    "max_speed_deg_s": 180 }, ... eight ... ] }
//
// Read as strictly as gait files: anything wrong is refused with the file,
// the field and the reason, and nothing of the file is taken. Qt Core only.

#include <QString>
#include <QStringList>

#include "gait/robot_profile.h"

namespace gp::files {

// False with *error = one line naming the file, the field and the reason; *profile untouched then.
bool ReadRobotProfile(const QString& path, RobotProfile* profile, QString* error);

// Writes the profile atomically (a file that was there stays whole until the
// new one is complete). The text is checked by the same rules the reader
// keeps before anything is written, so a file written here always reads
// back as the same numbers. False with *error naming the file, the field and
// the reason; nothing written then.
bool WriteRobotProfile(const QString& path, const RobotProfile& profile, QString* error);

// Where the example profile and the schema lie: <exe dir>/../share/gaitpanel/robots.
QStringList RobotProfileFolders();

}  // namespace gp::files
