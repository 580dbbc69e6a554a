#pragma once
// What a gait search can aim for, in one place: the goals' names on the
// command line, their titles in the panel, the unit of their scores and how a
// run is scored. Plain standard C++.

#include <optional>
#include <string>

#include "sim/headless_run.h"

namespace gp::sim {

enum class SearchGoal { Forward, TurnLeft, TurnRight };

// Every goal, in the order they are offered.
inline constexpr SearchGoal kSearchGoals[] = {SearchGoal::Forward, SearchGoal::TurnLeft, SearchGoal::TurnRight};

// "forward", "turn-left", "turn-right".
std::optional<SearchGoal> GoalFromName(const std::string& name);
const char* GoalName(SearchGoal goal);
// For a person choosing one: "Forward (m/s)", "Turn left (degrees a second)".
const char* GoalTitle(SearchGoal goal);
const char* GoalUnit(SearchGoal goal);  // "m/s" or "deg/s"
// The names as a sentence lists them ("forward, turn-left or turn-right") and
// as a synopsis does ("forward|turn-left|turn-right").
std::string GoalNameList();
std::string GoalNameChoice();

// Forward: metres along the starting heading per second. Turning: degrees of
// heading per second, counter-clockwise positive for left, clockwise for right.
double GoalScore(SearchGoal goal, const HeadlessResult& run);

}  // namespace gp::sim
