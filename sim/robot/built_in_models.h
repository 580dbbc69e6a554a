#pragma once
// The built-in robots as model text for the physics library: the snake, the
// caterpillar and the pitch-yaw snake, their sizes, masses, servos and
// contacts with the floor. This is the file people tune; a copy of its text
// (Robot::BuiltInModel) is a model file of their own to change.

#include <optional>
#include <string>
#include <vector>

namespace gp::sim {

// The model text of a built-in robot, or nothing for another name.
std::optional<std::string> BuiltInModelText(const std::string& name);
// Their names, in the order people are offered them.
std::vector<std::string> BuiltInModelNames();

}  // namespace gp::sim
