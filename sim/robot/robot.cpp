#include "sim/robot/robot.h"

#include "sim/robot/built_in_models.h"

#include <mujoco/mujoco.h>

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace gp::sim {
namespace {

// The physics library reports warnings on standard output and in a log file
// in the working directory; neither may spoil a headless run's output or
// litter a person's folder. On an error it would end the process, so the
// handler jumps back instead to the call that went wrong (the library's own
// way out: a handler that returns lets it carry on with broken state). Each
// thread has its own way back, so parallel runs do not cross.
thread_local std::jmp_buf* tErrorJump = nullptr;
thread_local char tErrorText[1000];

void WarningToStderr(const char* text) { std::fprintf(stderr, "physics warning: %s\n", text); }
[[noreturn]] void ErrorJump(const char* text) {
  std::snprintf(tErrorText, sizeof tErrorText, "%s", text);
  if (tErrorJump) std::longjmp(*tErrorJump, 1);
  // Every call into the library goes through Guarded; reaching here is a
  // programming error and continuing would use broken state.
  std::fprintf(stderr, "physics error outside a guarded call: %s\n", text);
  std::abort();
}

// The library's handlers are process-wide: set once, before the first model,
// never again while another thread may be stepping a robot.
void InstallHandlers() {
  static std::once_flag once;
  std::call_once(once, [] {
    mju_user_warning = WarningToStderr;
    mju_user_error = ErrorJump;
  });
}

// Calls fn(m, d); false with the library's message in *why when it errs.
// Nothing here may need a destructor: the jump skips them.
bool Guarded(void (*fn)(const mjModel*, mjData*), const mjModel* m, mjData* d, std::string* why) {
  std::jmp_buf jump;
  std::jmp_buf* const outer = tErrorJump;
  tErrorJump = &jump;
  if (setjmp(jump) == 0) {
    fn(m, d);
    tErrorJump = outer;
    return true;
  }
  tErrorJump = outer;
  *why = tErrorText;
  return false;
}

mjData* GuardedMakeData(const mjModel* m, std::string* why) {
  static thread_local mjData* made = nullptr;
  made = nullptr;
  const bool ok = Guarded([](const mjModel* model, mjData*) { made = mj_makeData(model); }, m, nullptr, why);
  if (ok && !made) *why = "no memory for the model's data";
  return ok ? made : nullptr;
}

void ResetAndForward(const mjModel* m, mjData* d) {
  mj_resetData(m, d);
  mj_forward(m, d);
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
  int head = 1;  // the body whose track the views draw
  std::string failure;  // the physics' error since the last Reset
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
  int middle = 1;                          // the middle module's body, whose roll is told
  std::array<double, 3> middleAxis{1, 0, 0};  // the chain's axis in that body's own frame
  std::vector<std::array<mjtNum, 2>> ownGrip;  // each contact pair's friction along and across, as loaded

  ~Engine() {
    if (data) mj_deleteData(data);
    if (model) mj_deleteModel(model);
  }
};

std::optional<std::string> Robot::BuiltInModel(const std::string& name) { return BuiltInModelText(name); }

std::vector<std::string> Robot::BuiltInNames() { return BuiltInModelNames(); }

std::unique_ptr<Robot> Robot::Load(const std::string& robot, std::string* error) {
  InstallHandlers();

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
  std::string dataWhy;
  engine->data = GuardedMakeData(m, &dataWhy);
  if (!engine->data) return fail(dataWhy);

  // Each module's servo: the position actuator "servoN" on hinge "jointN".
  const int speedId = mj_name2id(m, mjOBJ_NUMERIC, "servo_speed");
  const double speed = speedId >= 0 && m->numeric_size[speedId] > 0 ? m->numeric_data[m->numeric_adr[speedId]]
                                                                    : ServoRating{}.maxSpeed;
  int servos = 0;
  engine->actuator.fill(-1);
  // Seen from above where any joint turns about the vertical (the snake, and
  // the pitch-yaw snake, whose sidewinding and rolling happen in the floor's
  // plane); from the side only where every joint bends up and down.
  engine->fromAbove = false;
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
    if (servos++ == 0) engine->root = m->body_rootid[m->jnt_bodyid[j]];
    const mjtNum* axis = m->jnt_axis + 3 * j;
    if (std::abs(axis[2]) >= std::max(std::abs(axis[0]), std::abs(axis[1]))) engine->fromAbove = true;
  }
  if (servos == 0) return fail("no module servo (actuator servo1 to servo8 on joint joint1 to joint8)");

  // Which module each body belongs to: by its name ("head", "moduleN"), or
  // else the nearest joint "jointN" on the way to the root.
  engine->moduleOfBody.assign(static_cast<std::size_t>(m->nbody), 0);
  for (int b = 1; b < m->nbody; ++b) {
    const char* name = mj_id2name(m, mjOBJ_BODY, b);
    int named = -1;
    if (name && std::strcmp(name, "head") == 0) named = 0;
    for (int n = 1; n <= kRobotModules && named < 0; ++n)
      if (name && ("module" + std::to_string(n)) == name) named = n;
    if (named >= 0) {
      engine->moduleOfBody[static_cast<std::size_t>(b)] = named;
      continue;
    }
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
  // The head: the body named so, or else the root.
  const int headBody = mj_name2id(m, mjOBJ_BODY, "head");
  engine->head = headBody > 0 && m->body_rootid[headBody] == engine->root ? headBody : engine->root;
  // The tail: the last module's body farthest down the chain.
  int tailBody = engine->head;
  for (int b = 1; b < m->nbody; ++b)
    if (m->body_rootid[b] == engine->root &&
        engine->moduleOfBody[static_cast<std::size_t>(b)] > engine->moduleOfBody[static_cast<std::size_t>(tailBody)])
      tailBody = b;
  engine->contactGeom.assign(static_cast<std::size_t>(m->ngeom), false);
  for (int g = 0; g < m->ngeom; ++g) engine->contactGeom[static_cast<std::size_t>(g)] = m->geom_contype[g] || m->geom_conaffinity[g];
  for (int p = 0; p < m->npair; ++p) {
    engine->contactGeom[static_cast<std::size_t>(m->pair_geom1[p])] = true;
    engine->contactGeom[static_cast<std::size_t>(m->pair_geom2[p])] = true;
    engine->ownGrip.push_back({m->pair_friction[5 * p], m->pair_friction[5 * p + 1]});
  }

  std::unique_ptr<Robot> result(new Robot(std::move(engine)));
  result->Reset();
  if (!result->failure().empty()) return fail(result->failure());
  // The body's length along the chain, from the head's end to the tail's:
  // every part's reach along the line from the tail to the head at rest,
  // whichever way the model lies.
  const mjData* d = result->engine_->data;
  std::array<double, 3> along{1, 0, 0};
  const double* hp = d->xpos + 3 * result->engine_->head;
  const double* tp = d->xpos + 3 * tailBody;
  const double span = std::sqrt((hp[0] - tp[0]) * (hp[0] - tp[0]) + (hp[1] - tp[1]) * (hp[1] - tp[1]) +
                                (hp[2] - tp[2]) * (hp[2] - tp[2]));
  if (span > 1e-9) along = {(hp[0] - tp[0]) / span, (hp[1] - tp[1]) / span, (hp[2] - tp[2]) / span};
  double lo = 1e300, hi = -1e300;
  for (const RobotShape& s : result->Shapes()) {
    // The shape's axes are the columns of its rotation.
    const auto axisReach = [&](int c) {
      return std::abs(s.rot[static_cast<std::size_t>(c)] * along[0] + s.rot[static_cast<std::size_t>(3 + c)] * along[1] +
                      s.rot[static_cast<std::size_t>(6 + c)] * along[2]);
    };
    double half = 0;
    switch (s.kind) {
      case RobotShape::Kind::Box:
        half = axisReach(0) * s.size[0] + axisReach(1) * s.size[1] + axisReach(2) * s.size[2];
        break;
      case RobotShape::Kind::Capsule:
        half = axisReach(2) * s.size[1] + s.size[0];
        break;
      case RobotShape::Kind::Sphere:
        half = s.size[0];
        break;
    }
    const double centre = s.pos[0] * along[0] + s.pos[1] * along[1] + s.pos[2] * along[2];
    lo = std::min(lo, centre - half);
    hi = std::max(hi, centre + half);
  }
  result->engine_->bodyLength = hi > lo ? hi - lo : 0;

  // The middle module: the first body of module 4 (of 8), else the root.
  Engine& e = *result->engine_;
  e.middle = e.root;
  for (int b = 1; b < m->nbody; ++b) {
    if (m->body_rootid[b] == e.root && e.moduleOfBody[static_cast<std::size_t>(b)] == kRobotModules / 2) {
      e.middle = b;
      break;
    }
  }
  // The chain's axis, tail to head at rest, in the middle body's frame.
  const mjtNum* r = d->xmat + 9 * e.middle;
  for (int i = 0; i < 3; ++i) e.middleAxis[static_cast<std::size_t>(i)] = r[i] * along[0] + r[3 + i] * along[1] + r[6 + i] * along[2];
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

double Robot::ServoTorque(int module) const {
  if (!hasServo(module)) return 0.0;
  return engine_->data->actuator_force[engine_->actuator[static_cast<std::size_t>(module)]];
}

void Robot::Step() {
  if (!engine_->failure.empty()) return;
  std::string why;
  if (!Guarded(mj_step, engine_->model, engine_->data, &why)) engine_->failure = why.empty() ? "unknown error" : why;
}

bool Robot::SetFloor(const std::optional<Floor>& floor, std::string* error) {
  mjModel* m = engine_->model;
  if (floor && engine_->ownGrip.empty()) {
    if (error)
      *error = engine_->name + ": the model touches the floor through no contact pair (<contact><pair>), so it has "
                               "no friction along and across that a floor could set";
    return false;
  }
  for (int p = 0; p < m->npair; ++p) {
    const auto& own = engine_->ownGrip[static_cast<std::size_t>(p)];
    m->pair_friction[5 * p] = floor ? floor->along : own[0];
    m->pair_friction[5 * p + 1] = floor ? floor->across : own[1];
  }
  return true;
}

double Robot::RollSince(std::array<double, 9>& before) const {
  // The turn from `before` to now in the body's own frame, dR = R0^T R1,
  // as a rotation vector; its part along the chain's axis is the roll.
  const mjtNum* now = engine_->data->xmat + 9 * engine_->middle;
  double d[3][3];
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j)
      d[i][j] = before[static_cast<std::size_t>(i)] * now[j] + before[static_cast<std::size_t>(3 + i)] * now[3 + j] +
                before[static_cast<std::size_t>(6 + i)] * now[6 + j];
  const double v[3] = {(d[2][1] - d[1][2]) / 2, (d[0][2] - d[2][0]) / 2, (d[1][0] - d[0][1]) / 2};
  const double s = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
  const double angle = std::atan2(s, (d[0][0] + d[1][1] + d[2][2] - 1) / 2);
  std::copy_n(now, 9, before.begin());
  if (!(s > 1e-15)) return 0;
  const auto& a = engine_->middleAxis;
  return angle / s * (v[0] * a[0] + v[1] * a[1] + v[2] * a[2]);
}

std::array<double, 9> Robot::MiddleRotation() const {
  std::array<double, 9> r{};
  std::copy_n(engine_->data->xmat + 9 * engine_->middle, 9, r.begin());
  return r;
}

const std::string& Robot::failure() const { return engine_->failure; }

bool Robot::diverged() const {
  // The library starts the simulation afresh when its accelerations blow up;
  // that must not pass for the robot's motion.
  return engine_->data->warning[mjWARN_BADQACC].number > 0;
}

void Robot::Reset() {
  engine_->failure.clear();
  for (int n = 1; n <= kRobotModules; ++n) SetServo(n, std::nullopt);
  std::string why;
  if (!Guarded(ResetAndForward, engine_->model, engine_->data, &why)) engine_->failure = why.empty() ? "unknown error" : why;
}

std::array<double, 3> Robot::CentreOfMass() const {
  const mjtNum* c = engine_->data->subtree_com + 3 * engine_->root;
  return {c[0], c[1], c[2]};
}

std::array<double, 3> Robot::HeadPosition() const {
  const mjtNum* p = engine_->data->xpos + 3 * engine_->head;
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

std::vector<std::array<double, 2>> Robot::ForwardAxes() const {
  const mjModel* m = engine_->model;
  const mjData* d = engine_->data;
  std::vector<std::array<double, 2>> axes;
  for (int b = 1; b < m->nbody; ++b) {
    if (m->body_rootid[b] != engine_->root) continue;
    axes.push_back({d->xmat[9 * b + 0], d->xmat[9 * b + 3]});
  }
  return axes;
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
