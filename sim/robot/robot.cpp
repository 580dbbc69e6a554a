#include "sim/robot/robot.h"

#include <mujoco/mujoco.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

namespace gp::sim {
namespace {

constexpr double kPi = 3.14159265358979323846;

// Sizes of a typical hobby-servo module: 80 mm long, 50 mm wide, 40 mm
// high, 120 g, a servo of 0.16 s per 60 degrees and 1 N m. The box is the
// body; two thin runners along its belly carry it on the floor (passive
// wheels or scales on a snake), so the chain cannot roll over like a log.
struct BuiltIn {
  const char* name;
  const char* jointAxis;
  const char* friction;  // along the runner, across it, torsion, rolling
};

constexpr BuiltIn kSnake{"snake", "0 0 1", "0.1 1.5 0.005 0.0001 0.0001"};
constexpr BuiltIn kCaterpillar{"caterpillar", "0 1 0", "0.8 0.8 0.005 0.0001 0.0001"};

std::string Num(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%.6g", v);
  return text;
}

// The elliptic friction cone: the pyramidal one is faster but is itself
// anisotropic, which would blur the very effect the snake's belly is about.
// A 2 ms step: the servo's position loop (20 N m/rad on at least 0.7 g m^2 at
// a joint) and the contacts' 20 ms time constant stay well resolved, at half
// the cost of 1 ms, which a live window shares with drawing.
std::string GenerateModel(const BuiltIn& robot) {
  constexpr double kLength = 0.08, kHalfWidth = 0.025, kHalfHeight = 0.02;
  constexpr double kRunnerRadius = 0.006, kRunnerOffset = 0.018, kRunnerHalf = 0.03;
  constexpr double kRange = kPi / 2;
  const double rideHeight = kHalfHeight + kRunnerRadius;
  // The chain's centre of mass at the origin, the head toward +x.
  const double headX = kLength * kRobotModules / 2;

  std::ostringstream x;
  x << "<mujoco model=\"" << robot.name << "\">\n"
    << "  <compiler angle=\"radian\"/>\n"
    << "  <option timestep=\"0.002\" integrator=\"Euler\" cone=\"elliptic\"/>\n"
    << "  <!-- The servos' top speed, rad/s (60 degrees in 0.16 s); the torque is each\n"
    << "       actuator's forcerange, the travel each joint's range. -->\n"
    << "  <custom><numeric name=\"servo_speed\" data=\"" << Num(kPi / 3 / 0.16) << "\"/></custom>\n"
    << "  <default>\n"
    << "    <joint type=\"hinge\" axis=\"" << robot.jointAxis << "\" limited=\"true\" range=\"" << Num(-kRange)
    << ' ' << Num(kRange) << "\" damping=\"0.02\" armature=\"0.0005\"/>\n"
    << "    <geom contype=\"0\" conaffinity=\"0\"/>\n"
    << "    <position kp=\"20\" forcelimited=\"true\" forcerange=\"-1 1\" ctrllimited=\"true\" ctrlrange=\""
    << Num(-kRange) << ' ' << Num(kRange) << "\"/>\n"
    << "    <default class=\"module\"><geom type=\"box\" size=\"" << Num(kLength / 2) << ' ' << Num(kHalfWidth)
    << ' ' << Num(kHalfHeight) << "\" mass=\"0.12\" rgba=\"0.85 0.55 0.15 1\"/></default>\n"
    << "    <default class=\"runner\"><geom type=\"capsule\" size=\"" << Num(kRunnerRadius)
    << "\" mass=\"0\" rgba=\"0.2 0.2 0.2 1\"/></default>\n"
    << "  </default>\n"
    << "  <worldbody>\n"
    << "    <geom name=\"floor\" type=\"plane\" size=\"0 0 1\" rgba=\"0.9 0.9 0.9 1\"/>\n";

  std::string indent = "    ";
  std::vector<std::string> contactParts;
  for (int m = 0; m <= kRobotModules; ++m) {
    const std::string body = m == 0 ? "head" : "module" + std::to_string(m);
    if (m == 0) {
      x << indent << "<body name=\"head\" pos=\"" << Num(headX) << " 0 " << Num(rideHeight) << "\">\n"
        << indent << "  <freejoint name=\"free\"/>\n";
    } else {
      x << indent << "<body name=\"" << body << "\" pos=\"" << Num(-kLength) << " 0 0\">\n"
        << indent << "  <joint name=\"joint" << m << "\" pos=\"" << Num(kLength / 2) << " 0 0\"/>\n";
    }
    x << indent << "  <geom name=\"" << body << "\" class=\"module\"/>\n";
    for (int side : {1, -1}) {
      const std::string runner = body + (side > 0 ? "_left" : "_right");
      const double y = side * kRunnerOffset, z = -kHalfHeight;
      // From tail to head: the capsule's axis, and with it the contact's
      // first friction direction, runs along the module.
      x << indent << "  <geom name=\"" << runner << "\" class=\"runner\" fromto=\"" << Num(-kRunnerHalf) << ' '
        << Num(y) << ' ' << Num(z) << ' ' << Num(kRunnerHalf) << ' ' << Num(y) << ' ' << Num(z) << "\"/>\n";
      contactParts.push_back(runner);
    }
    indent += "  ";
  }
  for (int m = kRobotModules; m >= 0; --m) {
    indent.resize(indent.size() - 2);
    x << indent << "</body>\n";
  }
  x << "  </worldbody>\n  <contact>\n";
  for (const std::string& part : contactParts)
    x << "    <pair geom1=\"floor\" geom2=\"" << part << "\" condim=\"3\" friction=\"" << robot.friction << "\"/>\n";
  x << "  </contact>\n  <actuator>\n";
  for (int m = 1; m <= kRobotModules; ++m)
    x << "    <position name=\"servo" << m << "\" joint=\"joint" << m << "\"/>\n";
  x << "  </actuator>\n</mujoco>\n";
  return x.str();
}

// The physics library reports warnings on standard output and in a log file
// in the working directory, and ends the process on errors; neither may
// spoil a headless run's output or litter a person's folder.
void WarningToStderr(const char* text) { std::fprintf(stderr, "physics warning: %s\n", text); }
void ErrorToStderr(const char* text) {
  std::fprintf(stderr, "physics error: %s\n", text);
  std::exit(1);
}

std::string FileName(const std::string& path) {
  const auto slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

struct Robot::Engine {
  std::string name;
  mjModel* model = nullptr;
  mjData* data = nullptr;
  int root = 1;  // the robot's top body
  std::array<int, kRobotModules + 1> actuator{};  // module -> actuator id, -1 without
  std::array<int, kRobotModules + 1> qpos{};      // module -> joint's qpos address
  std::array<ServoRating, kRobotModules + 1> rating{};
  struct Gains {
    mjtNum gain = 0, bias1 = 0, bias2 = 0;
  };
  std::array<Gains, kRobotModules + 1> gains{};
  std::vector<int> moduleOfBody;
  std::vector<bool> contactGeom;
  bool fromAbove = true;
  double bodyLength = 0;

  ~Engine() {
    if (data) mj_deleteData(data);
    if (model) mj_deleteModel(model);
  }
};

std::optional<std::string> Robot::BuiltInModel(const std::string& name) {
  if (name == kSnake.name) return GenerateModel(kSnake);
  if (name == kCaterpillar.name) return GenerateModel(kCaterpillar);
  return std::nullopt;
}

std::unique_ptr<Robot> Robot::Load(const std::string& robot, std::string* error) {
  mju_user_warning = WarningToStderr;
  mju_user_error = ErrorToStderr;

  auto engine = std::make_unique<Engine>();
  char why[1000] = "";
  const std::optional<std::string> builtIn = BuiltInModel(robot);
  if (builtIn) {
    // Loaded from memory: the library reads models only through its own
    // file system, so the text is handed to it as a file of its own.
    mjVFS vfs;
    mj_defaultVFS(&vfs);
    const std::string file = robot + ".xml";
    if (mj_makeEmptyFileVFS(&vfs, file.c_str(), static_cast<int>(builtIn->size())) == 0) {
      std::memcpy(vfs.filedata[vfs.nfile - 1], builtIn->data(), builtIn->size());
      engine->model = mj_loadXML(file.c_str(), &vfs, why, sizeof why);
    }
    mj_deleteVFS(&vfs);
    engine->name = robot;
  } else {
    engine->model = mj_loadXML(robot.c_str(), nullptr, why, sizeof why);
    engine->name = FileName(robot);
  }
  const auto fail = [&](const std::string& reason) {
    if (error) *error = robot + ": " + reason;
    return nullptr;
  };
  if (!engine->model) return fail(why[0] ? why : "the model could not be loaded");
  mjModel* m = engine->model;
  engine->data = mj_makeData(m);
  if (!engine->data) return fail("no memory for the model's data");

  // Each module's servo: the position actuator "servoN" on hinge "jointN".
  const int speedId = mj_name2id(m, mjOBJ_NUMERIC, "servo_speed");
  const double speed = speedId >= 0 && m->numeric_size[speedId] > 0 ? m->numeric_data[m->numeric_adr[speedId]]
                                                                    : ServoRating{}.maxSpeed;
  int servos = 0;
  engine->actuator.fill(-1);
  for (int n = 1; n <= kRobotModules; ++n) {
    const int a = mj_name2id(m, mjOBJ_ACTUATOR, ("servo" + std::to_string(n)).c_str());
    const int j = mj_name2id(m, mjOBJ_JOINT, ("joint" + std::to_string(n)).c_str());
    if (a < 0 && j < 0) continue;
    if (a < 0 || j < 0) return fail("module " + std::to_string(n) + " needs both a joint named joint" +
                                    std::to_string(n) + " and an actuator named servo" + std::to_string(n));
    if (m->actuator_trntype[a] != mjTRN_JOINT || m->actuator_trnid[2 * a] != j)
      return fail("actuator servo" + std::to_string(n) + " does not act on joint joint" + std::to_string(n));
    if (m->jnt_type[j] != mjJNT_HINGE) return fail("joint joint" + std::to_string(n) + " is not a hinge");
    engine->actuator[n] = a;
    engine->qpos[n] = m->jnt_qposadr[j];
    ServoRating& rating = engine->rating[n];
    rating.maxSpeed = speed;
    if (m->jnt_limited[j]) {
      rating.minAngle = std::max(rating.minAngle, m->jnt_range[2 * j]);
      rating.maxAngle = std::min(rating.maxAngle, m->jnt_range[2 * j + 1]);
    }
    if (m->actuator_forcelimited[a])
      rating.maxTorque = std::max(std::abs(m->actuator_forcerange[2 * a]), std::abs(m->actuator_forcerange[2 * a + 1]));
    engine->gains[n] = {m->actuator_gainprm[a * mjNGAIN], m->actuator_biasprm[a * mjNBIAS + 1],
                        m->actuator_biasprm[a * mjNBIAS + 2]};
    if (servos++ == 0) {
      engine->root = m->body_rootid[m->jnt_bodyid[j]];
      const mjtNum* axis = m->jnt_axis + 3 * j;
      engine->fromAbove = std::abs(axis[2]) >= std::max(std::abs(axis[0]), std::abs(axis[1]));
    }
  }
  if (servos == 0) return fail("no module servo (actuator servo1 to servo8 on joint joint1 to joint8)");

  // Which module each body belongs to: the nearest joint "jointN" on the
  // way to the root.
  engine->moduleOfBody.assign(static_cast<std::size_t>(m->nbody), 0);
  for (int b = 1; b < m->nbody; ++b) {
    for (int up = b; up > 0; up = m->body_parentid[up]) {
      int found = 0;
      for (int n = 1; n <= kRobotModules && !found; ++n)
        if (engine->actuator[n] >= 0 && m->jnt_bodyid[m->actuator_trnid[2 * engine->actuator[n]]] == up) found = n;
      if (found) {
        engine->moduleOfBody[static_cast<std::size_t>(b)] = found;
        break;
      }
    }
  }
  engine->contactGeom.assign(static_cast<std::size_t>(m->ngeom), false);
  for (int g = 0; g < m->ngeom; ++g) engine->contactGeom[static_cast<std::size_t>(g)] = m->geom_contype[g] || m->geom_conaffinity[g];
  for (int p = 0; p < m->npair; ++p) {
    engine->contactGeom[static_cast<std::size_t>(m->pair_geom1[p])] = true;
    engine->contactGeom[static_cast<std::size_t>(m->pair_geom2[p])] = true;
  }

  std::unique_ptr<Robot> result(new Robot(std::move(engine)));
  result->Reset();
  double minX = 1e300, maxX = -1e300;
  for (const RobotShape& s : result->Shapes()) {
    double half = 0;
    switch (s.kind) {
      case RobotShape::Kind::Box:
        half = std::abs(s.rot[0]) * s.size[0] + std::abs(s.rot[1]) * s.size[1] + std::abs(s.rot[2]) * s.size[2];
        break;
      case RobotShape::Kind::Capsule:
        half = std::abs(s.rot[2]) * s.size[1] + s.size[0];
        break;
      case RobotShape::Kind::Sphere:
        half = s.size[0];
        break;
    }
    minX = std::min(minX, s.pos[0] - half);
    maxX = std::max(maxX, s.pos[0] + half);
  }
  result->engine_->bodyLength = maxX > minX ? maxX - minX : 0;
  return result;
}

Robot::Robot(std::unique_ptr<Engine> engine) : engine_(std::move(engine)) {}
Robot::~Robot() = default;

const std::string& Robot::name() const { return engine_->name; }
bool Robot::viewFromAbove() const { return engine_->fromAbove; }
bool Robot::hasServo(int module) const {
  return module >= 1 && module <= kRobotModules && engine_->actuator[static_cast<std::size_t>(module)] >= 0;
}
ServoRating Robot::servoRating(int module) const { return engine_->rating.at(static_cast<std::size_t>(module)); }
double Robot::bodyLength() const { return engine_->bodyLength; }
double Robot::timestep() const { return engine_->model->opt.timestep; }
double Robot::time() const { return engine_->data->time; }

void Robot::SetServo(int module, std::optional<double> commandedAngle) {
  if (!hasServo(module)) return;
  const auto n = static_cast<std::size_t>(module);
  const int a = engine_->actuator[n];
  mjModel* m = engine_->model;
  // A limp servo: no stiffness and no damping from the actuator; what is
  // left is the joint's own friction and damping.
  const Engine::Gains g = commandedAngle ? engine_->gains[n] : Engine::Gains{};
  m->actuator_gainprm[a * mjNGAIN] = g.gain;
  m->actuator_biasprm[a * mjNBIAS + 1] = g.bias1;
  m->actuator_biasprm[a * mjNBIAS + 2] = g.bias2;
  engine_->data->ctrl[a] = commandedAngle.value_or(0.0);
}

double Robot::JointAngle(int module) const {
  if (!hasServo(module)) return 0.0;
  return engine_->data->qpos[engine_->qpos[static_cast<std::size_t>(module)]];
}

void Robot::Step() { mj_step(engine_->model, engine_->data); }

bool Robot::diverged() const {
  // The library starts the simulation afresh when its accelerations blow up;
  // that must not pass for the robot's motion.
  return engine_->data->warning[mjWARN_BADQACC].number > 0;
}

void Robot::Reset() {
  mj_resetData(engine_->model, engine_->data);
  for (int n = 1; n <= kRobotModules; ++n) SetServo(n, std::nullopt);
  mj_forward(engine_->model, engine_->data);
}

std::array<double, 3> Robot::CentreOfMass() const {
  const mjtNum* c = engine_->data->subtree_com + 3 * engine_->root;
  return {c[0], c[1], c[2]};
}

std::array<double, 3> Robot::HeadPosition() const {
  const mjtNum* p = engine_->data->xpos + 3 * engine_->root;
  return {p[0], p[1], p[2]};
}

double Robot::Heading() const {
  // The sum of every body's forward axis: the undulation's swing cancels out
  // and what is left is where the chain as a whole points.
  const mjModel* m = engine_->model;
  const mjData* d = engine_->data;
  double sx = 0, sy = 0;
  for (int b = 1; b < m->nbody; ++b) {
    if (m->body_rootid[b] != engine_->root) continue;
    sx += d->xmat[9 * b + 0];
    sy += d->xmat[9 * b + 3];
  }
  return std::atan2(sy, sx);
}

std::vector<RobotShape> Robot::Shapes() const {
  const mjModel* m = engine_->model;
  const mjData* d = engine_->data;
  std::vector<RobotShape> shapes;
  for (int g = 0; g < m->ngeom; ++g) {
    const int b = m->geom_bodyid[g];
    if (b == 0 || m->body_rootid[b] != engine_->root) continue;
    RobotShape s;
    switch (m->geom_type[g]) {
      case mjGEOM_BOX:
        s.kind = RobotShape::Kind::Box;
        s.size = {m->geom_size[3 * g], m->geom_size[3 * g + 1], m->geom_size[3 * g + 2]};
        break;
      case mjGEOM_CAPSULE:
      case mjGEOM_CYLINDER:
        s.kind = RobotShape::Kind::Capsule;
        s.size = {m->geom_size[3 * g], m->geom_size[3 * g + 1], 0};
        break;
      default:
        s.kind = RobotShape::Kind::Sphere;
        s.size = {m->geom_rbound[g], 0, 0};
        break;
    }
    std::copy_n(d->geom_xpos + 3 * g, 3, s.pos.begin());
    std::copy_n(d->geom_xmat + 9 * g, 9, s.rot.begin());
    s.module = engine_->moduleOfBody[static_cast<std::size_t>(b)];
    s.touchesFloor = engine_->contactGeom[static_cast<std::size_t>(g)];
    shapes.push_back(s);
  }
  return shapes;
}

}  // namespace gp::sim
