#pragma once
// Gait files: a module table and an interval that people keep, hand on and
// write by hand. A small JSON document:
//
//   { "format": "gaitpanel-gait", "version": 1, "name": "...", "notes": "...",
//     "interval_ms": 50,
//     "modules": [ { "amplitude": 30, "phase": 0, "centre": 0, "enabled": true }, ... eight ... ] }
//
// Reading is strict: a value of the wrong type, an unknown or missing field,
// or a value the panel would refuse is an error, and nothing of the file is
// taken. Qt Core only.

#include <QString>
#include <QStringList>
#include <array>

#include "gait/module_table.h"

namespace gp::files {

struct GaitModule {
  double amplitude = 90;  // degrees, as typed into the amplitude box
  double phase = 0;       // degrees, any real number
  double centre = 0;      // degrees, as typed into the initial-angle box
  bool enabled = false;
};

struct Gait {
  QString name;
  QString notes;
  int intervalMs = kDesignIntervalMs;
  std::array<GaitModule, kModules> modules{};
};

// False with *error = one line naming the file, the field and the reason; *gait untouched then.
bool ReadGaitFile(const QString& path, Gait* gait, QString* error);

// Refuses (false, *error as above, the file on disk untouched) a gait that
// could not be read back. The file is replaced whole or not at all.
bool WriteGaitFile(const QString& path, const Gait& gait, QString* error);

// The table as the panel holds it once the gait is opened: the boxes keep
// whole degrees of amplitude and centre, the phase as typed; ServoEnabled
// follows `enabled`. Everything else stays zero.
ModuleTable GaitTable(const Gait& gait);
// The other way: a table's modules 1 to 8 as a gait, without name or notes.
Gait GaitFromTable(const ModuleTable& table, int intervalMs);

// Folders searched for presets, in order: <exe dir>/../share/gaitpanel/gaits
// (the build tree and an installed program both have the presets there).
// Works before any application object exists. A folder need not exist.
QStringList PresetFolders();

// What a command line's gait names: the file itself when there is one by
// that name; otherwise a bare name ("lateral-undulation", with or without
// ".json") is looked up among the presets, so a desktop entry or a script
// can name a preset wherever the program is installed. Anything else comes
// back as given, for the reader to report.
QString FindGaitFile(const QString& given);

}  // namespace gp::files
