#pragma once
// Behaviours: gaits one after another, each for a time and blended in from
// the one before ("crawl 5 s, turn left 3 s, crawl"). A small JSON document:
//
//   { "format": "gaitpanel-behaviour", "version": 1, "name": "...", "notes": "...",
//     "steps": [ { "gait": "lateral-undulation", "seconds": 5 },
//                { "gait": "turn-left.json", "periods": 3, "blend_s": 1.5 }, ... ],
//     "repeat": false }
//
// A step's gait is a gait file (a path relative to the behaviour's folder) or
// a preset's bare name; it runs for "seconds" or for "periods" of its own
// gait (20 ticks each), one of the two, and comes in over "blend_s" (default
// 1 s). With "repeat" the steps start again after the last. Reading is strict
// like the gait files'. And the steering script of a headless run: a JSON
// list of [t, speed, turn, amplitude] rows. Qt Core only.

#include <QString>
#include <vector>

#include "files/gait_file.h"
#include "gait/live_gait.h"

namespace gp::files {

struct BehaviourStep {
  QString gaitPath;  // the gait file it names, found
  Gait gait;
  double seconds = 0;  // how long it runs, its blend included
  double blendS = kDefaultBlendS;
};

struct Behaviour {
  QString name;
  QString notes;
  std::vector<BehaviourStep> steps;
  bool repeat = false;

  double seconds() const;  // once through
};

// Whether the file names itself a behaviour: its "format" says so.
bool IsBehaviourFile(const QString& path);

// False with *error = one line naming the file, the field and the reason
// (a step's gait that cannot be used adds the gait file's own); *behaviour
// untouched then.
bool ReadBehaviourFile(const QString& path, Behaviour* behaviour, QString* error);

// Rows in order of time from 0, speed and turn from -1 to 1, amplitude from
// 0 to 1. False with *error as above.
bool ReadDriveScript(const QString& path, std::vector<SteeringRow>* rows, QString* error);

}  // namespace gp::files
