#pragma once
// A floors file: the floors a gait search scores each gait on, each a
// friction along the robot's runners and across them.
//   { "floors": [ { "along": 0.1, "across": 1.5 }, { "along": 0.3, "across": 0.6 } ] }
#include <QString>
#include <vector>

namespace gp::files {

struct FloorGrip {
  double along = 0;
  double across = 0;
};

// A grip lies above 0 and at most this: beyond, no floor is.
constexpr double kMaxFloorFriction = 100;
constexpr int kMaxFloors = 16;

// Reads `path`; on failure nothing is set and *error names the file, the
// field and the reason.
bool ReadFloorsFile(const QString& path, std::vector<FloorGrip>* floors, QString* error);

}  // namespace gp::files
