#include "sim/robot/built_in_models.h"

#include <cstdio>
#include <sstream>

#include "core/conversions.h"
#include "sim/robot/robot.h"

namespace gp::sim {
namespace {


// Sizes of a typical hobby-servo module: 80 mm long, 50 mm wide, 40 mm
// high, 120 g, a servo of 0.16 s per 60 degrees and 1 N m. On the snake and
// the caterpillar the box is the body, and two thin runners under its belly
// carry it on the floor, so the chain cannot roll over like a log. The
// pitch-yaw snake's modules are round (a capsule as long as the box and
// about as thick) so that it can roll.
//
// The snake's runners stand for a pair of passive wheels under the middle of
// each module: 2 mm long, they touch the floor on one line across the module,
// so the module turns about that line as freely as its grip along lets it,
// and only sliding across is held. Runners as long as the module grip the
// floor at both ends, and then the grip across also blocks the module from
// turning: raising it from 1 to 10 slowed the snake from 0.54 to 0.07 body
// lengths a period, and as much with servos five times as strong, where on
// wheels the speed stays put. The caterpillar keeps long runners: it has no
// wheels but a belly that stands on the floor, and it crawls by lifting and
// setting down whole modules.
struct BuiltIn {
  const char* name;
  const char* oddAxis;   // joints 1, 3, 5, 7
  const char* evenAxis;  // joints 2, 4, 6, 8
  const char* friction;  // along the runner, across it, torsion, rolling
  bool round;
  double runnerHalf;  // metres, half a runner's length; 0 for round modules
};

constexpr BuiltIn kSnake{"snake", "0 0 1", "0 0 1", "0.1 1.5 0.005 0.0001 0.0001", false, 0.001};
constexpr BuiltIn kCaterpillar{"caterpillar", "0 1 0", "0 1 0", "0.8 0.8 0.005 0.0001 0.0001", false, 0.03};
constexpr BuiltIn kPitchYaw{"pitch-yaw", "0 1 0", "0 0 1", "0.8 0.8 0.005 0.0001 0.0001", true, 0};
constexpr const BuiltIn* kBuiltIns[] = {&kSnake, &kCaterpillar, &kPitchYaw};

std::string Num(double v) { return SignificantText(v, 6); }

std::string Negated(const char* axis) {
  double a[3] = {0, 0, 0};
  std::sscanf(axis, "%lf %lf %lf", &a[0], &a[1], &a[2]);
  return Num(-a[0]) + ' ' + Num(-a[1]) + ' ' + Num(-a[2]);
}

// The chain's nine bodies, the head (0) and modules 1 to 8; joint n joins
// body n-1 to body n and turns body n relative to body n-1.
constexpr int kBodies = kRobotModules + 1;
// The tree grows from the middle body both ways. Rooted at the head, a
// gait went about 13% further one way than its mirror image went the other,
// whatever the step (down to a quarter millisecond), the solver's tolerance
// or its warm start, with or without joint damping and armature, and with
// the contacts weighted alike; the library's answer depends on which body
// carries the free joint. Rooted in the middle the tree is its own mirror
// image, and so is the motion.
constexpr int kRootBody = kBodies / 2;

std::string BodyName(int b) { return b == 0 ? "head" : "module" + std::to_string(b); }

// The elliptic friction cone: the pyramidal one is faster but is itself
// anisotropic, which would blur the very effect the snake's belly is about.
// Contacts with a 4 ms time constant, stiff enough that a runner does not
// creep sideways under a push its grip could hold, and a 0.5 ms step:
// halving it from here changes the snake's speed by about 1%, where
// halving 1 ms changed it by 7%.
std::string GenerateModel(const BuiltIn& robot) {
  constexpr double kLength = 0.08, kHalfWidth = 0.025, kHalfHeight = 0.02;
  constexpr double kRunnerRadius = 0.006, kRunnerOffset = 0.018;
  constexpr double kRoundRadius = 0.022;
  constexpr double kRange = kPi / 2;
  // Servo damping: a hobby servo's motor, driven flat out, loses its stall
  // torque over its top speed, 1 N m over 6.5 rad/s.
  constexpr double kServoDamping = 1.0 / (kPi / 3 / 0.16);
  const double rideHeight = robot.round ? kRoundRadius : kHalfHeight + kRunnerRadius;
  // The chain's centre of mass at the origin, the head toward +x.
  const double headX = kLength * kRobotModules / 2;

  std::ostringstream x;
  x << "<mujoco model=\"" << robot.name << "\">\n"
    << "  <compiler angle=\"radian\"/>\n"
    << "  <option timestep=\"0.0005\" integrator=\"Euler\" cone=\"elliptic\"/>\n"
    << "  <!-- The servos' top speed, rad/s (60 degrees in 0.16 s); the torque is each\n"
    << "       actuator's forcerange, the travel each joint's range. -->\n"
    << "  <custom><numeric name=\"servo_speed\" data=\"" << Num(kPi / 3 / 0.16) << "\"/></custom>\n"
    << "  <default>\n"
    << "    <joint type=\"hinge\" limited=\"true\" range=\"" << Num(-kRange) << ' ' << Num(kRange)
    << "\" damping=\"0.005\" armature=\"0.0005\"/>\n"
    << "    <geom contype=\"0\" conaffinity=\"0\"/>\n"
    << "    <general gaintype=\"fixed\" biastype=\"affine\" gainprm=\"20\" biasprm=\"0 -20 " << Num(-kServoDamping)
    << "\" forcelimited=\"true\" forcerange=\"-1 1\" ctrllimited=\"true\" ctrlrange=\"" << Num(-kRange) << ' '
    << Num(kRange) << "\"/>\n";
  if (robot.round)
    x << "    <default class=\"module\"><geom type=\"capsule\" size=\"" << Num(kRoundRadius) << ' '
      << Num(kLength / 2 - kRoundRadius) << "\" euler=\"0 " << Num(kPi / 2)
      << " 0\" mass=\"0.12\" rgba=\"0.85 0.55 0.15 1\"/></default>\n";
  else
    x << "    <default class=\"module\"><geom type=\"box\" size=\"" << Num(kLength / 2) << ' ' << Num(kHalfWidth)
      << ' ' << Num(kHalfHeight) << "\" mass=\"0.12\" rgba=\"0.85 0.55 0.15 1\"/></default>\n"
      << "    <default class=\"runner\"><geom type=\"capsule\" size=\"" << Num(kRunnerRadius)
      << "\" mass=\"0\" rgba=\"0.2 0.2 0.2 1\"/></default>\n";
  x << "  </default>\n"
    << "  <worldbody>\n"
    << "    <geom name=\"floor\" type=\"plane\" size=\"0 0 1\" rgba=\"0.9 0.9 0.9 1\"/>\n";

  std::vector<std::string> contactParts;
  // Body b, its joint toward the root, and the bodies beyond it away from the root.
  const auto emit = [&](auto&& self, int b, const std::string& indent) -> void {
    const std::string body = BodyName(b);
    const char* axis = b % 2 ? robot.oddAxis : robot.evenAxis;
    if (b == kRootBody) {
      x << indent << "<body name=\"" << body << "\" pos=\"" << Num(headX - kLength * b) << " 0 " << Num(rideHeight)
        << "\">\n"
        << indent << "  <freejoint name=\"free\"/>\n";
    } else if (b > kRootBody) {
      // Toward the tail: joint b at the body's front end.
      x << indent << "<body name=\"" << body << "\" pos=\"" << Num(-kLength) << " 0 0\">\n"
        << indent << "  <joint name=\"joint" << b << "\" pos=\"" << Num(kLength / 2) << " 0 0\" axis=\"" << axis
        << "\"/>\n";
    } else {
      // Toward the head: joint b+1 at the body's rear end. It turns this
      // body relative to the next, so about the opposite axis it keeps the
      // sense of turning the next body relative to this one.
      const char* nextAxis = (b + 1) % 2 ? robot.oddAxis : robot.evenAxis;
      x << indent << "<body name=\"" << body << "\" pos=\"" << Num(kLength) << " 0 0\">\n"
        << indent << "  <joint name=\"joint" << b + 1 << "\" pos=\"" << Num(-kLength / 2) << " 0 0\" axis=\""
        << Negated(nextAxis) << "\"/>\n";
    }
    x << indent << "  <geom name=\"" << body << "\" class=\"module\"/>\n";
    if (robot.round) {
      contactParts.push_back(body);
    } else {
      for (int side : {1, -1}) {
        const std::string runner = body + (side > 0 ? "_left" : "_right");
        const double y = side * kRunnerOffset, z = -kHalfHeight;
        // From tail to head: the capsule's axis, and with it the contact's
        // first friction direction, runs along the module.
        x << indent << "  <geom name=\"" << runner << "\" class=\"runner\" fromto=\"" << Num(-robot.runnerHalf) << ' '
          << Num(y) << ' ' << Num(z) << ' ' << Num(robot.runnerHalf) << ' ' << Num(y) << ' ' << Num(z) << "\"/>\n";
        contactParts.push_back(runner);
      }
    }
    if (b <= kRootBody && b > 0) self(self, b - 1, indent + "  ");
    if (b >= kRootBody && b < kBodies - 1) self(self, b + 1, indent + "  ");
    x << indent << "</body>\n";
  };
  emit(emit, kRootBody, "    ");
  x << "  </worldbody>\n  <contact>\n";
  for (const std::string& part : contactParts)
    x << "    <pair geom1=\"floor\" geom2=\"" << part << "\" condim=\"3\" friction=\"" << robot.friction
      << "\" solref=\"0.004 1\"/>\n";
  x << "  </contact>\n  <actuator>\n";
  for (int m = 1; m <= kRobotModules; ++m)
    x << "    <general name=\"servo" << m << "\" joint=\"joint" << m << "\"/>\n";
  x << "  </actuator>\n</mujoco>\n";
  return x.str();
}

}  // namespace

std::optional<std::string> BuiltInModelText(const std::string& name) {
  for (const BuiltIn* robot : kBuiltIns)
    if (name == robot->name) return GenerateModel(*robot);
  return std::nullopt;
}

std::vector<std::string> BuiltInModelNames() {
  std::vector<std::string> names;
  for (const BuiltIn* robot : kBuiltIns) names.emplace_back(robot->name);
  return names;
}

}  // namespace gp::sim
